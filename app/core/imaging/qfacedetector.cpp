#include "qfacedetector.h"

#include "logger.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

cv::CascadeClassifier QFaceDetector::loadCascade(const std::string& path)
{
    cv::CascadeClassifier classifier;
    if (path.empty())
        return classifier;
    bool loaded = false;
    try {
        loaded = classifier.load(path);
    } catch (const cv::Exception&) {
        // a malformed file: reported below like a missing one
    }
    if (!loaded)
        BRISEL_LOG(1, QStringLiteral("ERROR: Could not load classifier cascade"));
    return classifier;
}

double QFaceDetector::searchScale(const cv::Size& imageSize)
{
    return std::max(kScale, double(std::max(imageSize.width, imageSize.height)) / kMaxSearchSide);
}

std::vector<cv::Rect> QFaceDetector::detect(const cv::Mat& colour, cv::CascadeClassifier& cascade,
                                            double scale)
{
    std::vector<cv::Rect> faces;
    if (colour.empty() || cascade.empty() || scale <= 0)
        return faces;
    cv::Mat gray;
    cv::cvtColor(colour, gray, cv::COLOR_BGR2GRAY);
    cv::Mat small(cvRound(colour.rows / scale), cvRound(colour.cols / scale), CV_8UC1);
    cv::resize(gray, small, small.size(), 0, 0, cv::INTER_LINEAR);
    cv::equalizeHist(small, small);
    cascade.detectMultiScale(small, faces, 1.1, 2, cv::CASCADE_SCALE_IMAGE, cv::Size(30, 30));
    return faces;
}

std::vector<cv::Rect> QFaceDetector::detectEyes(const cv::Mat& colour, const cv::Rect& face,
                                                cv::CascadeClassifier& cascade)
{
    std::vector<cv::Rect> eyes;
    const cv::Rect upper =
        cv::Rect(face.x, face.y, face.width, face.height / 2) & cv::Rect(0, 0, colour.cols, colour.rows);
    if (upper.empty() || cascade.empty())
        return eyes;
    // Eyes are searched at a fixed face width, so a face of any size takes the same time.
    const double scale = std::max(1.0, upper.width / 200.0);
    cv::Mat gray;
    cv::cvtColor(colour(upper), gray, cv::COLOR_BGR2GRAY);
    cv::resize(gray, gray, cv::Size(cvRound(upper.width / scale), cvRound(upper.height / scale)), 0, 0,
               cv::INTER_AREA);
    cv::equalizeHist(gray, gray);
    const int smallest = std::max(8, gray.cols / 10);
    cascade.detectMultiScale(gray, eyes, 1.1, 3, cv::CASCADE_SCALE_IMAGE, cv::Size(smallest, smallest));
    std::sort(eyes.begin(), eyes.end(),
              [](const cv::Rect& a, const cv::Rect& b) { return a.area() > b.area(); });
    if (eyes.size() > 2)
        eyes.resize(2);
    for (cv::Rect& e : eyes)
        e = cv::Rect(upper.x + cvRound(e.x * scale), upper.y + cvRound(e.y * scale), cvRound(e.width * scale),
                     cvRound(e.height * scale));
    return eyes;
}

cv::Rect QFaceDetector::faceRegion(const cv::Rect& face, double scale, const cv::Size& imageSize)
{
    const int centreX = cvRound((face.x + face.width * 0.5) * scale);
    const int centreY = cvRound((face.y + face.height * 0.5) * scale);
    const int radius = cvRound((face.width + face.height) * 0.25 * scale);
    const int top = std::max(0, cvRound(centreY - radius * 1.3));
    const int bottom = std::min(imageSize.height, cvRound(centreY + radius * 1.3));
    // Rounding can push a face at the border past the sides, so clip those as well.
    const cv::Rect region(cv::Point(centreX - radius, top), cv::Point(centreX + radius, bottom));
    return region & cv::Rect(cv::Point(0, 0), imageSize);
}
