#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

#include <vector>

class QPreviewItem;
class QProgressDialog;
class QSaveNotice;
class QSaveScheduler;
class QWidget;

// Saves batch tiles to the output folder after asking for the format: one tile
// from its own button, or every tile with "Save all" (run by a QSaveScheduler,
// shown in a progress dialog, failures summed up in one message, the folder shown
// in the notice it was given). With a print sheet chosen, "Save all" gathers the
// tiles' results instead and writes them side by side on as many sheets as they
// need. GUI thread only; the saves themselves run on the
// work pool. Owned by the batch workspace, whose widget is the dialogs' parent.
class QBatchSaver : public QObject
{
    Q_OBJECT

public:
    // Tiles "Save all" writes at the same time (each holds a full-size result).
    static constexpr int kParallelSaves = 2;

    QBatchSaver(QSaveNotice* notice, QWidget* parent);

    bool isSaving() const { return m_job != nullptr; }
    void saveOne(QPreviewItem* item);
    // sheet: a QPrintSheet::Paper the results are laid out on, or NoSheet for a file each.
    void saveAll(const QList<QPreviewItem*>& items, int sheet);

signals:
    // Every tile of a "Save all" was handled (or the run was cancelled).
    void signal_finished(int saved, const QStringList& failures, int skipped);

private:
    // Lays the gathered results out and writes the sheets on the pool, then finish().
    void writeSheets(int paper, quint8 format, int tiles, QStringList failures, int skipped);
    void finish(int saved, const QStringList& failures, int skipped);

    QWidget* m_parent = nullptr;
    QSaveNotice* m_notice = nullptr;
    // The running "Save all" and its dialog; both null between runs.
    QSaveScheduler* m_job = nullptr;
    QProgressDialog* m_progress = nullptr;
    QString m_folder;
    // A sheet run's results in tile order (empty for those that failed), their
    // photos' file names and its first photo.
    std::vector<cv::Mat> m_sheetPhotos;
    QStringList m_sheetNames;
    QString m_firstPhoto;
};
