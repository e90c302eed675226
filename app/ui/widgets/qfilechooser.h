#pragma once
// The photo and folder pickers of the window. Tests and scripted runs replace the
// native dialogs with a hook; an empty answer means the user cancelled.

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

class QFileChooser
{
    Q_DECLARE_TR_FUNCTIONS(QFileChooser)

public:
    using OpenHook =
        std::function<QString(const QString& title, const QString& folder, const QString& filter)>;
    using FolderHook = std::function<QString(const QString& title, const QString& folder)>;
    using OpenManyHook =
        std::function<QStringList(const QString& title, const QString& folder, const QString& filter)>;

    // The photo formats every picker offers, as a dialog filter: patterns are
    // separated by spaces, which is how Qt's dialogs split them.
    static QString imageFilter();
    // path names a photo of one of those formats (by its extension): what a drop
    // may bring.
    static bool isImageFile(const QString& path);

    // folder when it is one, else the first that exists of the desktop, the pictures
    // folder and home: a dialog given a missing folder opens in the program's own.
    // Every picker below starts from here, so its hook sees the folder shown.
    static QString usableFolder(const QString& folder);

    static QString openFile(QWidget* parent, const QString& title, const QString& folder,
                            const QString& filter);
    // Several photos at once (the batch add dialog); empty when cancelled.
    static QStringList openFiles(QWidget* parent, const QString& title, const QString& folder,
                                 const QString& filter);
    static QString existingFolder(QWidget* parent, const QString& title, const QString& folder);
    // The output folder the user picks for saved results: checked to be writable
    // (a warning otherwise) and remembered in "output"/"path". Empty when the user
    // cancelled or the folder was refused. Starts at the current output folder.
    static QString outputFolder(QWidget* parent);

    // Replace the dialogs (an empty function restores them). GUI thread only.
    static void setOpenHook(OpenHook hook);
    static void setFolderHook(FolderHook hook);
    static void setOpenManyHook(OpenManyHook hook);
};
