#include "qdragouthandle.h"

#include "keeptranslated.h"
#include "qcropwidget.h"
#include "qimagecanvas.h"
#include "qimagecropwidget.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace {
constexpr int kPreviewSide = 96;
} // namespace

QDragOutHandle::QDragOutHandle(QCropWidget* host, QWidget* parent) : QLabel(parent), m_host(host)
{
    setObjectName(QStringLiteral("dragOutHandle"));
    setCursor(Qt::OpenHandCursor);
    keepTranslated(this, [this] {
        setText(tr("Drag out"));
        setToolTip(tr("Drag the result into another program or a folder"));
    });
}

QMimeData* QDragOutHandle::mimeData(const QResultExport::Result& result)
{
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(result.file)});
    data->setData(QStringLiteral("image/png"), result.png);
    return data;
}

void QDragOutHandle::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || event->modifiers() != Qt::NoModifier)
        return QLabel::mousePressEvent(event);
    const int press = ++m_press;
    m_pressAt = event->pos();
    m_moved = false;
    m_result = QResultExport::Result();
    m_pressed = !m_host->isBusy() &&
                QResultExport::start(m_host->cropView()->canvas(), this, true,
                                     [this, press](const QResultExport::Result& r) { exported(press, r); });
}

void QDragOutHandle::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || (event->pos() - m_pressAt).manhattanLength() < QApplication::startDragDistance())
        return;
    m_moved = true;
    if (!m_result.file.isEmpty())
        startDrag();
}

void QDragOutHandle::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
}

void QDragOutHandle::exported(int press, const QResultExport::Result& result)
{
    if (press != m_press)
        return;
    m_result = result;
    if (m_pressed && m_moved && !result.file.isEmpty())
        startDrag();
}

void QDragOutHandle::startDrag()
{
    m_pressed = false;
    auto* drag = new QDrag(this);
    drag->setMimeData(mimeData(m_result));
    drag->setPixmap(QPixmap::fromImage(
        m_result.image.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio, Qt::FastTransformation)));
    drag->exec(Qt::CopyAction);
}
