#include "qcropgeometry.h"

#include "qcroptable.h"

#include <algorithm>

namespace {

QRect fixedRect(QSize surface, QSize size)
{
    if (size.isEmpty())
        return QRect();
    if (surface.width() >= size.width() && surface.height() >= size.height())
        return QCropGeometry::centred(surface, size.width(), size.height());
    return QCropGeometry::ratioRect(surface, double(size.width()) / double(size.height()));
}

} // namespace

QRect QCropGeometry::centred(QSize surface, int width, int height)
{
    return QRect((surface.width() - width) / 2, (surface.height() - height) / 2, width, height);
}

QRect QCropGeometry::ratioRect(QSize surface, double ratio)
{
    if (surface.isEmpty() || !(ratio > 0.0))
        return QRect();
    // Single precision, as the frames were always computed: stored crops stay put.
    const float r = float(ratio);
    const float aspect = float(surface.width()) / float(surface.height());
    if (aspect > r)
        return centred(surface, int(float(surface.height()) * r), surface.height());
    return centred(surface, surface.width(), int(float(surface.width()) / r));
}

QRect QCropGeometry::rectForCropMode(int code, QSize surface, QSize customSize, QRect subject)
{
    const QCropTable::Row* row = QCropTable::row(code);
    if (!row)
        return QRect();
    switch (row->frame) {
    case QCropTable::Frame::Whole:
        return QRect(QPoint(0, 0), surface);
    case QCropTable::Frame::Ratio:
        return ratioRect(surface, double(row->width) / double(row->height));
    case QCropTable::Frame::Subject:
        return subject;
    case QCropTable::Frame::Custom:
    case QCropTable::Frame::Pixels: {
        const QSize size = fixedCropSize(code, customSize);
        if (row->idPhoto && !size.isEmpty())
            return ratioRect(surface, double(size.width()) / double(size.height()));
        return fixedRect(surface, size);
    }
    case QCropTable::Frame::None:
        break;
    }
    return QRect();
}

QSize QCropGeometry::fixedCropSize(int code, QSize customSize)
{
    const QCropTable::Row* row = QCropTable::row(code);
    if (!row)
        return QSize();
    if (row->frame == QCropTable::Frame::Custom)
        return customSize.isEmpty() ? QSize() : customSize;
    return row->frame == QCropTable::Frame::Pixels ? QSize(row->width, row->height) : QSize();
}

QSize QCropGeometry::scaledOutputSize(QSize size, int outputSize)
{
    if (size.isEmpty())
        return size;
    const int limit = longSideLimit(outputSize);
    const int longSide = std::max(size.width(), size.height());
    if (limit <= 0 || longSide <= limit)
        return size; // a named size never enlarges: that would only blur the photo
    return QSize(std::max(1, qRound(double(size.width()) * limit / longSide)),
                 std::max(1, qRound(double(size.height()) * limit / longSide)));
}

int QCropGeometry::longSideLimit(int outputSize)
{
    switch (outputSize) {
    case 0:
        return 1920;
    case 1:
        return 2000;
    case 2:
        return 4000;
    default:
        return 0;
    }
}
