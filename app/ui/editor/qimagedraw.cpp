#include "qimagedraw.h"

#include "qimagefiles.h"

#include <QPainter>

QImageDraw::QImageDraw(QWidget* parent) : QWidget(parent) {}

bool QImageDraw::setImagePath(const QString& path)
{
    m_path = path;
    m_image = QImageFiles::readImage(path, kMaxKeptSide);
    rescale();
    return !m_image.isNull();
}

void QImageDraw::rescale()
{
    m_scaled = m_image.isNull() || size().isEmpty()
                   ? QImage()
                   : m_image.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    update();
}

void QImageDraw::resizeEvent(QResizeEvent*)
{
    rescale();
}

void QImageDraw::paintEvent(QPaintEvent*)
{
    if (m_scaled.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.drawImage((width() - m_scaled.width()) / 2, (height() - m_scaled.height()) / 2, m_scaled);
}
