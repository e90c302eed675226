#pragma once
// The fixed choices of the batch workspace's side panel.

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

struct SizeEntry
{
    int id;
    const char* text;
};
inline const SizeEntry kSizes[] = {
    {1, QT_TRANSLATE_NOOP("QBatchMattingWidget", "Original image")},
    {9, QT_TRANSLATE_NOOP("QBatchMattingWidget", "Crop edges of image")},
    {18, "500*500"},
    {17, "800*800"},
    {16, "1000*1000"},
    {15, "1500*1500"},
    {11, QT_TRANSLATE_NOOP("QBatchMattingWidget", "Certificate >")},
    {10, QT_TRANSLATE_NOOP("QBatchMattingWidget", "Custom size")},
};

struct IdSize
{
    int id;
    const char* menuText;
    const char* buttonText;
};
inline const IdSize kIdSizes[] = {
    {19, "小一寸 259x377px  |  22x33mm", "259x377px >"}, {20, "一寸 295x413px  |  25x35mm", "295x413px >"},
    {21, "大一寸 390x567px  |  33x48mm", "390x567px >"}, {22, "小二寸 413x531px  |  35x45mm", "413x531px >"},
    {23, "二寸 413x579px  |  35x49mm", "413x579px >"},
};

} // namespace batchchoices
