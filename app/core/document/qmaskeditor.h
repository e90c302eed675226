#pragma once

#include "qedgecontrols.h"
#include "qhistorypixmap.h"
#include "qmaskstroke.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QVector>

#include <opencv2/core.hpp>

#include <functional>
#include <memory>

// The mask a user corrects by hand, apart from the view that shows it: the photo,
// the full-size mask with its history, the display-size copies the view draws,
// Keep/Remove brush strokes and the magic brush that floods a region of similar
// colour.
//
// Strokes are painted on the display-size mask, so painting stays interactive,
// and carried over to the full-size mask (the photo's size) once per stroke, only
// where the stroke went. The full-size mask is what the history stores, what the
// magic brush floods and what takeEdit() hands out. Mask formats: see QMaskStroke.
//
// Refine (QMaskRefine) solves the photo again around the strokes made since the
// last refine and records the answer as one history state. The strokes are kept
// as labels at display size beside the display mask; undo and redo forget them.
//
// Threads: lives on the GUI thread. load() reads, converts and scales on the work
// pool and takes the result over on the GUI thread (signal_ready); a result that
// a later load() overtook is dropped. refine() works the same way on copies: a
// result whose mask was edited meanwhile is dropped, and when a stroke caused the
// edit the refine starts again with every stroke so far. Strokes, undo, redo and
// the magic fill run on the GUI thread, where the user waits for them.
class QMaskEditor : public QObject
{
    Q_OBJECT

public:
    struct Input
    {
        cv::Mat photo;  // CV_8UC3
        cv::Mat cutout; // CV_8UC4, scaled to the photo's size if it differs
    };

    explicit QMaskEditor(QObject* parent = nullptr);

    // Runs `read` and then `displaySizeFor` (the photo's size -> the size to show
    // it at) on the work pool. Input that cannot be read or converted leaves the
    // editor as it was and is logged.
    void load(std::function<Input()> read, std::function<QSize(QSize)> displaySizeFor);
    bool isReady() const { return !m_mask.isNull(); }

    void setBrushSize(int size) { m_brushSize = qMax(1, size); }
    int brushSize() const { return m_brushSize; }
    void setKeepMode(bool keep) { m_keepMode = keep; }
    bool isKeepMode() const { return m_keepMode; }
    // 0 (softest) to QMaskStroke::kMaxHardness (hard edge); see QMaskStroke.
    void setHardness(int hardness) { m_hardness = hardness; }

    // Rescales the display copies; an empty size keeps them.
    void setDisplaySize(QSize size);
    const QImage& displaySource() const { return m_displaySource; }
    const QImage& displayMask() const { return m_displayMask; }

    // One segment or one dot of the stroke in progress, in display pixels; return
    // the display pixels they may have touched.
    QRect strokeLine(QPointF from, QPointF to);
    QRect strokeDot(QPointF centre);
    // Carries the stroke over to the full-size mask and records it; nothing when it
    // painted nothing.
    void endStroke();
    // Floods from the photo pixel at imagePos (clamped into the photo): Keep marks
    // the region kept, Remove clears it.
    void magicFill(QPointF imagePos, int tolerance);

    // Starts a refine of the pending strokes; false when there are none. While one
    // runs nothing new starts: an edit meanwhile makes it start again when it ends.
    bool refine();
    bool isRefining() const { return m_refining; }
    bool hasPendingStrokes() const { return !m_strokeBox.isEmpty(); }
    // Refines after every stroke on its own.
    void setRefineAfterStroke(bool on) { m_refineAfterStroke = on; }

    // The edge options (QEdgeControls) of the state shown. setEdge() records new
    // ones as a state of their own with the mask unchanged, so undo and redo bring
    // them back with the mask; previewEdge() only makes edgePreview(), the display
    // photo cut out with them (premultiplied), until the next setEdge() or edit.
    QEdgeControls::Options edge() const { return m_edges.value(m_history.current()); }
    void setEdge(const QEdgeControls::Options& edge);
    void previewEdge(const QEdgeControls::Options& edge);
    // Null while no preview is shown.
    const QImage& edgePreview() const { return m_edgePreview; }

    void undo();
    void redo();
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }
    const QHistoryPixmap& history() const { return m_history; }

    cv::Mat source() const { return m_source; }
    // The full-size mask now shown (QImage::Format_ARGB32).
    QImage mask() const { return m_mask; }
    // The full-size mask (CV_8UC4, B G R A) when it changed since it was loaded or
    // last taken, else an empty matrix.
    cv::Mat takeEdit();

signals:
    void signal_ready();
    // A new state was recorded (not on undo or redo).
    void signal_history_changed();
    // A refine started (true) or ended (false).
    void signal_refining(bool running);

private:
    struct Prepared;
    void takePrepared(int serial, const std::shared_ptr<Prepared>& prepared);
    void showHistoryState();
    void recordEdit(const QRect& changed = QRect()) { recordState(changed, edge()); }
    void recordState(const QRect& changed, const QEdgeControls::Options& edge);
    QRect markStroke(const QRect& dirty, const std::function<void(cv::Mat&, int)>& draw);
    void forgetStrokes();
    struct Refined;
    void takeRefined(int serial, const std::shared_ptr<Refined>& refined);

    cv::Mat m_source;
    cv::Mat m_startMask;
    QImage m_startImage; // the initial mask; shares m_startMask's pixels
    QImage m_mask;       // the full-size mask
    QImage m_displaySource;
    QImage m_displayMask;
    QRect m_strokeRect;   // display pixels painted by the stroke in progress
    cv::Mat m_strokes;    // QMaskRefine::Stroke labels at display size
    QRect m_strokeBox;    // display pixels labelled since the last refine
    int m_editSerial = 0; // counts changes of the mask, so a refine sees it was overtaken
    bool m_refining = false;
    bool m_refineAgain = false;
    bool m_refineAfterStroke = false;
    int m_brushSize = 12;
    int m_hardness = QMaskStroke::kMaxHardness;
    bool m_keepMode = false;
    bool m_modified = false;
    QHistoryPixmap m_history;
    QVector<QEdgeControls::Options> m_edges; // per history state
    QImage m_edgePreview;
    int m_serial = 0;
};
