#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <QVector>
#include <QWidget>

#include <opencv2/core.hpp>

#include <functional>
#include <memory>

namespace Ui {
class QCropWidget;
}

class QDragOutHandle;
class QIdFramer;
class QImageCropWidget;
class QImageCutoutWidget;
class QImageTask;
class QViewControls;

// The centre of the single-image workspace: the composed result (crop view) or
// the brush editor (brush view), one at a time, above a bar with the zoom
// controls and, for the brush, Undo and Restore. The side panel's pages talk to
// this host only; it forwards each command to the view or canvas it concerns, runs
// beautify and the merge of brush edits on the work pool, and saves the result.
//
// The host keeps the current cut-out: the service's cut-out as beautify left it.
// The brush view's edits are applied on top of it for the canvas, so beautify can
// be redone from the downloaded cut-out without losing them.
//
// "Erase object" opens a QEraserWidget on the result shown (brush edits included).
// What it hands back becomes the current cut-out and the brush view's start, with
// the brush edits baked in; Ctrl+Z in the crop view returns to the result before,
// one erase at a time. Beautify starts again from the downloaded cut-out with the
// erases carried over, so an erase survives a later beautify.
//
// Threads: a widget, GUI thread only. Jobs (beautify, merge, encoding a saved
// file) run on the work pool on copies of the matrices and hand their results
// back on the GUI thread; while one runs the loading indicator shows and further
// jobs are refused.
class QCropWidget : public QWidget
{
    Q_OBJECT

public:
    enum View
    {
        CropView = 0,
        BrushView = 1
    };
    // The brush size range of the cut-out page; [ and ] stay inside it.
    static constexpr int kMinBrushSize = 1;
    static constexpr int kMaxBrushSize = 100;
    static constexpr int kBrushStep = 2;

    explicit QCropWidget(QWidget* parent = nullptr);
    ~QCropWidget() override;

    // Shows the cut-out of a finished task of the registry in both views and goes
    // back to the crop view, both views fitted. An ID photo's task (MattingType
    // Card) then asks for its ID size with signal_id_photo_loaded.
    void setTask(const QString& taskId);
    QString taskId() const { return m_taskId; }
    // The composed result is there to be shown and saved.
    bool hasImage() const;

    // The page manager's choice: the brush view while the cut-out page is open.
    void setActiveView(View view);
    View activeView() const { return m_active; }
    QImageCropWidget* cropView() const { return m_cropView; }
    QImageCutoutWidget* brushView() const { return m_brushView; }
    bool isBusy() const { return m_busy; }
    QIdFramer* idFramer() const { return m_framer; }

    // Writes the result as QSaveFileWriter::outputPath() names it
    // with the stored format and size limit; the encoding runs on the work pool.
    // Answers with signal_saved (the file, or the folder when there was nothing to
    // save) or signal_save_failed on the GUI thread.
    // outputSize: 0 = 1080P, 1 = 2K, 2 = 4K, 3 = original resolution; an applied
    // ID size is written at its exact size, on the print sheet the ID panel chose.
    void save(const QString& folder, int outputSize);

signals:
    void signal_beauty_finished();
    void signal_beauty_begin();
    void signal_saved(const QString& filePath);
    void signal_save_failed(const QString& message);
    // An ID size was applied (true) or is no longer: the output size does not count.
    void signal_exact_size(bool exact);
    // A photo opened to become an ID photo is shown: the crop page frames its size.
    void signal_id_photo_loaded();
    // The brush size was changed here (keyboard), so the cut-out page can follow.
    void signal_brush_size_changed(int size);
    // The photo's keep-shadow choice, when the switch's own change was not taken.
    void signal_shadow_shown(bool keep);

public slots:
    void onChangeBackgroundColor(const QColor& color);
    void onChangeBackgroundImage(const QString& imagePath);
    void onShowImageCropFrame(bool show);
    void onChangeBrushSize(int size);
    void onRepairBackground(bool keep);
    void onApplyCorpSize(int code, bool commit, const QSize& size);
    void onImageBeauty();
    void onImageCutout(cv::Mat image);
    void onBeautyFinished();
    void onChangeBrush(bool magic);
    // Mattes the photo again with its shadow kept or removed (the cache keeps
    // both cut-outs, so switching back is immediate) and shows the new cut-out in
    // the view now active; hand edits belong to the old one and are dropped, so
    // with strokes or erasures made the user is asked first.
    void onKeepShadow(bool keep);

private:
    void setupShortcuts();
    void showTask(const QString& taskId);
    void stepBrushSize(int delta);
    bool brushReady() const;
    void onEraseObject();
    void applyErased(const cv::Mat& shown, const cv::Mat& photo, const cv::Mat& erased);
    // Makes `result` (BGRA) the current cut-out and the brush view's start; the
    // brush view's photo takes `photo`.
    void showBaked(const cv::Mat& result, const cv::Mat& photo);
    void undoErase();
    // Runs job on the work pool with the loading indicator shown; apply gets its
    // result on the GUI thread (unless this host is gone) and signal_beauty_finished
    // follows. False when another job is still running.
    bool runJob(const std::function<cv::Mat()>& job, const std::function<void(const cv::Mat&)>& apply);
    void finishSave(const QString& path, bool ok, const QString& message);

    Ui::QCropWidget* ui = nullptr;
    QViewControls* m_controls = nullptr;
    QDragOutHandle* m_dragOut = nullptr;
    QImageCropWidget* m_cropView = nullptr;
    QImageCutoutWidget* m_brushView = nullptr;
    QIdFramer* m_framer = nullptr;
    View m_active = CropView;
    QString m_taskId;
    std::shared_ptr<QImageTask> m_task;
    cv::Mat m_cutout;    // the current cut-out (see above)
    cv::Mat m_brushMask; // the brush view's last hand-over, empty before one
    bool m_busy = false;
    bool m_saving = false;
    bool m_idPhotoPending = false; // signal_id_photo_loaded once the canvas has loaded
    struct Erased
    {
        cv::Mat before; // the result shown before the erase (BGRA)
        cv::Mat after;  // what the eraser handed back (BGRA)
        cv::Mat photo;  // the brush view's photo then
    };
    QVector<Erased> m_erased;
};
