#include "qopenwith.h"

#include "logger.h"
#include "qbatchmattingdialog.h"
#include "qmainwidget.h"
#include "qmattingclient.h"
#include "qmsgbox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {
bool readable(const QString& path)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
}
} // namespace

QOpenWith::QOpenWith(QMainWidget* window) : QObject(window), m_window(window), m_retry(new QTimer(this))
{
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &QOpenWith::openWaiting);
}

void QOpenWith::openHandedOver(const QByteArray& payload)
{
    QOpenRequest request;
    open(QOpenRequest::decode(payload, &request) ? request : QOpenRequest());
}

void QOpenWith::open(const QOpenRequest& request)
{
    m_waiting << request;
    openWaiting();
}

void QOpenWith::openWaiting()
{
    // A photo opened under a dialog would change the page the dialog belongs to.
    if (QApplication::activeModalWidget()) {
        m_retry->start();
        return;
    }
    m_retry->stop();
    while (!m_waiting.isEmpty())
        openNow(m_waiting.takeFirst());
}

QOpenWith::Plan QOpenWith::plan(const QOpenRequest& request)
{
    Plan plan;
    QStringList missing;
    for (const QString& path : request.paths) {
        if (readable(path))
            plan.photos << path;
        else
            missing << QDir::toNativeSeparators(path);
    }
    QStringList notes;
    if (!missing.isEmpty())
        notes << tr("These files could not be opened:\n%1").arg(missing.join('\n'));
    const int given = plan.photos.size();
    if (given > QBatchMattingDialog::kImageLimit) {
        plan.photos = plan.photos.mid(0, QBatchMattingDialog::kImageLimit);
        notes << tr("Only the first %1 of %n photo(s) were opened.", nullptr, given).arg(plan.photos.size());
    }
    plan.note = notes.join(QStringLiteral("\n\n"));
    return plan;
}

void QOpenWith::openNow(const QOpenRequest& request)
{
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();

    const Plan plan = QOpenWith::plan(request);
    BRISEL_LOG(1, QStringLiteral("opening %1 photo(s) of type %2: %3")
                      .arg(plan.photos.size())
                      .arg(request.type)
                      .arg(plan.photos.join(QStringLiteral(", "))));
    if (plan.photos.size() == 1)
        m_window->submitPhoto(request.type, plan.photos.first());
    else if (!plan.photos.isEmpty()) // the batch knows people and products; ID photos are people
        m_window->startBatchMode(request.type == Goods ? Goods : Person, plan.photos);
    if (!plan.note.isEmpty())
        QMsgBox::showWarning(plan.note, 1);
}
