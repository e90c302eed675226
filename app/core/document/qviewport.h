#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

// Where a picture sits in a view: the picture fitted to the view, then zoomed by a
// factor and panned. The picture is centred in the view before panning; the pan
// is not clamped, a view only starts a pan with the pointer on the picture.
//
// Zooming goes in steps of kStep between kMinFactor and kMaxFactor; one step in
// from above kJumpAbove goes straight to kMaxFactor. Factor 1 is the fitted size:
// the whole view (Fit::Enlarge) or, for a picture smaller than the view, its own
// size (Fit::ShrinkOnly).
//
// A plain value without widgets: the view that owns it keeps it up to date with
// its own and its picture's size. Copies may be taken to other threads.
class QViewport
{
public:
    enum class Fit
    {
        Enlarge,
        ShrinkOnly
    };

    static constexpr float kMinFactor = 0.4f;
    static constexpr float kMaxFactor = 3.0f;
    static constexpr double kStep = 0.1;
    static constexpr double kJumpAbove = 2.0;

    explicit QViewport(Fit fit) : m_fit(fit) {}

    void setImageSize(QSize size) { m_image = size; }
    QSize imageSize() const { return m_image; }
    void setWidgetSize(QSize size) { m_widget = size; }
    QSize widgetSize() const { return m_widget; }

    float factor() const { return m_factor; }
    // False, leaving the factor alone, when it is (almost) the current one.
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
    Fit m_fit;
    QSize m_image;
    QSize m_widget;
    float m_factor = 1.0f;
    QPoint m_pan;
};
