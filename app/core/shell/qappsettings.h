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

    // "default"/"path": where the photo picker opens; the folder of the last photo
    // chosen for matting. Default (also when that folder is gone): the desktop.
    static QString photoFolder();
    static void setPhotoFolder(const QString& folder);

    // "template"/"path": where the background picker opens; same rules.
    static QString templateFolder();
    static void setTemplateFolder(const QString& folder);

    // "output"/"path": where results are saved. Default: the platform's output
    // folder. A folder that is gone is still returned, since saving recreates it.
    static QString outputFolder();
    static void setOutputFolder(const QString& folder);

    // "output"/"size": index of the output size (0 "1080P" .. 3 original). The
    // default differs by caller (1 in the main window and batch, 0 in the crop
    // view); an index out of range also gives it.
    static int outputSize(int defaultIndex);
    static void setOutputSize(int index);

    // "output"/"format": false PNG, true JPG. Stored as a boolean; a number written
    // by older versions (0 PNG, anything else JPG) reads as well.
    static bool outputAsJpg();
    static void setOutputAsJpg(bool jpg);
};
