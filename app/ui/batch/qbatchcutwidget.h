#pragma once

#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>
#include <QWidget>

#include "qedgecontrols.h"
#include "qmaskstroke.h"
#include "qpagecutout.h"

#include <opencv2/core.hpp>

#include <memory>

class QImageCutoutWidget;
class QImageTask;
class QViewControls;

namespace Ui {
class QBatchCutWidget;
}

// The hand editor of the batch workspace's edit page: the brush view of one tile
// with its own zoom bar and undo/restore buttons. Each tile edited in this batch
// keeps its own view, so its strokes and history survive switching to another
// tile and back. Edits are merged with the photo on the work pool and handed back
// through signal_cut_finished. The brush chosen on the side panel applies to every
// tile's view, including views made later. GUI thread only.
//
// "Erase object" opens a QEraserWidget on the tile's result with its strokes; what
// it hands back becomes the tile's cut-out and its view's start (the strokes baked
// in). Ctrl+Z with no stroke left to undo takes the last erase back.
//
// Edge options live in each view's history, so every tile keeps its own; opening a
// tile, undo and redo announce the tile's options (signal_edge_shown) for the side
// panel to show.
//
// "Keep shadow" mattes the open tile's photo again through a QImageTask of its
// own (so through the cut-out cache too); the answer becomes the tile's cut-out
// and its view's start, as an erase does, so with strokes or erasures on the tile
// the user is asked first. Each tile remembers its choice.
class QBatchCutWidget : public QWidget
{
    Q_OBJECT

public:
    explicit QBatchCutWidget(QWidget* parent = nullptr);
    ~QBatchCutWidget() override;

    void loadTask(const QString& taskId);
    // Drops the view of a tile that left the batch.
    void forgetTask(const QString& taskId);
    const QString& taskId() const { return m_taskId; }
    // The task whose merge signal_cut_finished is reporting (valid while it is
    // delivered): a result may arrive after another tile was opened.
    const QString& finishedTaskId() const { return m_finishedTaskId; }
    QImageCutoutWidget* view() const { return m_view; }

signals:
    // The tile's full-resolution cut-out could not be read back; no view is kept.
    void signal_load_failed(const QString& taskId, const QString& message);
    void signal_cut_begin();
    void signal_cut_finished(cv::Mat image);
    // "[" or "]" asks for this brush size; the side panel's slider decides (and
    // bounds) the size the views get back through onChangeBrushSize.
    void signal_brush_size_wanted(int size);
    // The open tile now shows these edge options (opened, undo, redo).
    void signal_edge_shown(const QEdgeControls::Options& edge);
    // The open tile's keep-shadow choice (opened, or a matting that failed).
    void signal_shadow_shown(bool keep);

public slots:
    void onChangeBrushSize(int size);
    void onRepairBackground(bool keep);
    void onChangeBrush(bool magic);
    void onChangeHardness(int hardness);
    void onRefine();
    void onEdge(const QEdgeControls::Options& edge, bool final);
    void onImageCutout(cv::Mat image);
    void onKeepShadow(bool keep);

private:
    struct Brush
    {
        int size = QPageCutOut::kDefaultBrushSize;
        bool keep = false;
        bool magic = false;
        int hardness = QMaskStroke::kMaxHardness;
    };
    static constexpr int kBrushStep = 2;

    void setupShortcuts();
    void applyBrush();
    void loadImages(const std::shared_ptr<QImageTask>& task, QImageCutoutWidget* view);
    void onEraseObject();
    void undo();
    // Makes `result` the tile's cut-out, its view's start over `photo`, and hands it
    // to the tile.
    void bake(const QString& taskId, const cv::Mat& result, const cv::Mat& photo);
    void takeShadowCutout(const QString& taskId, bool keep, const std::shared_ptr<QImageTask>& task);

    Brush m_brush;
    QMap<QString, QImageCutoutWidget*> m_views;
    // Full-resolution cut-outs of the tiles that have a view, for the merges.
    QMap<QString, cv::Mat> m_cutouts;
    QImageCutoutWidget* m_view = nullptr;
    QString m_taskId;
    QString m_finishedTaskId;
    // Numbers the merges in stroke order; per tile, the latest one handed over.
    int m_mergeSerial = 0;
    QMap<QString, int> m_handedOverSerial;
    cv::Mat m_lastMask;
    // Per tile, what each erase replaced: the result then and the view's photo.
    QMap<QString, QVector<QPair<cv::Mat, cv::Mat>>> m_erased;
    // Per tile, whether its cut-out was last asked with the shadow kept.
    QMap<QString, bool> m_keepShadow;
    Ui::QBatchCutWidget* ui = nullptr;
    QViewControls* m_controls = nullptr;
};
