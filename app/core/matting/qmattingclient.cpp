#include "qmattingclient.h"

#include "hrequest.h"
#include "json.h"
#include "logger.h"
#include "mattingprotocol.h"
#include "qhttpclient.h"
#include "qimagefiles.h"
#include "uexception.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <curl/curl.h>

#include <atomic>

namespace proto = mattingprotocol;

namespace {

// Result code of the platform request object.
constexpr int OK = 0;

// The creation reply is a few hundred bytes of JSON; anything far larger is not
// the service talking.
constexpr qint64 kMaxReplyBytes = 1 << 20;

constexpr long kConnectTimeoutMs = 10000;
constexpr long kStallSeconds = 60;

std::atomic<int> g_pollIntervalMs{1000};

QString key(const char* name)
{
    return QString::fromLatin1(name);
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
    U_CHECK(reader.parse(bytes, val), QMattingClient::tr("The data parse for json failed!"));
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
void checkRequest(int iRet, const QByteArray& body)
{
    if (iRet > HRequest::HttpErrorBase) {
        Json::Value val;
        if (Json::Reader().parse(body, val) && !val[proto::kMessage].asQString().isEmpty())
            parseReply(body);
    }
    U_CHECK(OK == iRet, HRequest::getCurlErrMsg(iRet));
}

} // namespace

QMattingClient::QMattingClient(const QString& serviceUrl, const QString& mac, int type)
    : m_serviceUrl(serviceUrl), m_mac(mac), m_isBody(type != Goods)
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
    const QString url =
        m_serviceUrl + QString::fromStdString(proto::createTarget(m_mac.toStdString(), m_isBody));

    QHttpClient::Instance()->start(0); // libcurl's global state, if nobody set it up yet
    UploadHandles handles;
    U_CHECK(QFile::exists(photoPath), tr("The file is not exists!"));
    CURL* curl = handles.curl;
    U_CHECK(curl != nullptr, tr("init curl failed!"));

    QFile photo(photoPath);
    U_CHECK(photo.open(QIODevice::ReadOnly), tr("The photo cannot be read: %1").arg(photo.errorString()));

    const QByteArray urlBytes = url.toUtf8();
    const QByteArray caBundle = QFile::encodeName(HRequest::caBundlePath());
    const QByteArray baseName = QFileInfo(photoPath).fileName().toUtf8();
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
    curl_mime_name(part, proto::kFileField);
    curl_mime_filename(part, baseName.constData());
    curl_mime_data_cb(part, photo.size(), readPhoto, seekPhoto, nullptr, &photo);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, handles.form);

    QByteArray bytes;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &bytes);

    const CURLcode ret = curl_easy_perform(curl);
    U_CHECK(ret == CURLE_OK, tr("File upload failed: %1").arg(int(ret)));

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
        checkRequest(request.exec(bytes), bytes);
        const Json::Value data = parseReply(bytes)[proto::kData];
        status = data[proto::kStatus].asInt();
        U_CHECK(proto::kStatusFailed != status, tr("Image matting failed!"));
        if (status == proto::kStatusDone)
            return data[proto::kConvertPath].asQString();
        if (attempt < kMaxPolls)
            QThread::msleep(ulong(pollInterval()));
    }
    U_CHECK(proto::kStatusRunning != status, tr("Image matting timeout!"));
    return QString(); // an unknown status: the download of no address fails below
}

QMattingClient::Cutout QMattingClient::download(const QString& resultUrl) const
{
    HRequest request;
    request.setUrl(resultUrl);
    request.setHttpType(0);
    request.setResultType(1);
    Cutout cutout;
    checkRequest(request.exec(cutout.png), cutout.png);
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
