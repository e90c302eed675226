#pragma once

#include <QString>

// The formats a result is saved in.
enum class SaveFormat : quint8
{
    Png,
    Jpg,
    Webp
};

// The program's persistent choices, by group and key of the platform settings
// store, with their defaults in one place. Reads never fail: an absent or unusable
// value gives the default. Called on the GUI thread.
class QAppSettings
{
public:
    QAppSettings() = delete;

    // "language"/"type": the interface language code; never written by the program.
    static QString language();

    // "output"/"format": "webp" for WebP, otherwise a boolean, false PNG and true
    // JPG, as older versions wrote it (and a number: 0 PNG, anything else JPG).
    static SaveFormat outputFormat();
    static void setOutputFormat(SaveFormat format);

    // "output"/"private": saved files keep the photo's location and camera serial
    // numbers; off by default.
    static bool keepLocationAndSerials();
    static void setKeepLocationAndSerials(bool keep);

    // "editor"/"refine_after_stroke": refine the mask after every Keep/Remove
    // stroke; off by default.
    static bool refineAfterStroke();
    static void setRefineAfterStroke(bool on);

    // "batch"/"fast": batch photos are matted by the service's fast engine (less
    // exact edges); off by default.
    static bool batchFast();
    static void setBatchFast(bool on);
};
