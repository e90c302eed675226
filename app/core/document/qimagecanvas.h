#pragma once

#include <QColor>
#include <QImage>
#include <QMap>
#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>

#include "qcroptable.h"
#include "qprintsheet.h"
#include "qsavefilewriter.h"

#include <opencv2/core.hpp>

#include <functional>
#include <memory>

class QImageTask;
class QPainter;

// The document of one matted photo: the cut-out, the background behind it (none, a
// colour or a picture), where the subject sits, the crop frame and crop size. It
// paints nothing on screen; it gives the views a composed pixmap and writes the
// result file.
//
// Threads: everything runs on the GUI thread except the load job that setTask()
// and loadCutout() post to the work pool, and setCutout(), which the host may call
// from a pool job. Neither is guarded by a lock: between setTask() and
// signal_update(), and while a merge runs, the views must leave the canvas alone.
// The pixels are kept as QImage (not QPixmap) for that reason: pool jobs may make
// and replace them.
class QImageCanvas : public QObject
{
    Q_OBJECT

public:
    enum BackgroundType : quint8
    {
        BackgroundNone = 0,
        BackgroundColor = 1,
        BackgroundPicture = 2
    };
    enum OutputSize : quint8
    {
        Output1080p = 0,
        Output2k = 1,
        Output4k = 2,
        OutputOriginal = 3
    };
    static constexpr int kHandleSize = 16;

    explicit QImageCanvas(QObject* parent = nullptr);

    // Remembers the task and loads its cut-out on the work pool; returns at once.
    void setTask(const std::shared_ptr<QImageTask>& task);
    // The same for a task of the registry (QTaskManager); an unknown id loads nothing.
    void setTask(const QString& taskId);
    // Loads a cut-out (BGRA) of a photo of sourceSize pixels on the work pool and
    // emits signal_update() when it is in place.
    void loadCutout(const cv::Mat& cutout, QSize sourceSize);
    QString taskId() const { return m_taskId; }
    bool isLoaded() const { return !m_cutout.isNull(); }

    QPixmap composedPixmap(bool force = false);

    void setBackgroundColor(const QColor& color);
    // False when the picture does not load; the surface then takes the cut-out's
    // size and no background is drawn.
    bool setBackgroundImage(const QString& path);
    void setCutout(const cv::Mat& cutout);
    void applyCropSize(int code, bool commit, QSize customSize);
    void setForegroundGeometry(int dragX, int dragY, QRect rect);
    // Puts the whole cut-out into foreground (surface pixels), scaled to it: the ID
    // framing's placement, which may reach past the surface.
    void placeForeground(const QRect& foreground);
    QSize cutoutSize() const { return m_cutout.size(); }
    // The cut-out as shown (premultiplied, edits included); a shared copy that a
    // pool job may read while the canvas moves on to other pixels.
    QImage cutoutImage() const { return m_cutout; }
    QColor backgroundColor() const { return m_backgroundColor; }

    void setShowCropFrame(bool show);
    void setShowSubjectFrame(bool show);
    void clearCropApplied();

    QRect cropRect() const { return m_cropRect; }
    QRect foregroundRect() const { return m_foregroundRect; }
    QRect subjectRect() const { return m_subjectRect; }
    QMap<int, QRect> handles() const { return m_handles; }
    bool isCropApplied() const { return m_cropApplied; }
    bool isCropFrameShown() const { return m_showCropFrame; }
    bool isSubjectFrameShown() const { return m_showSubjectFrame; }
    int backgroundWidth() const { return m_plateSize.width(); }
    int backgroundHeight() const { return m_plateSize.height(); }
    QSize canvasSize() const { return {m_canvasWidth, m_canvasHeight}; }
    int cropMode() const { return m_cropMode; }
    QSize customCropSize() const { return m_customCropSize; }
    quint8 backgroundType() const { return m_backgroundType; }

    // A rendered result and how it is written: its format, the JPG size limit of the
    // output setting and, for a committed ID-photo size, the density that prints it
    // at its millimetre size. The image shares pixels with nothing else, so write()
    // may run on any thread. The caller names the photo whose metadata the file keeps
    // (options.photoPath, options.keepPrivate).
    struct SaveJob
    {
        cv::Mat image;
        QSaveFileWriter::Options options;
        // A QPrintSheet::Paper: copies of the image laid out on that sheet are
        // written instead of the image itself.
        int sheet = QPrintSheet::NoSheet;
        int sheetGap = QPrintSheet::kDefaultGap;
        // A second ID size for the sheet, taking turns with the image; empty: copies
        // of the image only. write() calls it on its own thread (the work pool), so it
        // owns copies of what it reads; it returns the second photo at its pixel size.
        std::function<cv::Mat()> sheetMate;
        bool write(const QString& path, QSaveFileWriter::Result* result = nullptr,
                   QString* error = nullptr) const;
    };
    // The job for format (1 JPG, 2 WebP, anything else PNG) and outputSize (an OutputSize),
    // a JPG brought into the kilobytes range (0: no bound; the caller reads the
    // user's setting on the GUI thread, QSaveFileWriter::kilobytes()); its image is empty,
    // with the reason in *error, when there is nothing to save. Every saved result,
    // single photo or batch tile, is written through a job.
    SaveJob prepareSave(quint8 format, quint8 outputSize, QSaveFileWriter::Kilobytes kilobytes,
                        QString* error = nullptr) const;
    // A committed ID-photo size: saved at its exact pixels and 300 dpi, in its own
    // file-size range when the size has one.
    bool isIdPhotoApplied() const;
    // prepareSave() and write() in one go, on the canvas's thread (a batch tile's
    // private canvas on the work pool). On failure (nothing loaded, encoder refused,
    // folder not writable, disk full) returns false with a message for the user in
    // *error; the path then keeps what it held before.
    bool save(const QString& path, quint8 format, quint8 outputSize, QSaveFileWriter::Kilobytes kilobytes,
              QString* error = nullptr, QSaveFileWriter::Result* result = nullptr) const;
    // What prepareSave() renders: the result cropped and scaled for outputSize,
    // CV_8UC3 for JPG (format 1) and CV_8UC4 otherwise. Empty, with the reason in
    // *error, on failure.
    cv::Mat exportImage(quint8 format, quint8 outputSize, QString* error = nullptr) const;

    // The part of the surface (composedPixmap()) that is the result: the committed
    // crop, or all of it. The view shows exactly this and the saved file is it.
    QRect resultRect() const;

signals:
    void signal_update();

private:
    struct Loaded;
    void finishLoad(int serial, const std::shared_ptr<Loaded>& loaded);
    void layout();
    void rebuildHandles();
    QRect subjectBox() const;
    void paintSurface(QPainter& painter, bool withFrames) const;
    void paintCropOverlay(QPainter& painter) const;
    QImage renderResult(bool jpg) const;

    int m_canvasWidth = 0;
    int m_canvasHeight = 0;
    bool m_dirty = false;
    QSize m_sourceSize;
    // The background picture at its own size; null for types 0 and 1, whose plate
    // is transparent and only its size (m_plateSize) matters, so no 96 MB of
    // transparent pixels are kept for it.
    QImage m_plate;
    QSize m_plateSize;
    // The cut-out at full resolution (premultiplied, the format painted fastest). It
    // is always drawn stretched into m_foregroundRect: scaling for the layout is
    // done by the rectangle, never by resampling 24 megapixels per drag step.
    QImage m_cutout;
    QPixmap m_composed;
    QRect m_backgroundRect;
    QRect m_foregroundRect;
    QRect m_subjectRect;
    QRect m_cropRect;
    QRect m_loadedSubjectRect;
    QMap<int, QRect> m_handles;
    bool m_showSubjectFrame = false;
    bool m_showCropFrame = false;
    bool m_cropApplied = false;
    QColor m_backgroundColor;
    quint8 m_backgroundType = BackgroundNone;
    int m_cropMode = QCropTable::kWholePicture;
    QSize m_customCropSize{0, 0};
    QString m_taskId;
    int m_loadSerial = 0;
};
