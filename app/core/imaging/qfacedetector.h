#pragma once

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include <string>
#include <vector>

// Finds frontal faces and their eyes for beautify and the ID framing, and turns a
// face into the region that beautify smooths. Stateless; runs on whichever thread calls it (the beautify
// job's pool thread). A classifier is not shared between threads: callers load their own.
class QFaceDetector
{
public:
    QFaceDetector() = delete;

    // A classifier loaded from path; empty (and an error logged) when it fails.
    static cv::CascadeClassifier loadCascade(const std::string& path);

    // The shrink factor of the search picture: faces are searched on a grey copy
    // at least this many times smaller than the photo.
    static constexpr double kScale = 1.3;
    // Longest side of the search picture. A 12 MP photo shrunk only by kScale takes
    // seconds to search and yields false faces in its fine texture; shrunk to this,
    // the smallest face found is still about 3 % of the picture's height.
    static constexpr int kMaxSearchSide = 1024;

    // The shrink factor for a photo of imageSize: kScale, or more for photos whose
    // longest side would pass kMaxSearchSide.
    static double searchScale(const cv::Size& imageSize);

    // Faces in colour (CV_8UC3), in the coordinates of the grey copy shrunk by scale
    // (histogram equalised; smallest face 30 x 30 there). An empty cascade or an
    // empty picture gives no face.
    static std::vector<cv::Rect> detect(const cv::Mat& colour, cv::CascadeClassifier& cascade, double scale);

    // Eyes in the upper half of face (photo pixels of colour, CV_8UC3), in photo
    // pixels, the two largest at most. An empty cascade or face finds none.
    static std::vector<cv::Rect> detectEyes(const cv::Mat& colour, const cv::Rect& face,
                                            cv::CascadeClassifier& cascade);

    // The photo region smoothed for a face found in the shrunk picture: centred on
    // the face, two radii wide and 2.6 radii high (radius = a quarter of the face's
    // width plus height, in photo pixels), so it covers forehead and chin. Clipped
    // to imageSize; an empty rectangle when nothing of it lies inside.
    static cv::Rect faceRegion(const cv::Rect& face, double scale, const cv::Size& imageSize);
};
