#pragma once
// Small widget helpers shared by the whole program.

#include <QString>
#include <QVariant>

class QWidget;

class QVarnUI
{
public:
    // Sets a dynamic property and re-applies the style sheet so that selectors on
    // the property (e.g. [checked="true"]) take effect at once.
    static void setCtrlProperty(QWidget* widget, const char* name, const QVariant& value);

    // Opens a folder in the file manager. With selectFile, `path` names a file that
    // is shown selected when the desktop's file manager offers it
    // (org.freedesktop.FileManager1); otherwise its folder is opened. A missing path
    // opens the nearest existing parent folder. Returns false when nothing opened.
    static bool openFolder(const QString& path, bool selectFile);
};
