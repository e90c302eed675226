#pragma once

#include "qhistorypixmap.h"
#include "qinpaint.h"

#include <QImage>
#include <QObject>
#include <QRect>

#include <opencv2/core.hpp>

#include <memory>

// The photo the eraser retouches, with its history. A fill takes the strokes the
// user painted in the brush view (its full-size mask: QMaskStroke's tag pixels),
// fills them from their surroundings (QInpaint) and records the result as one
// state; undo and redo step through the states, which QHistoryPixmap keeps as the
// changed rectangles only.
//
// States are BGRA (the bytes of QImage::Format_ARGB32); a photo set without alpha
// gets 255 and comes back from result() without it.
//
// Threads: lives on the GUI thread. A fill reads the strokes and fills a copy of
// the current state on the work pool, and the result is taken over on the GUI
// thread; while it runs, fills, undo and redo are refused (isBusy). A result that
// a later setImage() overtook is dropped.
class QEraserDocument : public QObject
{
    Q_OBJECT

public:
    explicit QEraserDocument(QObject* parent = nullptr);

    // image: CV_8UC3 or CV_8UC4, copied. Starts a new history; an empty or other
    // matrix leaves the document empty.
    void setImage(const cv::Mat& image);
    bool isEmpty() const { return m_image.isNull(); }
    bool hasAlpha() const { return m_alpha; }
    QSize size() const { return m_image.size(); }
    // The current state in the type it was set in; the caller's own copy.
    cv::Mat result() const;
    // The current state as CV_8UC4 over the document's pixels: read only, valid
    // until the next change.
    cv::Mat view() const;

    // strokes: QImage::Format_ARGB32 of the image's size. False, starting nothing,
    // while busy or when the sizes differ.
    bool fill(const QImage& strokes, QInpaint::Method method = QInpaint::Method::Auto);
    bool isBusy() const { return m_busy; }
    // 255 where `strokes` holds the tag pixel, else 0 (CV_8UC1).
    static cv::Mat strokeMask(const QImage& strokes);

    bool canUndo() const { return !m_busy && m_history.canUndo(); }
    bool canRedo() const { return !m_busy && m_history.canRedo(); }
    void undo();
    void redo();
    // The current state differs from the one set.
    bool isModified() const { return m_history.current() > 0; }

signals:
    void signal_busy(bool busy);
    // After a fill (`changed` empty when it filled nothing), undo or redo: the
    // current state differs from the one before only inside `changed`.
    void signal_changed(QRect changed);

private:
    struct Filled;
    void takeFilled(int serial, const std::shared_ptr<Filled>& filled);
    void setBusy(bool busy);

    QImage m_image; // the current state, Format_ARGB32
    QHistoryPixmap m_history;
    bool m_alpha = false;
    bool m_busy = false;
    int m_serial = 0;
};
