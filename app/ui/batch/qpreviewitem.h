#pragma once

#include "qidframing.h"
#include "qimagecanvas.h"

#include <QColor>
#include <QSize>
#include <QString>
#include <QWidget>

#include <opencv2/core.hpp>

#include <functional>
#include <memory>
#include <optional>

class QImageTask;

namespace Ui {
class QPreviewItem;
}

// One photo of a batch: runs its own matting task and shows a preview-size picture
// of the result with the batch's common background and crop. Only the preview is
// kept here; the full-resolution canvas is built from the task's cut-out for a save
// and released afterwards. GUI thread only.
class QPreviewItem : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kSide = 160;
    // Longest side of the cut-out kept for the preview.
    static constexpr int kPreviewSide = 480;

    QPreviewItem(int kind, const QString& imagePath, QWidget* parent = nullptr);
    ~QPreviewItem() override;

    const QString& taskId() const { return m_taskId; }
    const QString& imagePath() const { return m_imagePath; }
    bool isReady() const;
    bool isFailed() const { return !m_error.isEmpty(); }
    const QString& errorMessage() const { return m_error; }
    bool isBusy() const;

    // The file a save made now would write.
    QString targetPath(quint8 format, const QString& folder) const;
    // Called on the GUI thread when a save ended: the file it wrote (or meant to)
    // and, on failure, the reason for the user.
    using SaveDone = std::function<void(bool ok, const QString& file, const QString& error)>;
    // Writes the tile at full resolution with its background and crop, atomically.
    // Returns at once: the cut-out is read back, composed and written on the pool.
    // When the task's cut-out can no longer be read back, the photo is matted again.
    void saveTo(quint8 format, const QString& folder, bool openFolder, const SaveDone& done);
    // Called once on the work pool with the tile's full-size result as saveTo()
    // would write it (framed when an ID size is applied); its image is empty, with
    // the reason for the user in `error`, when there is nothing to build.
    using ResultReady = std::function<void(QImageCanvas::SaveJob job, QString error)>;
    // Builds that result without writing it; returns at once.
    void buildResult(quint8 format, const ResultReady& ready);
    // The task's result has gone from the cache: the photo is matted again, and a
    // hand edit made on the lost result goes with it; `reason` is the tooltip meanwhile.
    void rematte(const QString& reason);

signals:
    void signal_edit_begin(QPreviewItem* pItem, const QString& taskId);
    void signal_edit_finished(QPreviewItem* pItem);
    void signal_remove(QPreviewItem* pItem);
    void signal_save(QPreviewItem* pItem);
    void signal_state_changed(QPreviewItem* pItem);

public slots:
    void onMattingSuccess(const QString& taskId);
    void onMattingError(const QString& message);
    void onRetry();
    void onChangeBackgroundColor(const QColor& color);
    void onChangeBackgroundImage(const QString& imagePath);
    void onCropImage(int id, bool commit, const QSize& size);
    void onImageCutBegin();
    void onImageCutFinished(cv::Mat image);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Look
    {
        bool hasColor = false;
        QColor color;
        QString image;
        // The picture shrunk for the preview canvas; empty until made.
        QString previewImage;
        int cropId = 0;
        QSize cropSize;
    };
    void startTask();
    void loadPreview(const cv::Mat& full);
    void showPreview(const cv::Mat& cutout);
    // An ID size is framed by the face as the saved file is; the preview's faces are
    // found once per cut-out, on the pool.
    void frameId();
    // preview: for the tile's own preview-size canvas rather than a full-size one.
    static void applyLook(QImageCanvas& canvas, const Look& look, bool preview);
    void setLoading(bool running);

    int m_kind = 0;
    QString m_imagePath;
    QString m_taskId;
    QString m_error;
    Look m_look;
    std::shared_ptr<QImageCanvas> m_canvas;
    // The hand-edited cut-out at full resolution; empty until the tile is edited.
    cv::Mat m_edited;
    // Numbers the preview shrinks; only the latest one is shown.
    int m_previewSerial = 0;
    int m_backgroundSerial = 0;
    int m_previewWidth = 0;
    cv::Mat m_previewCutout;
    std::optional<QIdFraming::Detection> m_previewFaces;
    int m_faceSerial = 0;
    bool m_findingFaces = false;
    Ui::QPreviewItem* ui = nullptr;
};
