#include "qidframing.h"

#include "qbeautify.h"
#include "qcropgeometry.h"
#include "qfacedetector.h"
#include "qimagecanvas.h"

#include <QFile>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

int percent(double share)
{
    return int(std::lround(share * 100.0));
}

QString range(int low, int high)
{
    return QStringLiteral("%1-%2 %").arg(low).arg(high);
}

// A BGRA picture over a flat colour, as BGR.
cv::Mat overColour(const cv::Mat& bgra, const QColor& colour)
{
    cv::Mat bgr;
    cv::Mat alpha;
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    cv::extractChannel(bgra, alpha, 3);
    alpha.convertTo(alpha, CV_32F, 1.0 / 255.0);
    const cv::Mat flat(bgr.size(), CV_8UC3, cv::Scalar(colour.blue(), colour.green(), colour.red()));
    cv::Mat out;
    cv::blendLinear(bgr, flat, alpha, 1.0 - alpha, out);
    return out;
}

} // namespace

QIdFraming::Detection QIdFraming::detect(const cv::Mat& image, cv::CascadeClassifier& faceCascade,
                                         cv::CascadeClassifier& eyeCascade)
{
    Detection found;
    found.photo = QSize(image.cols, image.rows);
    if (image.empty())
        return found;
    // See-through parts as white, as the ID photo shows them, so the cut-out's
    // hidden colours do not count as faces.
    const cv::Mat colour = image.type() == CV_8UC4 ? overColour(image, Qt::white) : image;
    const double scale = QFaceDetector::searchScale(colour.size());
    std::vector<cv::Rect> faces = QFaceDetector::detect(colour, faceCascade, scale);
    std::sort(faces.begin(), faces.end(),
              [](const cv::Rect& a, const cv::Rect& b) { return a.area() > b.area(); });
    for (const cv::Rect& f : faces)
        if (f.width >= faces.front().width * kOtherFaceShare)
            found.faces << QRect(cvRound(f.x * scale), cvRound(f.y * scale), cvRound(f.width * scale),
                                 cvRound(f.height * scale));
    if (found.faces.isEmpty())
        return found;
    const QRect& face = found.faces.first();
    const std::vector<cv::Rect> eyes = QFaceDetector::detectEyes(
        colour, cv::Rect(face.x(), face.y(), face.width(), face.height()), eyeCascade);
    if (eyes.size() == 2)
        found.eyeY = (eyes[0].y + eyes[0].height * 0.5 + eyes[1].y + eyes[1].height * 0.5) / 2.0;
    return found;
}

QIdFraming::Detection QIdFraming::detect(const cv::Mat& image)
{
    const auto load = [](const char* name) {
        return QFaceDetector::loadCascade(
            QFile::encodeName(QBeautify::cascadeFolder() + QLatin1String(name)).toStdString());
    };
    cv::CascadeClassifier faces = load("h_face.xml");
    cv::CascadeClassifier eyes = load("h_eye.xml");
    return detect(image, faces, eyes);
}

QIdFraming::Placement QIdFraming::applyTo(QImageCanvas& canvas, const Detection& detection)
{
    const QCropTable::IdRules* rules = QCropTable::idRules(canvas.cropMode());
    if (!rules)
        return Placement();
    const QSize frame = QCropGeometry::fixedCropSize(canvas.cropMode(), canvas.customCropSize());
    const Placement placement = place(detection, frame, *rules);
    if (placement.isValid())
        canvas.placeForeground(foregroundRect(placement, canvas.cutoutSize(), frame, canvas.cropRect()));
    return placement;
}

QIdFraming::Head QIdFraming::head(const QRect& face, double eyeY)
{
    Head h;
    h.crown = face.y() - kCrownAbove * face.height();
    h.chin = face.y() + face.height() * (1.0 + kChinBelow);
    h.eyes = eyeY >= 0 ? eyeY : face.y() + kEyesDown * face.height();
    h.centreX = face.x() + face.width() / 2.0;
    return h;
}

QIdFraming::Placement QIdFraming::place(const Detection& detection, QSize frame,
                                        const QCropTable::IdRules& rules)
{
    Placement p;
    if (detection.faces.isEmpty() || frame.isEmpty())
        return p;
    const Head h = head(detection.faces.first(), detection.eyeY);
    if (h.height() <= 0 || h.eyes <= h.crown)
        return p;
    // Shares of the frame's height: the head, the eye line from the bottom, and the
    // eye-to-crown distance per share of head.
    double headShare = (rules.headMin + rules.headMax) / 200.0;
    double eyeShare = (rules.eyeMin + rules.eyeMax) / 200.0;
    const double crownPerHead = (h.eyes - h.crown) / h.height();
    if (1.0 - eyeShare - headShare * crownPerHead < kTopMargin)
        eyeShare = std::max(rules.eyeMin / 100.0, 1.0 - kTopMargin - headShare * crownPerHead);
    if (1.0 - eyeShare - headShare * crownPerHead < kTopMargin)
        headShare = std::max(rules.headMin / 100.0, (1.0 - kTopMargin - eyeShare) / crownPerHead);
    p.scale = headShare * frame.height() / h.height();
    p.offset = QPointF(frame.width() / 2.0 - p.scale * h.centreX,
                       (1.0 - eyeShare) * frame.height() - p.scale * h.eyes);
    return p;
}

QRect QIdFraming::foregroundRect(const Placement& placement, QSize photo, QSize frame, const QRect& crop)
{
    if (!placement.isValid() || frame.isEmpty() || crop.isEmpty())
        return QRect();
    const double k = double(crop.height()) / frame.height();
    const double s = placement.scale * k;
    return QRect(crop.x() + int(std::lround(placement.offset.x() * k)),
                 crop.y() + int(std::lround(placement.offset.y() * k)),
                 std::max(1, int(std::lround(photo.width() * s))),
                 std::max(1, int(std::lround(photo.height() * s))));
}

cv::Mat QIdFraming::render(const cv::Mat& cutout, const Placement& placement, QSize frame,
                           const QColor& background)
{
    if (cutout.type() != CV_8UC4 || !placement.isValid() || frame.isEmpty())
        return cv::Mat();
    const QColor colour = background.isValid() ? background : QColor(Qt::white);
    const cv::Matx23d toFrame(placement.scale, 0, placement.offset.x(), 0, placement.scale,
                              placement.offset.y());
    cv::Mat placed;
    cv::warpAffine(cutout, placed, toFrame, cv::Size(frame.width(), frame.height()), cv::INTER_LINEAR,
                   cv::BORDER_CONSTANT, cv::Scalar::all(0));
    return overColour(placed, colour);
}

QIdFraming::Placement QIdFraming::nudged(const Placement& placement, QSize frame, double dx, double dy,
                                         double factor)
{
    if (!placement.isValid() || !(factor > 0))
        return placement;
    const QPointF centre(frame.width() / 2.0, frame.height() / 2.0);
    Placement p;
    p.scale = placement.scale * factor;
    p.offset = centre + (placement.offset - centre) * factor + QPointF(dx, dy) * frame.height();
    return p;
}

bool QIdFraming::isBackgroundFlat(const cv::Mat& rendered, const QColor& background, double crownShare)
{
    // Hair may stand a little above the estimated crown and out to the sides.
    const int rows = std::min(rendered.rows, int(rendered.rows * crownShare * 0.8));
    const int cols = rendered.cols / 5;
    if (rows <= 0 || cols <= 0 || !background.isValid())
        return false;
    cv::Mat bgr = rendered;
    if (rendered.channels() == 4)
        cv::cvtColor(rendered, bgr, cv::COLOR_BGRA2BGR);
    const cv::Scalar colour(background.blue(), background.green(), background.red());
    for (const cv::Rect corner : {cv::Rect(0, 0, cols, rows), cv::Rect(bgr.cols - cols, 0, cols, rows)}) {
        cv::Mat delta;
        cv::absdiff(bgr(corner), colour, delta);
        if (cv::countNonZero(delta.reshape(1)) > 0)
            return false;
    }
    return true;
}

QVector<QIdFraming::Check> QIdFraming::checks(const Detection& detection, const Placement& placement,
                                              QSize frame, const QCropTable::IdRules& rules,
                                              const cv::Mat& rendered, const QColor& background)
{
    QVector<Check> list;
    if (detection.faces.isEmpty() || !placement.isValid() || frame.isEmpty()) {
        list << Check{false, tr("No face found: an ID photo needs one face looking at the camera.")};
        return list;
    }
    if (detection.faces.size() > 1)
        list << Check{false, tr("%n faces found: an ID photo shows one person. The largest face is framed.",
                                "", int(detection.faces.size()))};
    const Head h = head(detection.faces.first(), detection.eyeY);
    if (h.crown < 0 || h.chin > detection.photo.height())
        list << Check{false, tr("The head is cut off in the photo: take one with space above the hair.")};
    if (placement.scale > kMaxEnlarge)
        list << Check{false, tr("The face is too small in this photo: it is enlarged %1 times and will look "
                                "blurred.")
                                 .arg(placement.scale, 0, 'f', 1)};
    const double H = frame.height();
    const double crown = placement.scale * h.crown + placement.offset.y();
    const int headShare = percent(placement.scale * h.height() / H);
    const int eyeShare = percent(1.0 - (placement.scale * h.eyes + placement.offset.y()) / H);
    const double centre = placement.scale * h.centreX + placement.offset.x();
    list << Check{headShare >= rules.headMin && headShare <= rules.headMax && crown >= 0,
                  tr("Head height %1 % of the photo (needed: %2)")
                      .arg(headShare)
                      .arg(range(rules.headMin, rules.headMax))};
    list << Check{eyeShare >= rules.eyeMin && eyeShare <= rules.eyeMax,
                  tr("Eye line %1 % from the bottom (needed: %2)")
                      .arg(eyeShare)
                      .arg(range(rules.eyeMin, rules.eyeMax))};
    list << Check{std::abs(centre - frame.width() / 2.0) <= kCentreTolerance * frame.width(),
                  tr("Face centred")};
    if (!rendered.empty()) {
        const bool flat = isBackgroundFlat(rendered, background, crown / H);
        list << Check{flat, flat ? tr("Background flat")
                                 : tr("Background not flat: choose white, blue or red for the background.")};
    }
    return list;
}
