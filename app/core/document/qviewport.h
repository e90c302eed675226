#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

// Where a picture sits in a view: scaled by a factor, centred and panned. The
// factor is screen pixels per picture pixel, in every view alike: 1 (100 %) shows
// the picture 1:1. Fitted, the viewport follows the view's and picture's sizes so
// the whole picture fills the view; zooming or setting a factor ends that. The pan
// is not clamped: a view only starts a pan with the pointer on the picture.
//
// Zoom steps go to the next multiple of kStep, so 100 % is always on the way,
// between minFactor() and maxFactor().
//
// A plain value without widgets: the view that owns it keeps it up to date with
// its own and its picture's size. Copies may be taken to other threads.
class QViewport
{
public:
    static constexpr float kMinFactor = 0.1f;
    static constexpr float kMaxFactor = 4.0f;
    static constexpr double kStep = 0.1;
    // Beyond 1:1 a picture is enlarged to at most this many times its fitted size,
    // which bounds the memory the views' scaled copies take.
    static constexpr double kMaxOverFit = 3.0;

    void setImageSize(QSize size) { m_image = size; }
    QSize imageSize() const { return m_image; }
    void setWidgetSize(QSize size) { m_widget = size; }
    QSize widgetSize() const { return m_widget; }

    float factor() const;
    bool isFitted() const { return m_fitted; }
    // Fits the whole picture into the view from now on.
    void fit() { m_fitted = true; }
    // The factor that shows the whole picture as large as the view allows; 1 while
    // the picture or the view is empty.
    float fitFactor() const;
    // The zoom range for this picture in this view: it always reaches the fitted
    // size and 1:1.
    float minFactor() const;
    float maxFactor() const;
    // Clamps into the range; false, leaving everything alone, when that is (almost)
    // the current factor and nothing is fitted.
    bool setFactor(float factor);
    // One step; return the factor reached.
    float zoomIn();
    float zoomOut();
    // One step in or out that keeps the picture point under widgetPos under it.
    float zoomAbout(QPointF widgetPos, bool in);

    QPoint pan() const { return m_pan; }
    void panBy(QPoint delta) { m_pan += delta; }
    void resetPan() { m_pan = QPoint(); }

    // The picture's size on screen at the current factor; empty while the picture
    // or the view is.
    QSize shownSize() const;
    // Where something of `size` is drawn when centred and panned like the picture.
    QRect placed(QSize size) const;
    // Where the picture is drawn in the view.
    QRect imageRect() const { return placed(shownSize()); }

    // Picture pixels per view pixel at the current factor, 1 while nothing is shown.
    double imagePerWidgetPixel() const;
    QPointF toImage(QPointF widgetPos) const;
    QPointF toWidget(QPointF imagePos) const;

private:
    QSize m_image;
    QSize m_widget;
    float m_factor = 1.0f;
    bool m_fitted = true;
    QPoint m_pan;
};
