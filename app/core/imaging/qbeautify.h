#pragma once

#include <QString>

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

// The beautify filters: "Skin tone" brightens and adds contrast, "Smooth" evens out
// skin with an edge-preserving filter around detected faces (the whole picture when
// no face is found). Stateless apart from the cascade folder; every filter works on
// its arguments and may run on any thread (beautify runs as a work-pool job).
class QBeautify
{
public:
    QBeautify() = delete;

    // Each colour channel becomes saturate(round(value * 1.2 + level)).
    static cv::Mat adjustTone(const cv::Mat& colour, int level);

    // Edge-preserving smoothing of m in place (an 8-bit matrix of 1 or 3 channels,
    // may be a view into a larger one, whose pixels around it then feed the filter's
    // border; other types are left alone): a bilateral filter with diameter
    // 15 and both sigmas = strength, blended half and half with the original through
    // a high-pass. strength <= 0 leaves m as it is.
    static void smoothRegion(cv::Mat& m, int strength);

    // Smooths the region around every face that faceCascade finds in image
    // (CV_8UC3) in place; true when at least one face was found (image untouched
    // otherwise).
    static bool beautifyFaces(cv::Mat& image, cv::CascadeClassifier& faceCascade, double scale, int strength);

    // A smoothed copy of colour (CV_8UC3): faces only, or all of it when no face is
    // found. When a cascade file is missing the copy comes back unsmoothed and the
    // loader logs "ERROR: Could not load classifier cascade".
    static cv::Mat beautify(const cv::Mat& colour, int strength);

    // The whole beautify job on a cut-out, for the view that hosts the canvas.
    // source is the cut-out as downloaded (CV_8UC4, with any erased colours carried
    // over) so runs never compound; current is the host's current cut-out, whose alpha
    // (with the user's brush edits) the result keeps. Returns the new CV_8UC4 cut-out:
    // tone then smoothing (either may be 0) on the colour of source, with the alpha
    // of current. Empty when source is not CV_8UC4 or current is smaller.
    // Call it on a pool thread; it is slow on large photos.
    static cv::Mat beautifyCutout(const cv::Mat& source, const cv::Mat& current, int tone, int smooth);

    // Folder holding "h_face.xml" and "h_eye.xml", ending in "/". Defaults to the
    // program's own folder, where the build installs them.
    static QString cascadeFolder();
    // For tests and tools: another folder (an empty text restores the default).
    // Set it on the GUI thread while no beautify job runs.
    static void setCascadeFolder(const QString& folder);
};
