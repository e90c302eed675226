#pragma once

#include "qidframing.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <opencv2/core.hpp>

#include <optional>

class QImageCanvas;

// Frames the canvas's cut-out for the ID size chosen on the crop page: finds the
// face once per cut-out on the work pool, places the cut-out in the crop frame by
// QIdFraming's rules, and reports the checks. A committed size whose photo has no
// face is taken back, with a message. Lives on the GUI thread beside the canvas it
// frames (which it does not own); detection results for an older cut-out or a
// deleted framer are dropped.
class QIdFramer : public QObject
{
    Q_OBJECT

public:
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

signals:
    // The canvas changed: the view repaints.
    void signal_framed();
    void signal_checks(const QStringList& okLines, const QStringList& warnings);
    void signal_refused(const QString& message);

private:
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
};
