#pragma once

#include "qviewport.h"

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>

class QImageCanvas;
class QLoadingCtrl;

// The composed result of the workspace: cut-out over its background, with the
// crop frame while the crop page is open. The user moves the subject by dragging
// inside its frame, resizes it by the eight handles, pans with the right button
// and zooms with the wheel around the cursor.
//
// Owns its canvas. Threads: a widget, GUI thread only; the canvas's load job runs
// on the work pool and ends with signal_update(), until which the view draws
// nothing and leaves the canvas alone.
class QImageCropWidget : public QWidget
{
    Q_OBJECT

public:
    // What the pointer is over: 0..7 a handle (the canvas's codes), 8 inside the
    // subject frame, 9 nothing.
    static constexpr int kHitInside = 8;
    static constexpr int kHitNothing = 9;
    static constexpr int kLoadingSide = 160;

    explicit QImageCropWidget(QWidget* parent = nullptr);

    // Loads the cut-out of a task of the registry into the canvas.
    void setTask(const QString& taskId);
    QImageCanvas* canvas() const { return m_canvas; }
    // True from the canvas's signal_update() on.
    bool hasImage() const;

    // Shows and starts, or stops and hides, the loading indicator.
    void setLoading(bool loading);
    bool isLoading() const;

    float zoomIn();
    float zoomOut();
    void setFactor(float factor);
    // Shows the whole picture from now on, whatever size the view takes.
    void fitToView();
    float factor() const { return m_viewport.factor(); }

    void setShowSubjectFrame(bool show);

    int hitCode() const { return m_hitCode; }
    const QViewport& viewport() const { return m_viewport; }
    // Where the picture (the committed crop of it, if any) is drawn in the widget,
    // panning included.
    QRect imageRect() const { return m_viewport.placed(m_shownPixmap.size()); }
    // A widget point in pixels of the canvas surface.
    QPoint mapToCanvas(const QPoint& widgetPos) const;

signals:
    void signal_factor_changed(float factor);
    // The user moved or resized the subject frame (during the drag, per move).
    void signal_subject_moved();

public slots:
    void onUpdateCanvas();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void refreshDisplay();
    // A fitted factor follows the sizes; the zoom bar is told when it moved.
    void reportFittedFactor();
    void hover(const QPoint& pos);
    void drag(const QPoint& pos);
    bool mousePressed(QMouseEvent* event);

    QImageCanvas* m_canvas = nullptr;
    QPixmap m_checker; // one tile of the transparency checkerboard
    QLoadingCtrl* m_loading = nullptr;
    bool m_dragging = false;
    QPoint m_lastPos;
    int m_hitCode = kHitNothing;
    QViewport m_viewport;
    // The whole picture at the current zoom, and what is shown (the committed crop
    // of it, or all of it), rebuilt only when the composition or the size changes.
    QPixmap m_displayPixmap;
    QPixmap m_shownPixmap;
    qint64 m_displayKey = 0;
    QSize m_displayFor;
    bool m_panning = false;
    QPoint m_panStart;
};
