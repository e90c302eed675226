#pragma once
// The crop sizes the crop page offers, by tab, with the codes the canvas knows
// (QImageCanvas::applyCropSize). Labels and explanations are UTF-8 sources for
// translation in the context "QCropSizes".

#include <QSize>
#include <QString>
#include <QVector>

struct CropSizeEntry
{
    int code;
    const char* label;
    const char* explanation; // may be empty
    int height;              // of the button, in pixels
};

class QCropSizes
{
public:
    QCropSizes() = delete;

    // The code whose size the user types in.
    static constexpr int kCustomCode = 10;
    // Bounds of a typed size, in pixels, each side.
    static constexpr int kMinCustomSide = 1;
    static constexpr int kMaxCustomSide = 10000;

    // Ratios and presets, two per row.
    static const QVector<CropSizeEntry>& regularSizes();
    // ID-photo sizes.
    static const QVector<CropSizeEntry>& certificateSizes();
    // Square product pictures.
    static const QVector<CropSizeEntry>& ecommerceSizes();

    static QString label(const CropSizeEntry& entry);
    static QString explanation(const CropSizeEntry& entry);
    // True when both sides are within the bounds above.
    static bool isValidCustomSize(const QSize& size);
};
