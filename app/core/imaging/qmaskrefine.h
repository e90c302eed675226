#pragma once

#include <opencv2/core.hpp>

// Brush-guided re-matting: the user's Keep and Remove strokes are certain subject
// and certain background, the current mask a probable answer, and the region
// around the strokes is solved again (GrabCut on a reduced copy, the outline then
// snapped to the photo's edges at full size by a guided filter).
//
// Only changes the strokes ask for are taken: pixels that become subject must be
// connected to a Keep stroke, pixels that become background to a Remove stroke.
// A Keep stroke across a missed object thus brings in the object, a Remove stroke
// across a hole clears the hole, and the rest of the outline stays as it was,
// however the solver saw it.
//
// Stateless; runs on any thread (the editor calls it on the work pool).
class QMaskRefine
{
public:
    QMaskRefine() = delete;

    enum Stroke : uchar
    {
        NoStroke = 0,
        KeepStroke = 1,
        RemoveStroke = 2
    };

    struct Result
    {
        cv::Rect region; // in photo pixels; empty when there was nothing to solve
        cv::Mat subject; // CV_8UC1 of region's size: 255 subject, 0 background
    };

    // photo CV_8UC3; subject CV_8UC1 (non-zero: subject now) and strokes CV_8UC1
    // (Stroke values), both of the photo's size. Mismatched input or no stroke
    // gives an empty result.
    static Result refine(const cv::Mat& photo, const cv::Mat& subject, const cv::Mat& strokes);

    // The part of an image of `image` size solved again for strokes within `strokeBox`.
    static cv::Rect regionAround(const cv::Rect& strokeBox, cv::Size image);
};
