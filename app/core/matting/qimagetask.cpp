#include "qimagetask.h"

#include "cglobal.h"
#include "hrequest.h"
#include "json.h"
#include "logger.h"
#include "qhttpclient.h"
#include "qimagefiles.h"
#include "qservicelauncher.h"
#include "quser.h"
#include "uexception.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <curl/curl.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>

namespace {

// Result codes of the service and of the platform request object.
constexpr int API_OK = 200;
constexpr int OK = 0;

enum MattingStatus
{
    emMattingRunning = 0,
    emMattingFinished = 1,
    emMattingFailed = 2
};

// The creation reply is a few hundred bytes of JSON; anything far larger is not
// the service talking.
constexpr qint64 kMaxReplyBytes = 1 << 20;

constexpr long kConnectTimeoutMs = 10000;
constexpr long kStallSeconds = 60;

std::atomic<int> g_pollIntervalMs{1000};

QString md5Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

size_t appendReply(char* data, size_t size, size_t count, void* userData)
{
    auto* reply = static_cast<QByteArray*>(userData);
    const size_t bytes = size * count;
    if (!data || !reply || reply->size() + qint64(bytes) > kMaxReplyBytes)
        return 0; // anything but `bytes` makes libcurl abort with a write error
    reply->append(data, int(bytes));
    return bytes;
}

// The photo is streamed from a QFile rather than opened by libcurl from a path, so
// names outside the local code page work on every platform.
size_t readPhoto(char* buffer, size_t size, size_t count, void* userData)
{
    const qint64 read = static_cast<QFile*>(userData)->read(buffer, qint64(size * count));
    return read < 0 ? CURL_READFUNC_ABORT : size_t(read);
}

int seekPhoto(void* userData, curl_off_t offset, int origin)
{
    auto* photo = static_cast<QFile*>(userData);
    return origin == SEEK_SET && photo->seek(offset) ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
}

// The upload's easy handle and its form, released in the order libcurl needs (the
// handle points at the form until it is cleaned up), however the upload ends.
struct UploadHandles
{
    CURL* curl = curl_easy_init();
    curl_mime* form = nullptr;

    UploadHandles() = default;
    UploadHandles(const UploadHandles&) = delete;
    UploadHandles& operator=(const UploadHandles&) = delete;
    ~UploadHandles()
    {
        curl_easy_cleanup(curl);
        curl_mime_free(form);
    }
};

// Checks a service reply: JSON with code 200, else the service's own message.
Json::Value parseReply(const QByteArray& bytes)
{
    Json::Reader reader;
    Json::Value val;
    U_CHECK(reader.parse(bytes, val), QImageTask::tr("The data parse for json failed!"));
    const int code = val["code"].asInt();
    QString message = val["message"].asQString();
    if (message.isEmpty())
        message = QImageTask::tr("The matting service refused the request (code %1).").arg(code);
    U_CHECK(API_OK == code, message);
    return val;
}

// A request the service turned down with an HTTP error status: when the answer's
// body carries the service's own explanation, that is what the user reads
// instead of the bare status.
void checkRequest(int iRet, const QByteArray& body)
{
    if (iRet > HRequest::HttpErrorBase) {
        Json::Value val;
        if (Json::Reader().parse(body, val) && !val["message"].asQString().isEmpty())
            parseReply(body);
    }
    U_CHECK(OK == iRet, HRequest::getCurlErrMsg(iRet));
}

// The cut-out stored in a cache file: false when the file cannot be opened,
// otherwise true with `image` empty when its bytes do not decode.
bool readCacheFile(const QString& path, cv::Mat* image)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *image = QImageFiles::decode(file.readAll());
    return true;
}

} // namespace

QImageTask::QImageTask(int type, const QString& filePath, QObject* parent)
    : QObject(parent), m_filePath(filePath), m_type(type),
      m_id(md5Hex(filePath.toUtf8() + QByteArray::number(QDateTime::currentSecsSinceEpoch()))),
      m_serviceUrl(QServiceLauncher::serviceUrl())
{
}

QString QImageTask::cacheFilePath(const QString& photoPath)
{
    const QFileInfo info(photoPath);
    const QString key = QStringLiteral("%1-%2-%3")
                            .arg(photoPath)
                            .arg(info.size())
                            .arg(info.lastModified().toSecsSinceEpoch());
    return CGlobal::getAppDataPath() + QStringLiteral("cache") + QDir::separator() + md5Hex(key.toUtf8()) +
           QStringLiteral(".png");
}

void QImageTask::setPollInterval(int ms)
{
    g_pollIntervalMs = qMax(0, ms);
}

int QImageTask::pollInterval()
{
    return g_pollIntervalMs;
}

void QImageTask::run()
{
    try {
        const QString cachePath = cacheFilePath(m_filePath);
        if (!loadFromCache(cachePath)) {
            const QString mac = QUser::Instance()->getMacCode();
            const QString serial = createJob(mac);
            const QByteArray png = download(waitForResult(mac, serial));
            // A cache that cannot be written only costs the next run an upload.
            QString error;
            if (QDir().mkpath(QFileInfo(cachePath).path()) &&
                QImageFiles::writeAtomically(cachePath, png, &error))
                rememberCacheEntry(cachePath);
            else
                BRISEL_LOG(1, QStringLiteral("cut-out not cached at %1: %2").arg(cachePath, error));
        }
        if (m_previewSide > 0)
            makePreview();
        emit signal_success(m_id);
    } catch (const UException& e) {
        BRISEL_LOG(1, QString::fromStdWString(e.description()));
        emit signal_error(QString::fromStdWString(e.message()));
    } catch (const std::exception& e) {
        // Out of memory while decoding a huge cut-out, an OpenCV assertion: the
        // task still ends with exactly one signal.
        BRISEL_LOG(1, QStringLiteral("matting %1: %2").arg(m_filePath, QString::fromLocal8Bit(e.what())));
        emit signal_error(tr("Image matting failed: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

bool QImageTask::loadFromCache(const QString& cachePath)
{
    cv::Mat image;
    if (!readCacheFile(cachePath, &image))
        return false;
    if (image.empty()) {
        // A damaged entry (disk full, a crash of an older version) is dropped and
        // the photo matted again rather than reported as an empty success.
        BRISEL_LOG(1, QStringLiteral("dropping undecodable cache entry %1").arg(cachePath));
        QFile::remove(cachePath);
        return false;
    }
    setCutout(image);
    rememberCacheEntry(cachePath);
    return true;
}

QString QImageTask::createJob(const QString& mac)
{
    const QString url =
        QStringLiteral("%1mac=%2&is_body=%3").arg(taskEndpoint(), mac).arg(m_type == Goods ? 0 : 1);

    QHttpClient::Instance()->start(0); // libcurl's global state, if nobody set it up yet
    UploadHandles handles;
    const QString filePath = m_filePath;
    U_CHECK(QFile::exists(filePath), tr("The file is not exists!"));
    CURL* curl = handles.curl;
    U_CHECK(curl != nullptr, tr("init curl failed!"));

    QFile photo(filePath);
    U_CHECK(photo.open(QIODevice::ReadOnly), tr("The photo cannot be read: %1").arg(photo.errorString()));

    const QByteArray urlBytes = url.toUtf8();
    const QByteArray caBundle = QFile::encodeName(HRequest::caBundlePath());
    const QByteArray baseName = QFileInfo(filePath).fileName().toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // As for every other request: without the bundle beside the program libcurl's
    // own system store is used, and verification stays on either way.
    if (QFileInfo::exists(HRequest::caBundlePath()))
        curl_easy_setopt(curl, CURLOPT_CAINFO, caBundle.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // HRequest's default limits: connecting is bounded and a transfer that moves
    // nothing for the stall time is given up, so an upload never hangs a worker.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);

    handles.form = curl_mime_init(curl);
    curl_mimepart* part = curl_mime_addpart(handles.form);
    curl_mime_name(part, "file");
    curl_mime_filename(part, baseName.constData());
    curl_mime_data_cb(part, photo.size(), readPhoto, seekPhoto, nullptr, &photo);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, handles.form);

    QByteArray bytes;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &bytes);

    const CURLcode ret = curl_easy_perform(curl);
    U_CHECK(ret == CURLE_OK, tr("File upload failed: %1").arg(int(ret)));

    return parseReply(bytes)["data"]["serial"].asQString();
}

QString QImageTask::waitForResult(const QString& mac, const QString& serial)
{
    // The request object joins its parameters with "?" or "&" itself.
    QString endpoint = taskEndpoint();
    endpoint.chop(1);
    HRequest request;
    request.setUrl(endpoint);
    request.setHttpType(0);
    request.setResultType(1);
    request.appendParam(QStringLiteral("mac"), mac);
    request.appendParam(QStringLiteral("serial"), serial);

    int status = emMattingRunning;
    for (int attempt = 1; attempt <= kMaxPolls; ++attempt) {
        QByteArray bytes;
        checkRequest(request.exec(bytes), bytes);
        const Json::Value data = parseReply(bytes)["data"];
        status = data["status"].asInt();
        U_CHECK(emMattingFailed != status, tr("Image matting failed!"));
        if (status == emMattingFinished)
            return data["convert_path"].asQString();
        if (attempt < kMaxPolls)
            QThread::msleep(ulong(pollInterval()));
    }
    U_CHECK(emMattingRunning != status, tr("Image matting timeout!"));
    return QString(); // an unknown status: the download of no address fails below
}

QByteArray QImageTask::download(const QString& resultUrl)
{
    HRequest request;
    request.setUrl(resultUrl);
    request.setHttpType(0);
    request.setResultType(1);
    QByteArray bytes;
    checkRequest(request.exec(bytes), bytes);
    const cv::Mat image = QImageFiles::decode(bytes);
    U_CHECK(!image.empty(), tr("The cut-out sent by the matting service is not a readable image."));
    setCutout(image);
    return bytes;
}

void QImageTask::setCutout(const cv::Mat& image)
{
    const QMutexLocker lock(&m_mutex);
    m_cutout = image;
    m_sourceSize = QSize(image.cols, image.rows);
}

void QImageTask::rememberCacheEntry(const QString& cachePath)
{
    const QMutexLocker lock(&m_mutex);
    m_cachePath = cachePath;
}

cv::Mat QImageTask::previewOf(const cv::Mat& cutout, int side)
{
    const int longest = std::max(cutout.cols, cutout.rows);
    if (longest <= side)
        return cutout.clone();
    const double scale = double(side) / longest;
    cv::Mat small;
    cv::resize(cutout, small, cv::Size(), scale, scale, cv::INTER_AREA);
    return small;
}

void QImageTask::makePreview()
{
    const cv::Mat small = previewOf(cutout(), m_previewSide);
    {
        const QMutexLocker lock(&m_mutex);
        m_preview = small;
    }
    releaseCutout();
}

cv::Mat QImageTask::preview() const
{
    const QMutexLocker lock(&m_mutex);
    return m_preview;
}

cv::Mat QImageTask::cutout() const
{
    const QMutexLocker lock(&m_mutex);
    return m_cutout;
}

bool QImageTask::releaseCutout()
{
    const QMutexLocker lock(&m_mutex);
    if (m_cutout.empty() || m_cachePath.isEmpty())
        return false;
    m_cutout.release();
    m_released = true;
    return true;
}

bool QImageTask::isCutoutReleased() const
{
    const QMutexLocker lock(&m_mutex);
    return m_released;
}

cv::Mat QImageTask::loadCutout(QString* error) const
{
    QString cachePath;
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_released)
            return m_cutout;
        cachePath = m_cachePath;
    }
    // Read outside the lock: a decode of megabytes must not hold up cutout().
    cv::Mat image;
    readCacheFile(cachePath, &image);
    const bool sameSize = image.cols == m_sourceSize.width() && image.rows == m_sourceSize.height();
    if (image.empty() || !sameSize) {
        BRISEL_LOG(1, QStringLiteral("cut-out of %1 not readable from %2").arg(m_filePath, cachePath));
        if (error)
            *error = tr("The result of %1 is no longer in the cache; the photo has to be matted again.")
                         .arg(QFileInfo(m_filePath).fileName());
        return cv::Mat();
    }
    return image;
}

QString QImageTask::taskEndpoint() const
{
    return m_serviceUrl + QStringLiteral("/api/v2/task?");
}
