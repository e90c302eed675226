#pragma once

#include "qopenrequest.h"

#include <QList>
#include <QObject>

class QMainWidget;
class QTimer;

// Opens the photos of a start ("brisel PHOTO...") or of a later start handed over
// (QHandOver) in the window: one photo in the single-photo workspace, several in
// the batch workspace (the first QBatchMattingDialog::kImageLimit). Files that are
// missing or cannot be read are named in one message, and the rest open.
//
// The window comes to the front for every request, an empty one too. While a modal
// dialog is open the requests wait, in order, and are opened once no dialog is left.
//
// Lives on the GUI thread as a child of the window it opens in.
class QOpenWith : public QObject
{
    Q_OBJECT

public:
    // How often waiting requests look whether the dialog went.
    static constexpr int kRetryMs = 250;

    explicit QOpenWith(QMainWidget* window);

    // What a request opens: the readable photos, at most the batch's limit, and the
    // message about the rest (empty when there is none to give).
    struct Plan
    {
        QStringList photos;
        QString note;
    };
    static Plan plan(const QOpenRequest& request);

    void open(const QOpenRequest& request);
    // A request as QHandOver delivers it; bytes that are not one only raise the window.
    void openHandedOver(const QByteArray& payload);

private:
    void openWaiting();
    void openNow(const QOpenRequest& request);

    QMainWidget* m_window = nullptr;
    QList<QOpenRequest> m_waiting;
    QTimer* m_retry = nullptr;
};
