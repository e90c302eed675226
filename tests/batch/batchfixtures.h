#pragma once
// Pieces shared by the batch suites: the real service and the pool set up once,
// waiting for tiles, answering the modal dialog a click opens, brush strokes sent
// as real mouse events, a sink for "open the folder" so that saving starts no file
// browser, and the base of the suites that matte through the service.

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include "mattingfixtures.h"

#include <opencv2/core.hpp>

class QPreviewItem;
class QWidget;

namespace batchtest {

constexpr int kMattingTimeoutMs = 60000;

// Starts `service` (key engine) for the tasks made from now on and the work pool,
// and records every message box text in *messages; the reason when it failed.
QString setUp(mattingtest::RealService& service, QStringList* messages);
// True once every tile has its result (false after the timeout).
bool waitReady(const QList<QPreviewItem*>& items, int timeoutMs = kMattingTimeoutMs);
// Presses the named button of the next modal dialog once it is shown.
void answerModal(const char* button);
// A stroke from a third to two thirds of the view's width at height y.
void stroke(QWidget* view, int y);
// Saving goes to a new empty `folder` as PNG at the photo's own resolution.
void saveInto(const QString& folder);
// The PNG files in `folder` (not the temporary file of an atomic write).
QStringList pngs(const QString& folder);
// Clicks the tile's "Download" and decodes the one file it writes into `folder`
// (set up by saveInto); empty after the timeout.
cv::Mat download(QPreviewItem* tile, const QString& folder);

// Routes file:// URLs here while it exists.
class UrlSink : public QObject
{
    Q_OBJECT

public:
    UrlSink();
    ~UrlSink() override;

public slots:
    void open(const QUrl&) {}
};

// A suite against the real service: started once, tasks dropped after each test,
// every message box text in `messages`. QtTest runs these slots for the subclass.
class ServiceSuite : public QObject
{
    Q_OBJECT

protected:
    mattingtest::RealService service;
    UrlSink urls;
    QStringList messages;

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
};

} // namespace batchtest
