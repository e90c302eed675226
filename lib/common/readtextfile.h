#pragma once
// Style sheets and other small texts are read whole from the resource collection or
// from disk. A file that cannot be opened yields an empty string: a widget whose
// sheet is missing simply stays unstyled.

#include <QString>

QString readTextFile(const QString& path);
