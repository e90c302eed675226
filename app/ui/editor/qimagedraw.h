#pragma once

#include <QImage>
#include <QWidget>

// A plain picture: loaded from a file upright (QImageFiles), scaled into the widget keeping its aspect
// ratio and painted centred.
class QImageDraw : public QWidget
{
    Q_OBJECT

public:
    // Pictures are kept at most this large on their longer side: the panel is never
    // bigger, and a 24-megapixel photo decodes much faster at a reduced size.
    static constexpr int kMaxKeptSide = 2560;

    explicit QImageDraw(QWidget* parent = nullptr);

    // False (and the widget empty) when the file is not a readable picture.
    bool setImagePath(const QString& path);
    QString imagePath() const { return m_path; }
    QImage image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rescale();

    QString m_path;
    QImage m_image;
    QImage m_scaled;
};
