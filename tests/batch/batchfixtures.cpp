#include "batchfixtures.h"

#include "csetting.h"
#include "qmsgbox.h"
#include "qpreviewitem.h"
#include "qtaskmanager.h"
#include "qworkpool.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>

namespace batchtest {

QString setUp(mattingtest::RealService& service, QStringList* messages)
{
    QString error;
    if (!service.start(false, &error))
        return error;
    mattingtest::useService(service.url());
    QWorkPool::instance()->start(3);
    QMsgBox::setTestHook([messages](QMsgBox::Kind, const QString& text) {
        *messages << text;
        return 1;
    });
    return QString();
}

bool waitReady(const QList<QPreviewItem*>& items, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] { return std::all_of(items.begin(), items.end(), [](QPreviewItem* i) { return i->isReady(); }); },
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

void saveInto(const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    CSetting::setValue("output", "path", folder);
    CSetting::setValue("output", "format", 0);
    CSetting::setValue("output", "size", 3);
}

QStringList pngs(const QString& folder)
{
    return QDir(folder).entryList({"*.png"}, QDir::Files);
}

cv::Mat download(QPreviewItem* tile, const QString& folder)
{
    answerModal("btnApply");
    QTest::mouseClick(tile->findChild<QPushButton*>("btnDownload"), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return pngs(folder).size() == 1; }, kMattingTimeoutMs))
        return cv::Mat();
    return cv::imread((folder + "/" + pngs(folder).first()).toStdString(), cv::IMREAD_UNCHANGED);
}

UrlSink::UrlSink()
{
    QDesktopServices::setUrlHandler("file", this, "open");
}

UrlSink::~UrlSink()
{
    QDesktopServices::unsetUrlHandler("file");
}

void ServiceSuite::initTestCase()
{
    const QString error = setUp(service, &messages);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void ServiceSuite::cleanup()
{
    QTaskManager::clear();
}

void ServiceSuite::cleanupTestCase()
{
    QMsgBox::setTestHook(nullptr);
}

} // namespace batchtest
