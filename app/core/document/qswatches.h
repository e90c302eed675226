#pragma once
// The swatch lists of the background choosers: the change-background page's
// colours and templates and the batch workspace's short colour row. Static data,
// shared so the two places offer the same transparent swatch and picker.

#include <QColor>
#include <QVector>

#include <cstdint>

struct SwatchEntry
{
    enum Kind : std::uint8_t
    {
        Picture = 0,
        Colour = 1
    };
    std::uint8_t kind;
    // A picture resource path, or the colour as "#RRGGBB".
    const char* text;
    // What choosing the swatch sends (transparent for "no background").
    QColor color;
    bool bordered;
    // The swatch stays selected when clicked.
    bool checkable;
};

struct TemplateEntry
{
    const char* thumbnail;
    const char* background;
};

class QSwatches
{
public:
    QSwatches() = delete;

    // Columns of every swatch grid.
    static constexpr int kColumns = 5;

    // The change-background page: the transparent swatch, thirteen colours and the
    // colour picker last.
    static const QVector<SwatchEntry>& pageColors();
    // The batch workspace: transparent, three colours, the picker and "add picture".
    static const QVector<SwatchEntry>& batchColors();
    // The fifteen template pictures; the first stands for "no background".
    static const QVector<TemplateEntry>& templates();
};
