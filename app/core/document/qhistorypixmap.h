#pragma once

#include <QByteArray>
#include <QImage>
#include <QMap>
#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QVector>

// The undo/redo store of the brush view: every state of the edited mask, numbered
// from 0, and a cursor on the state now shown. A push after an undo discards the
// states ahead of the cursor; there is no depth limit.
//
// States are not kept whole. The store holds one image of the current state and,
// for every other state, the compressed XOR of the rectangle in which it differs
// from its predecessor. A mask of a 24-megapixel photo is 96 MB, while a brush
// stroke usually changes a few megabytes that compress to almost nothing, so
// fifty strokes cost less than one full state. A state whose size or format
// differs from its predecessor is a key: kept whole, because it cannot be
// described as a change. Undo and redo apply one change to the current image;
// reaching any other state rebuilds it from the nearest key.
//
// The current image is the store's own: after the first change it shares no
// pixels with the caller, so a caller that edits its image in place and pushes it
// again never pays for a copy of the whole image; each push copies only the
// changed rectangle.
//
// Callers test canUndo()/canRedo() before undo()/redo(); the moves themselves do
// not check and return a null image when there is nothing to move to.
//
// A pushed image may be shared, not copied: the caller must change its own copy
// only through QImage's detaching accessors (scanLine, bits), never through a
// pointer or matrix taken before the push.
//
// Thread: whichever thread owns the view (the GUI thread).
class QHistoryPixmap : public QObject
{
    Q_OBJECT

public:
    explicit QHistoryPixmap(QObject* parent = nullptr);

    // `changed`, when given, promises that the state differs from the current one
    // only inside it, which spares comparing the whole image.
    void push(const QImage& state, const QRect& changed = QRect());
    QImage undoImage();
    QImage redoImage();

    // The same moves for callers that hold pixmaps.
    void push(const QPixmap& state);
    QPixmap undo();
    QPixmap redo();

    // Forgets every state (a new image in the same view).
    void clear();

    bool canUndo() const;
    bool canRedo() const;
    int current() const { return m_current; }
    int count() const { return m_entries.size(); }

    // Brings `target`, which shows the state before the last move, to the current
    // state by copying only lastChange() (the whole state for a key or another
    // size), so that undo and redo need no copy of the whole image.
    void applyCurrentTo(QImage& target) const;

    // The pixels that differ between the state now current and the one shown
    // before the last push, undo or redo (the whole image after a key or a
    // rebuild); lets the view refresh only that part of its display.
    QRect lastChange() const { return m_lastChange; }

    // Rebuilds state `index`, or a null image when there is none.
    QImage state(int index) const;
    // Every state rebuilt, keyed by number. Costs one full image per state.
    QMap<int, QPixmap> entries() const;
    // Bytes held for the states: the compressed changes plus every key counted
    // whole (even when its pixels are shared with the caller).
    qint64 storedBytes() const;

private:
    struct Entry
    {
        QImage key;        // whole state, when it could not be stored as a change
        QRect rect;        // changed area relative to the previous state
        QByteArray packed; // compressed XOR of that area
    };

    Entry makeEntry(const QImage& previous, const QImage& next, const QRect& changed) const;
    static void applyChange(QImage& image, const Entry& entry);
    QImage rebuild(int index) const;

    QVector<Entry> m_entries;
    QImage m_image; // the state numbered m_current
    int m_current = -1;
    QRect m_lastChange;
};
