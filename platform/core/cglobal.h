#pragma once
// Where the program lives and keeps its files. Every folder returned here ends in
// "/", so callers append file names directly. Folders are fixed per user and do not
// depend on the Qt application or organisation name, which callers may or may not
// have set, so the command-line tools and the GUI share one data folder.

#include <QString>

class CGlobal
{
public:
    // Bracket the run: init() creates the data folder (and turns on detailed logging
    // when the environment sets BRISEL_DEBUG=1), release() flushes the log.
    static void init();
    static void release();

    // Title used by the platform windows (message boxes, about box).
    static void setAppTitle(const QString& title);
    static QString appTitle();

    // Folder of the running executable.
    static QString getAppPath();
    // Folder of the data the programs load at run time (translations, face cascades,
    // set-up tools): the executable's own folder in a build folder, "../share/brisel/"
    // next to an installed bin/. The executable's folder when neither holds any.
    static QString getDataPath();
    // The lookup behind getDataPath() for an executable in `appPath`: the first of
    // both layouts that has a "language" folder, empty when none has.
    static QString findDataPath(const QString& appPath);
    // Per-user data folder ("<data home>/brisel/"); created on first use.
    static QString getAppDataPath();
    // Per-user folder of the local service's certificates ("<data home>/brisel/tls/"),
    // which an installed program fills on its first start; not created here.
    static QString getTlsPath();
    static QString getDesktopPath();
    static QString getPicturesPath();
    // Default output folder: "Brisel/" under the pictures folder (not created here).
    static QString getOutputPath();
    // Build day as yyyymmdd.
    static int getBuildDate();
    // Whether platform popups close when the main window loses focus (never, here).
    static bool isCloseWhenDeactivate();
};
