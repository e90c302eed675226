#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

class QImageCanvas;
class QObject;

// The current result, transparency kept, for handing to other programs (the
// clipboard, a drag): the picture, its PNG bytes and, when asked for, a PNG file in
// folder() that stays after the hand-over (the receiver may read it late). Files
// there older than a day go when the next one is written.
//
// Threads: start() renders on the GUI thread, as the canvas must; the encoding and
// the file run on the work pool, and `done` is called on the GUI thread, unless
// `guard` is gone by then.
class QResultExport
{
public:
    struct Result
    {
        QImage image; // ARGB32, not premultiplied
        QByteArray png;
        QString file; // empty unless asked for, or when it could not be written
    };
    using Done = std::function<void(const Result&)>;

    // False (and `done` is never called) when the canvas has nothing to export.
    static bool start(const QImageCanvas* canvas, QObject* guard, bool withFile, Done done);
    // A PNG of `image` the same way, for pictures that come from elsewhere (a paste).
    static void start(const QImage& image, QObject* guard, bool withFile, Done done);

    static QString folder();
};
