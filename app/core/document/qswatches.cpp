#include "qswatches.h"

namespace {

const char* const kTransparentThumb = ":/template/template_1.png";
const char* const kPicker = ":/image/btn.select.color.png";

SwatchEntry colour(const char* name)
{
    return {SwatchEntry::Colour, name, QColor(QLatin1String(name)), true, true};
}

} // namespace

const QVector<SwatchEntry>& QSwatches::pageColors()
{
    static const QVector<SwatchEntry> list{
        {SwatchEntry::Picture, kTransparentThumb, QColor(Qt::transparent), true, true},
        colour("#FFFFFF"),
        colour("#E1E0E5"),
        colour("#FF0000"),
        colour("#004B73"),
        colour("#338FB2"),
        colour("#046BFF"),
        colour("#448EDB"),
        colour("#00BFF3"),
        colour("#8B0E1F"),
        colour("#E1858E"),
        colour("#4F78AD"),
        colour("#43A0DE"),
        colour("#E2C3A5"),
        {SwatchEntry::Picture, kPicker, QColor(0, 0, 0, 255), false, false},
    };
    return list;
}

const QVector<SwatchEntry>& QSwatches::batchColors()
{
    static const QVector<SwatchEntry> list{
        {SwatchEntry::Picture, kTransparentThumb, QColor(Qt::transparent), true, true},
        colour("#FF0000"),
        colour("#0000FF"),
        colour("#FFFFFF"),
        {SwatchEntry::Picture, kPicker, QColor(Qt::transparent), false, false},
        {SwatchEntry::Picture, ":/image/btn.add.template.png", QColor(Qt::transparent), false, false},
    };
    return list;
}

const QVector<TemplateEntry>& QSwatches::templates()
{
    static const QVector<TemplateEntry> list{
        {":/template/template_1.png", ":/template/bg1.png"},
        {":/template/template_2.png", ":/template/bg2.jpg"},
        {":/template/template_3.png", ":/template/bg3.jpg"},
        {":/template/template_4.png", ":/template/bg4.jpg"},
        {":/template/template_5.png", ":/template/bg5.jpg"},
        {":/template/template_6.png", ":/template/bg6.jpg"},
        {":/template/template_7.png", ":/template/bg7.jpg"},
        {":/template/template_8.png", ":/template/bg8.jpg"},
        {":/template/template_9.png", ":/template/bg9.jpg"},
        {":/template/template_10.png", ":/template/bg10.jpg"},
        {":/template/template_11.png", ":/template/bg11.jpg"},
        {":/template/template_12.png", ":/template/bg12.jpg"},
        {":/template/template_13.png", ":/template/bg13.jpg"},
        {":/template/template_14.png", ":/template/bg14.jpg"},
        {":/template/template_15.png", ":/template/bg15.jpg"},
    };
    return list;
}
