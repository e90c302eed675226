#include "batchfixtures.h"

#include "qpreviewitem.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace batchtest {

bool waitReady(const QList<QPreviewItem*>& items, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            for (QPreviewItem* item : items)
                if (!item->isReady())
                    return false;
            return true;
        },
        timeoutMs);
}

void answerModal(const char* button)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, button] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        poll->deleteLater();
        poll->stop();
        QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
    });
    poll->start(10);
}

void stroke(QWidget* view, int y)
{
    const int w = view->width();
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(w / 3, y));
    for (int x = w / 3; x <= 2 * w / 3; x += 10) {
        QMouseEvent move(QEvent::MouseMove, QPoint(x, y), view->mapToGlobal(QPoint(x, y)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
    }
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(2 * w / 3, y));
}

UrlSink::UrlSink()
{
    QDesktopServices::setUrlHandler("file", this, "open");
}

UrlSink::~UrlSink()
{
    QDesktopServices::unsetUrlHandler("file");
}

} // namespace batchtest
