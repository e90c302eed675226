#pragma once

#include <QString>

// The program's persistent choices, by group and key of the platform settings
// store, with their defaults in one place. Reads never fail: an absent or unusable
// value gives the default. Called on the GUI thread.
class QAppSettings
{
public:
    QAppSettings() = delete;

    // "language"/"type": the interface language code; never written by the program.
    static QString language();

    // "output"/"format": false PNG, true JPG. Stored as a boolean; a number written
    // by older versions (0 PNG, anything else JPG) reads as well.
    static bool outputAsJpg();
    static void setOutputAsJpg(bool jpg);

    // "editor"/"refine_after_stroke": refine the mask after every Keep/Remove
    // stroke; off by default.
    static bool refineAfterStroke();
    static void setRefineAfterStroke(bool on);
};
