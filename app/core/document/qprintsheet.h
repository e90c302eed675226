#pragma once

#include <QCoreApplication>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

#include <opencv2/core.hpp>

#include <vector>

// Copies of ID photos laid out on a sheet of photo paper at 300 dpi, with a thin
// cut line around each and a gap between them, as many as fit in the better of
// the sheet's two orientations. Photos of different sizes share a sheet row by
// row. Arithmetic and rendering on the caller's matrices only: any thread.
class QPrintSheet
{
    Q_DECLARE_TR_FUNCTIONS(QPrintSheet)

public:
    QPrintSheet() = delete;

    enum Paper : quint8
    {
        NoSheet = 0,
        SixInch = 1,  // 4 x 6 in
        FiveInch = 2, // 3.5 x 5 in
        A4 = 3,
        PaperCount
    };
    static constexpr int kDpi = 300;
    // Gap bounds in pixels at kDpi; the cut line lies in the gap, one pixel off the photo.
    static constexpr int kMinGap = 2;
    static constexpr int kMaxGap = 120;
    static constexpr int kDefaultGap = 24; // 2 mm
    static constexpr int kMaxCells = 500;

    struct Layout
    {
        QSize sheet;
        QVector<QRect> cells;
        QVector<int> photo; // which of the photos each cell shows
    };

    // The paper in pixels, wider than high; empty for NoSheet and unknown values.
    static QSize paperSize(int paper);
    static QString paperName(int paper);
    // photos: the sizes to place. copiesEach > 0 places that many of each, in order,
    // while they fit; otherwise the photos take turns until none fits any more. The
    // gap is kept between photos and around the sheet's edge (clamped to the bounds).
    static Layout layout(QSize paper, const QVector<QSize>& photos, int gap, int copiesEach = 0);
    // A white sheet of layout.sheet with each cell's photo (resized when its size
    // differs) and a grey one-pixel cut line around it; of the photos' type
    // (CV_8UC3 or CV_8UC4, opaque). Empty when a cell names a missing photo.
    static cv::Mat render(const Layout& layout, const std::vector<cv::Mat>& photos);

private:
    static Layout shelves(QSize sheet, const QVector<QSize>& photos, int gap, int copiesEach);
};
