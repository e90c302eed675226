#pragma once
// Style sheets of the platform windows, kept in the resource folder ":/platform/".

#include <QString>

class QPlatformStyle
{
public:
    // The style sheet's text, or an empty text (default look) when it is missing.
    static QString load(const QString& name);
};
