#include "qbatchsaver.h"

#include "cglobal.h"
#include "csetting.h"
#include "qappsettings.h"
#include "qimageformatdialog.h"
#include "qmsgbox.h"
#include "qpreviewitem.h"
#include "qsavenotice.h"
#include "qsavescheduler.h"

#include <QPointer>
#include <QProgressDialog>

namespace {
// Asks for PNG, JPG or WebP; false when the user closed the dialog.
bool askFormat(QWidget* parent)
{
    QImageFormatDialog dialog(parent);
    return dialog.exec() == QDialog::Accepted;
}

QString outputFolder()
{
    return CSetting::getString("output", "path", CGlobal::getOutputPath());
}
} // namespace

QBatchSaver::QBatchSaver(QSaveNotice* notice, QWidget* parent)
    : QObject(parent), m_parent(parent), m_notice(notice)
{
}

void QBatchSaver::saveOne(QPreviewItem* item)
{
    if (!item || !item->isReady() || !askFormat(m_parent))
        return;
    item->saveTo(quint8(QAppSettings::outputFormat()), outputFolder(), true,
                 [](bool ok, const QString&, const QString& error) {
                     if (!ok)
                         QMsgBox::showError(error, 1);
                 });
}

// At most kParallelSaves tiles are saved at once: each builds its full-resolution
// result on the pool, writes it and releases it, so a batch of large photos never
// holds more than that many full-size results.
void QBatchSaver::saveAll(const QList<QPreviewItem*>& items)
{
    if (m_job || items.isEmpty() || !askFormat(m_parent))
        return;
    const quint8 format = quint8(QAppSettings::outputFormat());
    m_folder = outputFolder();
    QList<QSaveScheduler::Save> saves;
    for (QPreviewItem* item : items) {
        // Guarded: a tile deleted meanwhile is skipped instead of read after its end.
        const QPointer<QPreviewItem> tile(item);
        const QString folder = m_folder;
        saves << [tile, format, folder](const QSaveScheduler::Done& done) {
            if (!tile || !tile->isReady())
                return false;
            tile->saveTo(format, folder, false, done);
            return true;
        };
    }
    m_job = new QSaveScheduler(saves, kParallelSaves, this);
    m_progress = new QProgressDialog(tr("Saving..."), tr("Cancel"), 0, saves.size(), m_parent);
    m_progress->setObjectName("saveProgress");
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(0);
    connect(m_progress, &QProgressDialog::canceled, m_job, &QSaveScheduler::cancel);
    connect(m_job, &QSaveScheduler::signal_progress, this, [this](int handled) {
        // The dialog can also be cancelled without its signal (cancel() called).
        if (m_progress->wasCanceled())
            m_job->cancel();
        m_progress->setValue(handled);
    });
    connect(m_job, &QSaveScheduler::signal_finished, this, &QBatchSaver::finish);
    m_job->start();
}

void QBatchSaver::finish(int saved, const QStringList& failures, int skipped)
{
    const bool cancelled = m_job->isCancelled();
    m_progress->setValue(m_job->total());
    m_progress->deleteLater();
    m_progress = nullptr;
    m_job->deleteLater();
    m_job = nullptr;
    if (!failures.isEmpty() || skipped > 0) {
        QString text;
        if (!failures.isEmpty())
            text =
                tr("%n photo(s) could not be saved:", nullptr, failures.size()) + "\n" + failures.join("\n");
        if (skipped > 0)
            text += (text.isEmpty() ? QString() : QString("\n")) +
                    tr("%n photo(s) without a result were skipped.", nullptr, skipped);
        QMsgBox::showWarning(text, 1);
    }
    if (saved > 0 && !cancelled) {
        m_notice->showSaved(m_folder);
        m_notice->onOpenFolder();
    }
    emit signal_finished(saved, failures, skipped);
}
