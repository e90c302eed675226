#pragma once

#include "qmaskeditor.h"
#include "qviewport.h"

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <opencv2/core.hpp>

#include <memory>

class QImageTask;
class QLoadingCtrl;

// The view in which the user corrects a cut-out by hand: the photo with the mask
// laid over it in translucent red, a round Keep/Remove brush painted with the left
// button, a magic brush that floods a region of similar colour, zoom and panning
// with the right button. The mask, its history and the strokes' pixel work belong
// to its QMaskEditor; the view turns the pointer into strokes and fills, and when
// it is hidden after a change it hands the edited mask to its host.
//
// Threads: a widget, so GUI thread only. Preparing an image (setTask,
// setImages) decodes and converts on the work pool (see QMaskEditor); until
// signal_ready() the view shows nothing and ignores input.
class QImageCutoutWidget : public QWidget
{
    Q_OBJECT

public:
    explicit QImageCutoutWidget(QWidget* parent = nullptr);

    // Reads the task's photo and takes its cut-out; always true (the work goes on
    // in the background).
    bool setTask(const std::shared_ptr<QImageTask>& task);
    // The same from a photo (CV_8UC3) and its cut-out (CV_8UC4, scaled to the
    // photo's size if it differs).
    void setImages(const cv::Mat& photo, const cv::Mat& cutout);
    // The same from what `read` returns on the work pool.
    void load(std::function<QMaskEditor::Input()> read);
    bool isReady() const { return m_editor.isReady(); }

    void setBrushSize(int size) { m_editor.setBrushSize(size); }
    int brushSize() const { return m_editor.brushSize(); }
    void setKeepMode(bool keep) { m_editor.setKeepMode(keep); }
    bool isKeepMode() const { return m_editor.isKeepMode(); }
    void setMagicMode(bool magic);
    bool isMagicMode() const { return m_magicMode; }
    void setHardness(int hardness) { m_editor.setHardness(hardness); }

    float zoomIn();
    float zoomOut();
    void setFactor(float factor);
    // Shows the whole photo from now on, whatever size the view takes.
    void fitToView();
    float factor() const { return m_viewport.factor(); }

    // See QMaskEditor::refine(); a spinner shows while it runs.
    bool refine() { return m_editor.refine(); }
    bool isRefining() const { return m_editor.isRefining(); }
    // Shows `edge` on the mask; `final` records it as a step the user can undo,
    // otherwise it is a live look while a slider moves.
    void setEdge(const QEdgeControls::Options& edge, bool final);
    QEdgeControls::Options edge() const { return m_editor.edge(); }

    void undo();
    void redo();
    bool canUndo() const { return m_editor.canUndo(); }
    bool canRedo() const { return m_editor.canRedo(); }

    cv::Mat sourceImage() const { return m_editor.source(); }
    QImage mask() const { return m_editor.mask(); }
    const QHistoryPixmap& history() const { return m_editor.history(); }
    const QViewport& viewport() const { return m_viewport; }
    // Where the displayed photo sits in the widget, panning included.
    QRect imageRect() const { return m_viewport.placed(m_editor.displaySource().size()); }
    QImage displayMask() const { return m_editor.displayMask(); }

signals:
    void signal_factor_changed(float factor);
    void signal_history_changed();
    // The edited full-size mask (CV_8UC4, B G R A), when the view is hidden after a
    // change; the host merges it with the photo and the service's cut-out.
    void signal_image_cutout(cv::Mat mask);
    void signal_ready();
    // Undo or redo brought these edge options back.
    void signal_edge_shown(const QEdgeControls::Options& edge);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    static constexpr int kSpinnerSide = 120;
    void onEditorReady();
    void showAtFactor();
    QPointF toDisplay(const QPoint& widgetPos) const;
    void setBrushCursor();
    QRect brushPreviewRect(const QPoint& widgetPos) const;
    void updateDisplayRect(const QRect& displayRect);
    void pressed(QMouseEvent* event);
    void moved(QMouseEvent* event);
    void released(QMouseEvent* event);
    void finishStroke(const QPoint& pos);
    void showRefining(bool running);

    QMaskEditor m_editor;
    QViewport m_viewport;
    bool m_drawing = false;
    QPoint m_lastPos;
    QPoint m_pointer{-1, -1}; // last pointer position seen, for the brush preview
    bool m_magicMode = false;
    bool m_panning = false;
    QPixmap m_cursorPixmap;
    QLoadingCtrl* m_refining = nullptr;
};
