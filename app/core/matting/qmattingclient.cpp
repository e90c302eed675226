#include "qmattingclient.h"

#include "hrequest.h"
#include "json.h"
#include "logger.h"
#include "mattingprotocol.h"
#include "qimagefiles.h"
#include "uexception.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QThread>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <atomic>

namespace proto = mattingprotocol;

namespace {

// Result code of the platform request object.
constexpr int OK = 0;

// A busy service (its queue is full, or this computer has as many photos in
// flight as it allows one) is asked again for this long before the photo fails
// with its message; the pool's other photos are what it is busy with.
constexpr qint64 kBusyPatienceMs = 5 * 60 * 1000;
constexpr int kBusyStatus = HRequest::HttpErrorBase + 503;
constexpr int kTooManyStatus = HRequest::HttpErrorBase + proto::kCodeTooMany;

std::atomic<int> g_pollIntervalMs{1000};

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

// The wait the service asked for, else a back-off from half a second doubling to
// eight; never so short that a service saying 0 is hammered.
ulong busyDelayMs(int attempt, int retryAfterSeconds)
{
    if (retryAfterSeconds >= 0)
        return ulong(qBound(100, retryAfterSeconds * 1000, 30000));
    return ulong(500) << qMin(attempt, 4);
}

// Checks a service reply: JSON with code 200, else the service's own message.
Json::Value parseReply(const QByteArray& bytes)
{
    Json::Reader reader;
    Json::Value val;
    U_CHECK(reader.parse(bytes, val),
            QMattingClient::tr("The answer of the matting service could not be read."));
    const int code = val[proto::kCode].asInt();
    QString message = val[proto::kMessage].asQString();
    if (message.isEmpty())
        message = QMattingClient::tr("The matting service refused the request (code %1).").arg(code);
    U_CHECK(proto::kCodeOk == code, message);
    return val;
}

// A request the service turned down with an HTTP error status: when the answer's
// body carries the service's own explanation, that is what the user reads
// instead of the bare status.
void checkRequest(const HRequest& request, int iRet, const QByteArray& body)
{
    if (iRet > HRequest::HttpErrorBase) {
        Json::Value val;
        if (Json::Reader().parse(body, val) && !val[proto::kMessage].asQString().isEmpty())
            parseReply(body);
    }
    U_CHECK(OK == iRet, HRequest::getCurlErrMsg(iRet, request.fullUrl()));
}

} // namespace

QMattingClient::QMattingClient(const QString& serviceUrl, const QString& mac, int type, bool keepShadow,
                               bool fast)
    : m_serviceUrl(serviceUrl), m_mac(mac), m_mode(type == Goods  ? proto::kModeProduct
                                                   : type == Card ? proto::kModeId
                                                                  : proto::kModePerson),
      m_keepShadow(keepShadow), m_fast(fast)
{
}

void QMattingClient::setPollInterval(int ms)
{
    g_pollIntervalMs = qMax(0, ms);
}

int QMattingClient::pollInterval()
{
    return g_pollIntervalMs;
}

QMattingClient::Cutout QMattingClient::matte(const QString& photoPath, QString* error)
{
    try {
        return download(waitForResult(createJob(photoPath)));
    } catch (const UException& e) {
        BRISEL_LOG(1, QString::fromStdWString(e.description()));
        if (error)
            *error = QString::fromStdWString(e.message());
        return Cutout();
    }
}

QString QMattingClient::createJob(const QString& photoPath) const
{
    U_CHECK(QFile::exists(photoPath), tr("The file does not exist."));
    QFile photo(photoPath);
    U_CHECK(photo.open(QIODevice::ReadOnly), tr("The photo cannot be read: %1").arg(photo.errorString()));
    photo.close();
    // The service decodes what OpenCV reads, which HEIC is not: such a photo goes up
    // as a JPG of its upright pixels, kept until the upload is done.
    QTemporaryFile converted(QDir::tempPath() + QStringLiteral("/brisel-upload-XXXXXX.jpg"));
    QString upload = photoPath;
    if (QImageFiles::isHeif(photoPath)) {
        U_CHECK(QImageFiles::missingReader(photoPath).isEmpty(), QImageFiles::missingReader(photoPath));
        QByteArray jpg;
        U_CHECK(
            QImageFiles::encode(QImageFiles::read(photoPath), ".jpg", {cv::IMWRITE_JPEG_QUALITY, 95}, &jpg),
            tr("The HEIC photo could not be decoded."));
        U_CHECK(converted.open() && converted.write(jpg) == jpg.size() && converted.flush(),
                tr("The photo cannot be read: %1").arg(converted.errorString()));
        upload = converted.fileName();
    }

    HRequest request;
    request.setUrl(m_serviceUrl + QString::fromStdString(proto::createTarget(m_mac.toStdString(), m_mode,
                                                                             m_keepShadow, m_fast)));
    request.setUpload(key(proto::kFileField), upload);
    QElapsedTimer busyFor;
    busyFor.start();
    QByteArray bytes;
    int ret = request.exec(bytes);
    const auto cancelled = [this] { return m_cancel && *m_cancel; };
    for (int attempt = 0;
         (ret == kBusyStatus || ret == kTooManyStatus) && busyFor.elapsed() < kBusyPatienceMs; ++attempt) {
        const ulong delay = busyDelayMs(attempt, request.retryAfter());
        BRISEL_LOG(2, QStringLiteral("service busy; %1 again in %2 ms").arg(photoPath).arg(delay));
        // In slices, so a cancel is not kept waiting for a long Retry-After.
        QElapsedTimer waited;
        waited.start();
        while (!cancelled() && ulong(waited.elapsed()) < delay)
            QThread::msleep(std::min<ulong>(100, delay));
        U_CHECK(!cancelled(), tr("Image matting was cancelled."));
        ret = request.exec(bytes);
    }
    checkRequest(request, ret, bytes);
    return parseReply(bytes)[proto::kData][proto::kSerial].asQString();
}

QString QMattingClient::waitForResult(const QString& serial) const
{
    // The request object joins its parameters with "?" or "&" itself.
    HRequest request;
    request.setUrl(taskEndpoint());
    request.setHttpType(0);
    request.setResultType(1);
    request.appendParam(key(proto::kMac), m_mac);
    request.appendParam(key(proto::kSerial), serial);

    int status = proto::kStatusRunning;
    for (int attempt = 1; attempt <= kMaxPolls; ++attempt) {
        const bool cancelled = m_cancel && *m_cancel;
        if (cancelled)
            cancelJob(serial);
        U_CHECK(!cancelled, tr("Image matting was cancelled."));
        QByteArray bytes;
        checkRequest(request, request.exec(bytes), bytes);
        const Json::Value reply = parseReply(bytes);
        const Json::Value data = reply[proto::kData];
        status = data[proto::kStatus].asInt();
        // The service says why (a photo it cannot decode, too many pixels, ...).
        const QString reason = reply[proto::kMessage].asQString();
        U_CHECK(proto::kStatusFailed != status, reason.isEmpty() ? tr("Image matting failed!") : reason);
        if (status == proto::kStatusDone)
            return data[proto::kConvertPath].asQString();
        if (attempt < kMaxPolls)
            QThread::msleep(ulong(pollInterval()));
    }
    U_CHECK(proto::kStatusRunning != status, tr("Image matting timed out."));
    return QString(); // an unknown status: the download of no address fails below
}

QMattingClient::Cutout QMattingClient::download(const QString& resultUrl) const
{
    HRequest request;
    request.setUrl(resultUrl);
    request.setHttpType(0);
    request.setResultType(1);
    Cutout cutout;
    checkRequest(request, request.exec(cutout.png), cutout.png);
    cutout.image = QImageFiles::decode(cutout.png);
    U_CHECK(!cutout.image.empty(), tr("The cut-out sent by the matting service is not a readable image."));
    return cutout;
}

QString QMattingClient::taskEndpoint() const
{
    return m_serviceUrl + key(proto::kTaskPath);
}

void QMattingClient::cancelJob(const QString& serial) const
{
    HRequest request;
    request.setUrl(taskEndpoint());
    request.setHttpType(HRequest::Delete);
    request.setResultType(HRequest::Body);
    request.appendParam(key(proto::kMac), m_mac);
    request.appendParam(key(proto::kSerial), serial);
    QByteArray bytes;
    const int ret = request.exec(bytes);
    // A service that cannot cancel (404, 405) just runs the job to its end; the user
    // asked to stop, so no failure of this request is theirs to read.
    if (ret != OK && ret != HRequest::HttpErrorBase + 404 && ret != HRequest::HttpErrorBase + 405)
        BRISEL_LOG(1, QStringLiteral("cancelling job %1: %2").arg(serial, HRequest::getCurlErrMsg(ret)));
}
