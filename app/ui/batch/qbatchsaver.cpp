#include "qbatchsaver.h"

#include "cglobal.h"
#include "csetting.h"
#include "guihandover.h"
#include "qappsettings.h"
#include "qidphotopanel.h"
#include "qimageformatdialog.h"
#include "qmsgbox.h"
#include "qpreviewitem.h"
#include "qprintsheet.h"
#include "qsavenotice.h"
#include "qsavescheduler.h"
#include "qworkpool.h"

#include <QDir>
#include <QFileInfo>
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
void QBatchSaver::saveAll(const QList<QPreviewItem*>& items, int sheet)
{
    if (m_job || items.isEmpty() || !askFormat(m_parent))
        return;
    const quint8 format = quint8(QAppSettings::outputFormat());
    m_folder = outputFolder();
    m_firstPhoto = items.first()->imagePath();
    m_sheetPhotos.assign(items.size(), cv::Mat());
    m_sheetNames.clear();
    for (const QPreviewItem* item : items)
        m_sheetNames << QFileInfo(item->imagePath()).fileName();
    const QPointer<QBatchSaver> self(this);
    QList<QSaveScheduler::Save> saves;
    for (int i = 0; i < items.size(); ++i) {
        // Guarded: a tile deleted meanwhile is skipped instead of read after its end.
        const QPointer<QPreviewItem> tile(items.at(i));
        const QString folder = m_folder;
        saves << [tile, format, folder, sheet, self, i](const QSaveScheduler::Done& done) {
            if (!tile || !tile->isReady())
                return false;
            if (sheet == QPrintSheet::NoSheet) {
                tile->saveTo(format, folder, false, done);
                return true;
            }
            const QString name = self->m_sheetNames.at(i);
            tile->buildResult(format,
                              [self, i, name, done](const QImageCanvas::SaveJob& job, const QString& error) {
                                  runOnGui([self, i, name, done, image = job.image, error]() {
                                      if (self && !image.empty())
                                          self->m_sheetPhotos[size_t(i)] = image;
                                      done(!image.empty(), name, error);
                                  });
                              });
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
    if (sheet == QPrintSheet::NoSheet) {
        connect(m_job, &QSaveScheduler::signal_finished, this, &QBatchSaver::finish);
    } else {
        connect(m_job, &QSaveScheduler::signal_finished, this,
                [this, sheet, format](int gathered, const QStringList& failures, int skipped) {
                    writeSheets(sheet, format, gathered, failures, skipped);
                });
    }
    m_job->start();
}

namespace {
// The photos on sheets of paper, each sheet filled before the next is started, in
// the photos' order. A photo larger than the paper goes on none: failures names it.
std::vector<cv::Mat> fillSheets(int paper, int gap, std::vector<cv::Mat> photos, const QStringList& names,
                                QStringList* failures)
{
    std::vector<cv::Mat> sheets;
    QStringList left = names;
    while (!photos.empty()) {
        QVector<QSize> sizes;
        for (const cv::Mat& photo : photos)
            sizes << QSize(photo.cols, photo.rows);
        const QPrintSheet::Layout layout = QPrintSheet::layout(QPrintSheet::paperSize(paper), sizes, gap, 1);
        if (layout.cells.isEmpty()) {
            for (const QString& name : left)
                *failures << name + ": " +
                                 QImageCanvas::tr("The photo is larger than the sheet chosen for printing.");
            break;
        }
        sheets.push_back(QPrintSheet::render(layout, photos));
        for (int i = int(photos.size()) - 1; i >= 0; --i) {
            if (layout.photo.contains(i)) {
                photos.erase(photos.begin() + i);
                left.removeAt(i);
            }
        }
    }
    return sheets;
}
} // namespace

void QBatchSaver::writeSheets(int paper, quint8 format, int tiles, QStringList failures, int skipped)
{
    std::vector<cv::Mat> photos;
    QStringList names;
    for (size_t i = 0; i < m_sheetPhotos.size(); ++i) {
        if (!m_sheetPhotos[i].empty()) {
            photos.push_back(m_sheetPhotos[i]);
            names << m_sheetNames.at(int(i));
        }
    }
    m_sheetPhotos.clear();
    if (tiles == 0 || m_job->isCancelled()) {
        finish(0, failures, skipped);
        return;
    }
    QSaveFileWriter::Options options;
    options.format = SaveFormat(format);
    options.dpi = QPrintSheet::kDpi;
    const QString stem = QDir(m_folder).filePath(QFileInfo(m_firstPhoto).completeBaseName() + "_sheet-%1." +
                                                 QSaveFileWriter::extension(options.format));
    const int gap = QIdPhotoPanel::storedGapPixels();
    const QPointer<QBatchSaver> self(this);
    QWorkPool::instance()->post([self, paper, gap, photos, names, options, stem, failures,
                                 skipped]() mutable {
        int written = 0;
        const std::vector<cv::Mat> sheets = fillSheets(paper, gap, photos, names, &failures);
        for (size_t i = 0; i < sheets.size(); ++i) {
            const QString path = stem.arg(i + 1);
            QString error;
            if (QSaveFileWriter::write(path, sheets[i], options, nullptr, &error))
                ++written;
            else
                failures << QFileInfo(path).fileName() + ": " + error;
        }
        runOnGui(self, [self, written, failures, skipped]() { self->finish(written, failures, skipped); });
    });
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
