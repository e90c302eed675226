#pragma once

#include <QRect>
#include <QSize>

// Where a crop code's frame lies on a surface and what size a result is written
// at. Pure arithmetic on the crop table (QCropTable): any thread.
class QCropGeometry
{
public:
    QCropGeometry() = delete;

    // The crop frame of a crop code on a surface: null for codes without a frame,
    // unknown codes, and the custom size without a size. An ID-photo size takes
    // the largest centred frame of its proportions, so the subject is framed at
    // full resolution and only the saved file is brought to the exact size.
    static QRect rectForCropMode(int code, QSize surface, QSize customSize, QRect subject);
    // The exact pixel size a committed crop code writes (ID sizes always, others at
    // original resolution); invalid for the codes without one.
    static QSize fixedCropSize(int code, QSize customSize);
    // The size a result of `size` is written at for an output-size choice (0 1080P,
    // 1 2K, 2 4K, 3 original), before any fixed crop size: a named size limits the
    // long side and never enlarges.
    static QSize scaledOutputSize(QSize size, int outputSize);
    // The long side an output-size choice allows; 0 for the original resolution.
    static int longSideLimit(int outputSize);
    // The largest frame of width:height ratio centred on surface; null when either
    // is empty.
    static QRect ratioRect(QSize surface, double ratio);
    static QRect centred(QSize surface, int width, int height);
};
