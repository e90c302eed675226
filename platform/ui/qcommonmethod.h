#pragma once
// Opens help pages for an action ("tutorial", "home", ...). The pages ship inside
// the program and are unpacked to the data folder's "help/" so they open in the
// user's browser without a network connection.

#include <QString>

class QCommonMethod
{
public:
    // Section of the page for the action (a sibling application's is
    // "<appId>-<action>", e.g. "tolvane_win-home"); `name` is only logged.
    static bool openUrl(const QString& action, const QString& name = QString());

    // The local page that openUrl would open (unpacked on demand), with the
    // section as fragment.
    static QString helpPageUrl(const QString& section);
};
