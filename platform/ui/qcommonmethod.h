#pragma once
// Opens help pages for an action ("tutorial", "home", ...). The pages ship inside
// the program and are unpacked to the data folder's "help/" so they open in the
// user's browser without a network connection.

#include <QString>

class QCommonMethod
{
public:
    // Page of this program for the action; `name` is only logged.
    static bool openUrl(const QString& action, const QString& name = QString());
    // Page of a sibling application (appId, e.g. "tolvane_win") for the action.
    static bool openLink(const QString& appId, const QString& action, const QString& name = QString());

    // The local page that openUrl/openLink would open (unpacked on demand), with the
    // section as fragment.
    static QString helpPageUrl(const QString& section);
};
