#include "qimagedraw.h"

#include <QImageReader>
#include <QPainter>

QImageDraw::QImageDraw(QWidget* parent) : QWidget(parent) {}

bool QImageDraw::setImagePath(const QString& path)
{
    m_path = path;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize stored = reader.size();
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    m_sourceSize = turned ? stored.transposed() : stored;
    if (stored.isValid() && qMax(stored.width(), stored.height()) > kMaxKeptSide)
        reader.setScaledSize(stored.scaled(kMaxKeptSide, kMaxKeptSide, Qt::KeepAspectRatio));
    m_image = reader.read();
    if (m_image.isNull())
        m_sourceSize = QSize();
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
