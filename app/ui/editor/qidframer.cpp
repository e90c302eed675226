#include "qidframer.h"

#include "guihandover.h"
#include "qcropgeometry.h"
#include "qimagecanvas.h"
#include "qimageconvert.h"
#include "qsavefilewriter.h"
#include "qworkpool.h"

QIdFramer::QIdFramer(QImageCanvas* canvas, QObject* parent) : QObject(parent), m_canvas(canvas)
{
    m_recheck.setSingleShot(true);
    m_recheck.setInterval(kRecheckMs);
    connect(&m_recheck, &QTimer::timeout, this, &QIdFramer::checkOnPool);
}

void QIdFramer::setCutout(const cv::Mat& cutout)
{
    m_cutout = cutout;
    m_found.reset();
    m_placement = {};
    m_code = 0;
    m_commit = false;
    ++m_serial;
    ++m_checkSerial;
    m_detecting = false;
}

void QIdFramer::frame(int code, bool commit)
{
    const QSize frame = m_canvas ? QCropGeometry::fixedCropSize(code, m_canvas->customCropSize()) : QSize();
    const bool sameSize = code == m_code && frame == m_frame && m_placement.isValid();
    m_code = QCropTable::idRules(code) ? code : 0;
    m_frame = frame;
    m_commit = commit;
    if (!m_code) {
        m_placement = {};
        emit signal_checks({}, {});
        return;
    }
    if (!m_found)
        detect();
    else if (!sameSize)
        place();
    else
        report();
}

void QIdFramer::detect()
{
    if (m_detecting || m_cutout.empty())
        return;
    m_detecting = true;
    const QPointer<QIdFramer> guard(this);
    const int serial = m_serial;
    const cv::Mat cutout = m_cutout;
    QWorkPool::instance()->post([guard, serial, cutout] {
        const QIdFraming::Detection found = QIdFraming::detect(cutout);
        runOnGui(guard, [guard, serial, found] {
            if (serial != guard->m_serial)
                return;
            guard->m_detecting = false;
            guard->m_found = found;
            if (guard->m_code)
                guard->place();
        });
    });
}

void QIdFramer::place()
{
    const QCropTable::IdRules* rules = QCropTable::idRules(m_code);
    if (!m_canvas || !rules || !m_found)
        return;
    if (rules->background)
        m_canvas->setBackgroundColor(QColor::fromRgb(rules->background));
    else if (m_canvas->backgroundType() == QImageCanvas::BackgroundNone)
        m_canvas->setBackgroundColor(QColor::fromRgb(QCropTable::kIdBackgrounds[0]));
    m_placement = QIdFraming::applyTo(*m_canvas, *m_found);
    report();
}

void QIdFramer::nudge(double dx, double dy, double factor)
{
    if (!m_canvas || !m_code || !m_placement.isValid())
        return;
    const QSize frame = QCropGeometry::fixedCropSize(m_code, m_canvas->customCropSize());
    m_placement = QIdFraming::nudged(m_placement, frame, dx, dy, factor);
    m_canvas->placeForeground(
        QIdFraming::foregroundRect(m_placement, m_canvas->cutoutSize(), frame, m_canvas->cropRect()));
    report();
}

void QIdFramer::recheck()
{
    if (m_code && m_found)
        report();
}

void QIdFramer::onSubjectMoved()
{
    if (!m_canvas || !m_code || !m_placement.isValid())
        return;
    const QRect shown = m_canvas->foregroundRect();
    const QRect crop = m_canvas->cropRect();
    if (shown.isEmpty() || crop.isEmpty() || m_cutout.empty())
        return;
    // The inverse of QIdFraming::foregroundRect(): the canvas scales uniformly.
    const double k = double(crop.height()) / m_frame.height();
    m_placement.scale = shown.height() / (double(m_cutout.rows) * k);
    m_placement.offset = QPointF((shown.x() - crop.x()) / k, (shown.y() - crop.y()) / k);
    ++m_checkSerial;
    m_recheck.start();
}

std::function<cv::Mat()> QIdFramer::sheetMate(int code) const
{
    const QCropTable::IdRules* rules = QCropTable::idRules(code);
    // No typed size: a second size is one of fixed pixels.
    const QSize frame = QCropGeometry::fixedCropSize(code, QSize());
    if (!m_canvas || !rules || !frame.isValid() || code == m_code || !m_found || m_found->faces.isEmpty())
        return {};
    const QIdFraming::Placement placement = QIdFraming::place(*m_found, frame, *rules);
    const QImage shown = m_canvas->cutoutImage();
    const QColor background = m_canvas->backgroundColor();
    return [shown, placement, frame, background] {
        const cv::Mat cutout = QImageConvert::imageToMat(shown.convertToFormat(QImage::Format_ARGB32));
        return QIdFraming::render(cutout, placement, frame, background);
    };
}

void QIdFramer::checkOnPool()
{
    const QCropTable::IdRules* rules = QCropTable::idRules(m_code);
    if (!m_canvas || !rules || !m_found)
        return;
    const QPointer<QIdFramer> guard(this);
    const int serial = m_checkSerial;
    const cv::Mat cutout = m_cutout;
    const QIdFraming::Detection found = *m_found;
    const QIdFraming::Placement placement = m_placement;
    const QSize frame = m_frame;
    const QColor background = m_canvas->backgroundColor();
    QWorkPool::instance()->post([=] {
        const Lines lines = checkLines(cutout, found, placement, frame, *rules, background);
        runOnGui(guard, [guard, serial, lines] {
            if (serial == guard->m_checkSerial)
                emit guard->signal_checks(lines.ok, lines.warnings);
        });
    });
}

QIdFramer::Lines QIdFramer::checkLines(const cv::Mat& cutout, const QIdFraming::Detection& found,
                                       const QIdFraming::Placement& placement, QSize frame,
                                       const QCropTable::IdRules& rules, const QColor& background)
{
    const cv::Mat rendered = QIdFraming::render(cutout, placement, frame, background);
    Lines lines;
    for (const QIdFraming::Check& check :
         QIdFraming::checks(found, placement, frame, rules, rendered, background))
        (check.ok ? lines.ok : lines.warnings) << check.text;
    QSaveFileWriter::Options options;
    options.format = SaveFormat::Jpg;
    const QSaveFileWriter::Kilobytes range = QSaveFileWriter::kilobytes();
    options.minKilobytes = rules.maxKilobytes ? rules.minKilobytes : range.min;
    options.maxKilobytes = rules.maxKilobytes ? rules.maxKilobytes : range.max;
    QSaveFileWriter::Result result;
    if (!rendered.empty() && (options.minKilobytes || options.maxKilobytes) &&
        QSaveFileWriter::encode(rendered, options, &result)) {
        const int reached = int((result.bytes.size() + 1023) / 1024);
        const QString line =
            options.maxKilobytes
                ? tr("JPG file %1 KB (needed: %2-%3 KB)")
                      .arg(reached)
                      .arg(options.minKilobytes)
                      .arg(options.maxKilobytes)
                : tr("JPG file %1 KB (needed: at least %2 KB)").arg(reached).arg(options.minKilobytes);
        (result.overLimit || result.underLimit ? lines.warnings : lines.ok) << line;
    }
    return lines;
}

void QIdFramer::report()
{
    const QCropTable::IdRules* rules = QCropTable::idRules(m_code);
    if (!m_canvas || !rules || !m_found)
        return;
    // A pending check of a hand-placed subject is older than this one. The checks
    // render and encode the framed photo: the pool does that.
    ++m_checkSerial;
    m_recheck.stop();
    checkOnPool();
    const bool noFace = m_found->faces.isEmpty();
    emit signal_framed();
    if (noFace && m_commit) {
        m_canvas->clearCropApplied();
        m_commit = false;
        emit signal_refused(
            tr("No face was found in this photo, so it cannot be made into an ID photo. Choose a "
               "photo of one person facing the camera."));
    }
}
