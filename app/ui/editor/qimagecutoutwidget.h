#pragma once

#include "qhistorypixmap.h"
#include "qmaskstroke.h"

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <opencv2/core.hpp>

#include <functional>
#include <memory>

class QImageTask;

// The view in which the user corrects a cut-out by hand: the photo with the mask
// laid over it in translucent red, a round Keep/Remove brush painted with the left
// button, a magic brush that floods a region of similar colour, zoom and panning
// with the right button. Every finished edit is a state of the history; when the
// view is hidden after a change it hands the edited mask to its host.
//
// Strokes are painted on the display-size mask, so painting stays interactive,
// and carried over to the full-size mask (the photo's size) once per stroke, only
// where the stroke went. The full-size mask is what the history stores, what the
// magic brush floods and what the host receives.
//
// Threads: a widget, so GUI thread only. Preparing an image (setTask,
// setImages) decodes and converts on the work pool and takes over the result on
// the GUI thread; until signal_ready() the view shows nothing and ignores input.
class QImageCutoutWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr float kMinFactor = 0.4f;
    static constexpr float kMaxFactor = 3.0f;

    explicit QImageCutoutWidget(QWidget* parent = nullptr);

    // Reads the task's photo and takes its cut-out; always true (the work goes on
    // in the background).
    bool setTask(const std::shared_ptr<QImageTask>& task);
    // The same from a photo (CV_8UC3) and its cut-out (CV_8UC4, scaled to the
    // photo's size if it differs).
    void setImages(const cv::Mat& photo, const cv::Mat& cutout);
    bool isReady() const { return !m_mask.isNull(); }

    void setBrushSize(int size) { m_brushSize = qMax(1, size); }
    int brushSize() const { return m_brushSize; }
    void setKeepMode(bool keep) { m_keepMode = keep; }
    bool isKeepMode() const { return m_keepMode; }
    void setMagicMode(bool magic);
    bool isMagicMode() const { return m_magicMode; }
    // 0 (softest) to QMaskStroke::kMaxHardness (hard edge); see QMaskStroke.
    void setHardness(int hardness) { m_hardness = hardness; }

    float zoomIn();
    float zoomOut();
    void setFactor(float factor);
    float factor() const { return m_factor; }

    void undo();
    void redo();
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }

    cv::Mat sourceImage() const { return m_sourceMat; }
    // The full-size mask now shown (QImage::Format_ARGB32, see QMaskStroke).
    QImage mask() const { return m_mask; }
    const QHistoryPixmap& history() const { return m_history; }
    // Where the displayed photo sits in the widget, panning included.
    QRect imageRect() const;
    QImage displayMask() const { return m_displayMask; }

signals:
    void signal_factor_changed(float factor);
    void signal_history_changed();
    // The edited full-size mask (CV_8UC4, B G R A), when the view is hidden after a
    // change; the host merges it with the photo and the service's cut-out.
    void signal_image_cutout(cv::Mat mask);
    void signal_ready();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct Prepared;
    void prepare(const std::function<void(Prepared&)>& load);
    void takePrepared(int serial, const std::shared_ptr<Prepared>& prepared);
    void fit();
    void showAtSize(QSize size);
    QPoint imageOffset() const;
    QPointF toDisplay(const QPoint& widgetPos) const;
    bool onImage(const QPoint& widgetPos) const;
    void setBrushCursor();
    QRect brushPreviewRect(const QPoint& widgetPos) const;
    void updateDisplayRect(const QRect& displayRect);
    void pressed(QMouseEvent* event);
    void moved(QMouseEvent* event);
    void released(QMouseEvent* event);
    void finishStroke(const QPoint& pos);
    void magicFill(const QPoint& pos);
    void recordEdit(const QRect& changed = QRect());
    void showHistoryState();

    QImage m_displaySource;
    QImage m_displayMask;
    QImage m_startImage; // the initial mask; m_startMask shares its pixels
    cv::Mat m_startMask;
    cv::Mat m_sourceMat;
    QImage m_mask; // the full-size mask
    bool m_drawing = false;
    float m_factor = 1.0f;
    float m_fitScale = 1.0f;
    int m_imageWidth = 0;
    int m_imageHeight = 0;
    QPoint m_lastPos;
    QPoint m_pointer{-1, -1}; // last pointer position seen, for the brush preview
    QRect m_strokeRect;       // display pixels painted by the stroke in progress
    int m_brushSize = 12;
    int m_hardness = QMaskStroke::kMaxHardness;
    bool m_keepMode = false;
    bool m_magicMode = false;
    bool m_modified = false;
    QPoint m_panOffset;
    bool m_panning = false;
    QPixmap m_cursorPixmap;
    QHistoryPixmap m_history;
    int m_prepareSerial = 0;
};
