#pragma once
// The background swatches of the batch workspace's side panel (its crop sizes
// come from QCropTable).

#include <QColor>
#include <QtGlobal>

namespace batchchoices {

struct Swatch
{
    int kind; // QImageButton kind: 0 picture, 1 colour
    const char* text;
    QColor color;
    bool checkable;
};
inline const Swatch kSwatches[] = {
    {0, ":/template/template_1.png", QColor(0, 0, 0, 0), true},
    {1, "#FF0000", QColor(255, 0, 0, 255), true},
    {1, "#0000FF", QColor(0, 0, 255, 255), true},
    {1, "#FFFFFF", QColor(255, 255, 255, 255), true},
    {0, ":/image/btn.select.color.png", QColor(), false},
    {0, ":/image/btn.add.template.png", QColor(), false},
};

} // namespace batchchoices
