#include "qbeautify.h"
#include "cglobal.h"
#include "qfacedetector.h"
#include "qmaskops.h"

#include <QFile>

#include <opencv2/imgproc.hpp>

#include <mutex>

namespace {

// Smoothing: the bilateral filter's diameter and the share of the smoothed picture
// in the blend with the original, in percent.
constexpr int kDiameter = 15;
constexpr int kBlendPercent = 50;
constexpr double kToneGain = 1.2;

std::mutex s_folderMutex;
QString s_cascadeFolder;

cv::CascadeClassifier loadFrom(const QString& folder, const char* name)
{
    return QFaceDetector::loadCascade(QFile::encodeName(folder + QLatin1String(name)).toStdString());
}

// beautify() without the copy.
void beautifyInPlace(cv::Mat& img, int strength)
{
    const QString folder = QBeautify::cascadeFolder();
    cv::CascadeClassifier faceCascade = loadFrom(folder, "h_face.xml");
    // The eye cascade finds nothing here, but a broken installation shows up as
    // either file missing, and then nothing is smoothed at all.
    const cv::CascadeClassifier eyeCascade = loadFrom(folder, "h_eye.xml");
    if (faceCascade.empty() || eyeCascade.empty())
        return;
    if (!QBeautify::beautifyFaces(img, faceCascade, QFaceDetector::searchScale(img.size()), strength))
        QBeautify::smoothRegion(img, strength);
}

} // namespace

cv::Mat QBeautify::adjustTone(const cv::Mat& colour, int level)
{
    cv::Mat out;
    // convertTo rounds and saturates once per value, which is the whole formula.
    colour.convertTo(out, -1, kToneGain, level);
    return out;
}

void QBeautify::smoothRegion(cv::Mat& m, int strength)
{
    if (strength <= 0 || m.empty() || m.depth() != CV_8U || (m.channels() != 1 && m.channels() != 3))
        return;
    cv::Mat filtered;
    cv::bilateralFilter(m, filtered, kDiameter, strength, strength, cv::BORDER_DEFAULT);
    // The high-pass filtered - m, lifted to mid-grey, is added back twice over the
    // original and the sum blended with it. Each step saturates on its own, so the
    // steps stay separate. (A Gaussian pass over the high-pass with a 1 x 1 kernel
    // would change nothing and is left out.)
    cv::Mat highPass;
    cv::addWeighted(filtered, 1.0, m, -1.0, 128.0, highPass);
    cv::Mat lifted;
    cv::addWeighted(m, 1.0, highPass, 2.0, -255.0, lifted);
    // m may be a view into a larger picture: write into its pixels, never reassign.
    const double share = kBlendPercent / 100.0;
    cv::addWeighted(m, 1.0 - share, lifted, share, 0.0, m);
}

bool QBeautify::beautifyFaces(cv::Mat& image, cv::CascadeClassifier& faceCascade, double scale, int strength)
{
    const std::vector<cv::Rect> faces = QFaceDetector::detect(image, faceCascade, scale);
    for (const cv::Rect& face : faces) {
        const cv::Rect region = QFaceDetector::faceRegion(face, scale, image.size());
        if (region.empty())
            continue;
        cv::Mat view = image(region);
        smoothRegion(view, strength);
    }
    return !faces.empty();
}

cv::Mat QBeautify::beautify(const cv::Mat& colour, int strength)
{
    cv::Mat img = colour.clone();
    beautifyInPlace(img, strength);
    return img;
}

cv::Mat QBeautify::beautifyCutout(const cv::Mat& source, const cv::Mat& current, int tone, int smooth)
{
    if (source.type() != CV_8UC4)
        return cv::Mat();
    cv::Mat m = QMaskOps::dropAlpha(source);
    if (tone > 0)
        m = adjustTone(m, tone);
    // m is already a private copy: a 12 MP clone more would cost a tenth of a second.
    if (smooth > 0)
        beautifyInPlace(m, smooth);
    return QMaskOps::mergeAlpha(m, current);
}

QString QBeautify::cascadeFolder()
{
    {
        std::lock_guard<std::mutex> lock(s_folderMutex);
        if (!s_cascadeFolder.isEmpty())
            return s_cascadeFolder;
    }
    return CGlobal::getDataPath();
}

void QBeautify::setCascadeFolder(const QString& folder)
{
    std::lock_guard<std::mutex> lock(s_folderMutex);
    s_cascadeFolder =
        folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}
