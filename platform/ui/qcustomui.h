#pragma once
// Looks of the platform windows that the program may customise.

#include <QString>

class QCustomUI
{
public:
    // Picture shown at the top of the about box (a resource or file path).
    static void setAboutImage(const QString& path);
    static QString aboutImage();
};
