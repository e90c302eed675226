#pragma once

#include "qcroptable.h"

#include <QColor>
#include <QCoreApplication>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

class QImageCanvas;

// Frames a portrait for an ID size: finds the face and eyes on the cut-out, then
// scales the subject uniformly and places it so that the head height and the eye
// line fall inside the size's rules (QCropTable::IdRules), face centred; and says
// in a short list what holds and what cannot be met.
//
// The head is estimated from the face detector's box (x, y, w, h): the crown lies
// kCrownAbove * h above its top, the chin kChinBelow * h below its bottom, so the
// head is 1.57 h. The eye line is the mean of the two eyes found in the box's upper
// half, or kEyesDown * h below its top when they are not found.
//
// Threads: detect() is slow (a few hundred ms on a 12 MP photo) and runs on a work
// pool thread with cascades that thread loaded; everything else is arithmetic or
// touches only its arguments: any thread.
class QIdFraming
{
    Q_DECLARE_TR_FUNCTIONS(QIdFraming)

public:
    QIdFraming() = delete;

    static constexpr double kCrownAbove = 0.45;
    static constexpr double kChinBelow = 0.12;
    static constexpr double kEyesDown = 0.38;
    // Least space kept above the crown, a share of the frame's height.
    static constexpr double kTopMargin = 0.03;
    // A face enlarged more than this looks blurred in the file.
    static constexpr double kMaxEnlarge = 2.5;
    // A face narrower than this share of the largest is taken for a pattern in the
    // background, not for a second person.
    static constexpr double kOtherFaceShare = 0.5;
    // The face centre may lie this share of the width off the middle.
    static constexpr double kCentreTolerance = 0.03;

    // Faces found on a photo, in its pixels, the largest first (see kOtherFaceShare).
    struct Detection
    {
        QVector<QRect> faces;
        // Eye line of the largest face; negative when its eyes were not found.
        double eyeY = -1;
        QSize photo;
    };
    // The head of a face box, in the same pixels.
    struct Head
    {
        double crown = 0;
        double eyes = 0;
        double chin = 0;
        double centreX = 0;
        double height() const { return chin - crown; }
    };
    // Photo pixel p lands on frame pixel p * scale + offset.
    struct Placement
    {
        double scale = 0;
        QPointF offset;
        bool isValid() const { return scale > 0; }
    };
    struct Check
    {
        bool ok = false;
        QString text;
    };

    // The faces on a cut-out (CV_8UC4, see-through parts count as white) or a photo
    // (CV_8UC3). Empty cascades find nothing.
    static Detection detect(const cv::Mat& image, cv::CascadeClassifier& faceCascade,
                            cv::CascadeClassifier& eyeCascade);
    // The same with the program's cascades (QBeautify::cascadeFolder()), loaded for this call.
    static Detection detect(const cv::Mat& image);
    // Places the cut-out of canvas (whose pixels detection is in) for the ID size it
    // shows; returns that placement, invalid when the size is no ID size or no face
    // was found (the canvas then stays as it was). Thread of the canvas.
    static Placement applyTo(QImageCanvas& canvas, const Detection& detection);

    static Head head(const QRect& face, double eyeY = -1);
    // The placement that meets the rules as closely as the face allows: the middle
    // of the head range and of the eye range, the head smaller and the eyes lower
    // when the crown would otherwise leave less than kTopMargin. Invalid without a
    // face or an empty frame.
    static Placement place(const Detection& detection, QSize frame, const QCropTable::IdRules& rules);
    // The placement in surface pixels: where the whole photo goes when the frame is
    // shown as crop (a frame-proportioned rectangle of the surface).
    static QRect foregroundRect(const Placement& placement, QSize photo, QSize frame, const QRect& crop);

    // The framed result of a cut-out (CV_8UC4) at the frame's size over a flat
    // background (CV_8UC3), as the canvas composes it; for the checks, which need
    // no full-resolution render.
    static cv::Mat render(const cv::Mat& cutout, const Placement& placement, QSize frame,
                          const QColor& background);
    // Moves the head by (dx, dy) shares of the frame's height and scales it by
    // factor about the frame's centre: the page's nudge buttons.
    static Placement nudged(const Placement& placement, QSize frame, double dx, double dy, double factor);

    // The list the ID page shows: head size, eye line, centring and the background
    // of rendered (the framed result at the frame's size, CV_8UC3/4; empty skips
    // that line), led by warnings for rules that cannot be met.
    static QVector<Check> checks(const Detection& detection, const Placement& placement, QSize frame,
                                 const QCropTable::IdRules& rules, const cv::Mat& rendered,
                                 const QColor& background);
    // True when every pixel of the frame's top corners (above four fifths of the
    // crown's height, a fifth of the width each) is exactly background.
    static bool isBackgroundFlat(const cv::Mat& rendered, const QColor& background, double crownShare);
};
