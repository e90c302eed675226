#pragma once
// Drop shadow for frameless windows and pop-ups: the source's alpha, grown by
// `distance` on every side, blurred and tinted with `color`, drawn under the source.

#include <QColor>
#include <QGraphicsEffect>

class QCustomShadowEffect : public QGraphicsEffect
{
    Q_OBJECT
public:
    explicit QCustomShadowEffect(QObject* parent = nullptr);

    void setDistance(double distance);
    double distance() const { return m_distance; }
    void setBlurRadius(double radius);
    double blurRadius() const { return m_blurRadius; }
    void setColor(const QColor& color);
    QColor color() const { return m_color; }

    QRectF boundingRectFor(const QRectF& rect) const override;

    // Blurs the alpha channel of an ARGB32-premultiplied image in place with three
    // box passes per direction (close to a gaussian of the given radius). Colour
    // channels are left as they are; the shadow only uses the alpha.
    static void blurAlpha(QImage& image, double radius);

protected:
    void draw(QPainter* painter) override;

private:
    double m_distance = 4.0;
    double m_blurRadius = 10.0;
    QColor m_color = QColor(0, 0, 0, 80);
};
