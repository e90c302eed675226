#pragma once
// Pieces shared by the batch suites: waiting for tiles, answering the modal
// dialogs a click opens, brush strokes sent as real mouse events, and a sink for
// "open the folder" so that saving starts no file browser.

#include <QList>
#include <QObject>
#include <QUrl>

class QPreviewItem;
class QWidget;

namespace batchtest {

constexpr int kMattingTimeoutMs = 60000;

// True once every tile has its result (false after the timeout).
bool waitReady(const QList<QPreviewItem*>& items, int timeoutMs = kMattingTimeoutMs);
// Presses the named button of the next modal dialog (format or add dialog) once
// it is shown.
void answerModal(const char* button);
// A stroke from a third to two thirds of the view's width at height y.
void stroke(QWidget* view, int y);

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

} // namespace batchtest
