#include "qprintsheet.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

constexpr int kCutLineGrey = 160;

} // namespace

QSize QPrintSheet::paperSize(int paper)
{
    switch (paper) {
    case SixInch:
        return QSize(6 * kDpi, 4 * kDpi);
    case FiveInch:
        return QSize(5 * kDpi, 7 * kDpi / 2);
    case A4:
        return QSize(3508, 2480); // 297 x 210 mm
    default:
        return QSize();
    }
}

QString QPrintSheet::paperName(int paper)
{
    switch (paper) {
    case SixInch:
        return tr("6-inch sheet (4x6 in)");
    case FiveInch:
        return tr("5-inch sheet (3.5x5 in)");
    case A4:
        return tr("A4 sheet");
    default:
        return tr("Single photo");
    }
}

QPrintSheet::Layout QPrintSheet::shelves(QSize sheet, const QVector<QSize>& photos, int gap, int copiesEach)
{
    Layout out;
    out.sheet = sheet;
    int x = gap;
    int y = gap;
    int rowHeight = 0;
    // Where the next photo goes, or an invalid point when it fits nowhere any more.
    const auto spot = [&](QSize size) {
        if (x + size.width() + gap > sheet.width()) {
            if (rowHeight == 0)
                return QPoint(-1, -1); // wider than the sheet
            y += rowHeight + gap;
            x = gap;
            rowHeight = 0;
        }
        if (x + size.width() + gap > sheet.width() || y + size.height() + gap > sheet.height())
            return QPoint(-1, -1);
        return QPoint(x, y);
    };
    QVector<int> left(photos.size(), copiesEach > 0 ? copiesEach : kMaxCells);
    bool placedAny = true;
    while (placedAny && out.cells.size() < kMaxCells) {
        placedAny = false;
        for (int i = 0; i < photos.size(); ++i) {
            // In order, each photo's copies together; taking turns, one of each per round.
            const int run = copiesEach > 0 ? left[i] : std::min(1, left[i]);
            for (int n = 0; n < run && out.cells.size() < kMaxCells; ++n) {
                const QSize size = photos[i];
                const QPoint at = size.isEmpty() ? QPoint(-1, -1) : spot(size);
                if (at.x() < 0) {
                    left[i] = 0;
                    break;
                }
                out.cells << QRect(at, size);
                out.photo << i;
                x += size.width() + gap;
                rowHeight = std::max(rowHeight, size.height());
                --left[i];
                placedAny = true;
            }
        }
        if (copiesEach > 0)
            break;
    }
    return out;
}

QPrintSheet::Layout QPrintSheet::layout(QSize paper, const QVector<QSize>& photos, int gap, int copiesEach)
{
    if (paper.isEmpty() || photos.isEmpty())
        return Layout{paper, {}, {}};
    gap = std::clamp(gap, kMinGap, kMaxGap);
    const Layout asGiven = shelves(paper, photos, gap, copiesEach);
    const Layout turned = shelves(paper.transposed(), photos, gap, copiesEach);
    return turned.cells.size() > asGiven.cells.size() ? turned : asGiven;
}

cv::Mat QPrintSheet::render(const Layout& layout, const std::vector<cv::Mat>& photos)
{
    if (layout.sheet.isEmpty() || photos.empty() || photos.front().empty())
        return cv::Mat();
    const int type = photos.front().type();
    cv::Mat sheet(layout.sheet.height(), layout.sheet.width(), type, cv::Scalar::all(255));
    for (int i = 0; i < layout.cells.size(); ++i) {
        const int which = layout.photo.value(i, -1);
        if (which < 0 || which >= int(photos.size()) || photos[which].empty())
            return cv::Mat();
        const QRect& cell = layout.cells[i];
        const cv::Rect target(cell.x(), cell.y(), cell.width(), cell.height());
        cv::Mat photo = photos[which];
        if (photo.type() != type)
            cv::cvtColor(photo, photo, type == CV_8UC4 ? cv::COLOR_BGR2BGRA : cv::COLOR_BGRA2BGR);
        if (photo.size() != target.size())
            cv::resize(photo, photo, target.size(), 0, 0, cv::INTER_AREA);
        photo.copyTo(sheet(target));
        const cv::Scalar grey(kCutLineGrey, kCutLineGrey, kCutLineGrey, 255);
        cv::rectangle(sheet, cv::Rect(target.x - 1, target.y - 1, target.width + 2, target.height + 2), grey,
                      1);
    }
    return sheet;
}
