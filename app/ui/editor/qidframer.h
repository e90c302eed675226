#pragma once

#include "qidframing.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <opencv2/core.hpp>

#include <functional>
#include <optional>

class QImageCanvas;

// Frames the canvas's cut-out for the ID size chosen on the crop page: finds the
// face once per cut-out on the work pool, places the cut-out in the crop frame by
// QIdFraming's rules, and reports the checks. A committed size whose photo has no
// face is taken back, with a message. Lives on the GUI thread beside the canvas it
// frames (which it does not own); detection results for an older cut-out or a
// deleted framer are dropped. A subject moved or scaled by hand is checked again
// once the hand rests (kRecheckMs), on the work pool; only the latest check shows.
class QIdFramer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRecheckMs = 150;

    QIdFramer(QImageCanvas* canvas, QObject* parent);

    // A new cut-out (CV_8UC4, shared, not changed later): faces are found again.
    void setCutout(const cv::Mat& cutout);
    // The crop page chose code (commit: applied); codes that are not ID sizes
    // clear the checks. The same size again keeps a nudged placement.
    // Call it after the canvas took the code.
    void frame(int code, bool commit);
    // See QIdFraming::nudged().
    void nudge(double dx, double dy, double factor);
    // The background changed: the checks are made again.
    void recheck();
    // The user dragged or scaled the subject on the canvas: the placement follows it
    // and the checks are made again soon.
    void onSubjectMoved();
    // The same person framed for the fixed ID size code by that size's rules, over
    // the canvas's background, from the cut-out the canvas shows now: a renderer for
    // QImageCanvas::SaveJob::sheetMate, to be called on any thread. Empty when no
    // face was found, code is the size applied now or has no fixed pixel size.
    std::function<cv::Mat()> sheetMate(int code) const;

signals:
    // The canvas changed: the view repaints.
    void signal_framed();
    void signal_checks(const QStringList& okLines, const QStringList& warnings);
    void signal_refused(const QString& message);

private:
    struct Lines
    {
        QStringList ok;
        QStringList warnings;
    };
    // Any thread: reads only its arguments.
    static Lines checkLines(const cv::Mat& cutout, const QIdFraming::Detection& found,
                            const QIdFraming::Placement& placement, QSize frame,
                            const QCropTable::IdRules& rules, const QColor& background);
    void checkOnPool();
    void detect();
    void place();
    void report();

    QPointer<QImageCanvas> m_canvas;
    cv::Mat m_cutout;
    std::optional<QIdFraming::Detection> m_found;
    QIdFraming::Placement m_placement;
    int m_code = 0;
    QSize m_frame;
    bool m_commit = false;
    bool m_detecting = false;
    int m_serial = 0;
    // Numbers the checks; a pool result for an older one is dropped.
    int m_checkSerial = 0;
    QTimer m_recheck;
};
