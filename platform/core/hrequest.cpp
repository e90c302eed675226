#include "hrequest.h"

#include "cglobal.h"
#include "logger.h"
#include "qhttpclient.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

std::atomic<int> g_connectMs{10000};
std::atomic<int> g_stallMs{60000};
std::atomic<qint64> g_bodyLimit{qint64(256) * 1024 * 1024};
std::mutex g_caMutex;
QString g_caPath; // empty: the bundle beside the program

// State shared with libcurl's callbacks during one exec().
struct Transfer
{
    QByteArray body;
    QByteArray headers;
    bool keepBody = true;
    qint64 limit = 0;
    bool tooLarge = false;

    int stallMs = 0;
    QElapsedTimer sinceLastByte;
    curl_off_t lastMoved = -1;
    bool stalled = false;
};

bool appendCapped(Transfer* t, QByteArray& target, const char* data, size_t bytes)
{
    if (target.size() + qint64(bytes) > t->limit) {
        t->tooLarge = true;
        return false;
    }
    target.append(data, int(bytes));
    return true;
}

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (!t->keepBody)
        return bytes;
    return appendCapped(t, t->body, data, bytes) ? bytes : 0;
}

size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    return appendCapped(t, t->headers, data, bytes) ? bytes : 0;
}

// libcurl's own low-speed limit counts whole seconds; this counts milliseconds and
// covers the wait for the first byte too (a server that accepts and then sleeps).
int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
{
    auto* t = static_cast<Transfer*>(user);
    const curl_off_t moved = downloaded + uploaded;
    if (moved != t->lastMoved) {
        t->lastMoved = moved;
        t->sinceLastByte.restart();
        return 0;
    }
    if (t->sinceLastByte.elapsed() > t->stallMs) {
        t->stalled = true;
        return 1;
    }
    return 0;
}

QByteArray encodeParams(const QList<QPair<QString, QString>>& params)
{
    QByteArray query;
    for (const auto& param : params) {
        if (!query.isEmpty())
            query += '&';
        query += QUrl::toPercentEncoding(param.first) + '=' + QUrl::toPercentEncoding(param.second);
    }
    return query;
}

struct CurlDeleter
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct MimeDeleter
{
    void operator()(curl_mime* form) const { curl_mime_free(form); }
};

size_t readUpload(char* buffer, size_t size, size_t count, void* user)
{
    const qint64 read = static_cast<QFile*>(user)->read(buffer, qint64(size * count));
    return read < 0 ? CURL_READFUNC_ABORT : size_t(read);
}

int seekUpload(void* user, curl_off_t offset, int origin)
{
    auto* file = static_cast<QFile*>(user);
    return origin == SEEK_SET && file->seek(offset) ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
}

// Seconds or an HTTP date, as RFC 9110 allows; the last answer's header wins
// (the headers of every answer of a redirect chain are in `headers`).
int parseRetryAfter(const QByteArray& headers)
{
    int seconds = -1;
    for (const QByteArray& line : headers.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon < 0)
            continue;
        if (line.startsWith("HTTP/"))
            seconds = -1;
        if (line.left(colon).trimmed().toLower() != "retry-after")
            continue;
        const QByteArray value = line.mid(colon + 1).trimmed();
        bool number = false;
        const int n = value.toInt(&number);
        if (number && n >= 0) {
            seconds = n;
            continue;
        }
        const QDateTime when = QDateTime::fromString(QString::fromLatin1(value), Qt::RFC2822Date);
        if (when.isValid())
            seconds = int(qMax<qint64>(0, QDateTime::currentDateTimeUtc().secsTo(when)));
    }
    return seconds;
}

bool isLoopback(const QString& host)
{
    return host == QLatin1String("localhost") || host.startsWith(QLatin1String("127.")) ||
           host == QLatin1String("::1");
}

} // namespace

HRequest::HRequest(QObject* parent) : QObject(parent) {}

void HRequest::setUrl(const QString& url)
{
    m_url = url.trimmed();
}

void HRequest::setHttpType(int type)
{
    m_httpType = type == Post || type == Delete ? type : Get;
}

void HRequest::setResultType(int type)
{
    m_resultType = type == Headers ? Headers : Body;
}

void HRequest::setUpload(const QString& field, const QString& path)
{
    m_uploadField = field;
    m_uploadPath = path;
}

void HRequest::appendParam(const QString& key, const QString& value)
{
    m_params.append({key, value});
}

QString HRequest::fullUrl() const
{
    if (m_params.isEmpty() || (m_httpType == Post && m_uploadPath.isEmpty()))
        return m_url;
    // The query goes before a fragment, joined to any query the address already has.
    QString base = m_url;
    QString fragment;
    const int hash = base.indexOf('#');
    if (hash >= 0) {
        fragment = base.mid(hash);
        base.truncate(hash);
    }
    // An address that already ends in "?" or "&" needs no joiner of its own.
    QString joiner;
    if (!base.contains('?'))
        joiner = QStringLiteral("?");
    else if (!base.endsWith('?') && !base.endsWith('&'))
        joiner = QStringLiteral("&");
    return base + joiner + QString::fromLatin1(encodeParams(m_params)) + fragment;
}

int HRequest::exec(QByteArray& result)
{
    result.clear();
    m_status = 0;
    m_retryAfter = -1;

    const QString url = fullUrl();
    const QString scheme = QUrl(url).scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        BRISEL_LOG(1, QStringLiteral("refused request to %1: only http and https").arg(url));
        return CURLE_UNSUPPORTED_PROTOCOL;
    }

    QFile upload(m_uploadPath);
    if (!m_uploadPath.isEmpty() && !upload.open(QIODevice::ReadOnly)) {
        BRISEL_LOG(1, QStringLiteral("cannot upload %1: %2").arg(m_uploadPath, upload.errorString()));
        return CURLE_READ_ERROR;
    }

    QHttpClient::Instance()->start(0);
    // Declared first so that it is freed last: the handle points at the form until
    // it is cleaned up.
    std::unique_ptr<curl_mime, MimeDeleter> mime;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        return CURLE_FAILED_INIT;
    CURL* h = curl.get();

    Transfer transfer;
    transfer.keepBody = m_resultType == Body;
    transfer.limit = g_bodyLimit;
    transfer.stallMs = g_stallMs;
    transfer.sinceLastByte.start();

    // Addresses from a service may carry spaces or Chinese in their path; libcurl
    // takes only encoded ones. Already-encoded parts are left as they are.
    const QByteArray urlBytes = QUrl(url, QUrl::TolerantMode).toEncoded();
    const QByteArray form = encodeParams(m_params);
    const QString caPath = caBundlePath();
    const QByteArray caBytes = QFile::encodeName(caPath);
    const QByteArray userAgent = QByteArrayLiteral("Brisel/" BRISEL_VERSION);
    const QByteArray uploadField = m_uploadField.toUtf8();
    const QByteArray uploadName = QFileInfo(m_uploadPath).fileName().toUtf8();

    curl_easy_setopt(h, CURLOPT_URL, urlBytes.constData());
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(h, CURLOPT_PROTOCOLS, long(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS, long(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L); // worker threads: no SIGALRM for DNS time-outs
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.constData());
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, ""); // the cap applies to decoded bytes
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(g_connectMs));
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(transfer.limit));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    // Without the bundle beside the program libcurl's built-in system store is
    // used; verification stays on either way.
    if (QFileInfo::exists(caPath))
        curl_easy_setopt(h, CURLOPT_CAINFO, caBytes.constData());
    else if (scheme == QLatin1String("https"))
        BRISEL_LOG(2, QStringLiteral("no certificate bundle at %1; using the system store").arg(caPath));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    if (upload.isOpen()) {
        mime.reset(curl_mime_init(h));
        curl_mimepart* part = curl_mime_addpart(mime.get());
        curl_mime_name(part, uploadField.constData());
        curl_mime_filename(part, uploadName.constData());
        curl_mime_data_cb(part, upload.size(), readUpload, seekUpload, nullptr, &upload);
        curl_easy_setopt(h, CURLOPT_MIMEPOST, mime.get());
    } else if (m_httpType == Post) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, long(form.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, form.constData());
    } else if (m_httpType == Delete) {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "DELETE");
    } else if (m_resultType == Headers) {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    }

    CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    m_status = int(status);
    m_retryAfter = parseRetryAfter(transfer.headers);

    if (transfer.tooLarge)
        code = CURLE_FILESIZE_EXCEEDED;
    else if (transfer.stalled)
        code = CURLE_OPERATION_TIMEDOUT;

    int outcome = int(code);
    if (code == CURLE_OK && status >= 400)
        outcome = HttpErrorBase + int(status);
    if (outcome != 0) {
        BRISEL_LOG(1, QStringLiteral("request %1 failed: %2").arg(m_url, getCurlErrMsg(outcome, m_url)));
        if (outcome > HttpErrorBase && transfer.keepBody)
            result = transfer.body;
        return outcome;
    }
    result = transfer.keepBody ? transfer.body : transfer.headers;
    return 0;
}

QString HRequest::getCurlErrMsg(int code, const QString& url)
{
    const QUrl address(url);
    const QString host = address.host();
    const QString place = address.port() > 0 ? QStringLiteral("%1:%2").arg(host).arg(address.port()) : host;
    if (code > HttpErrorBase) {
        const int status = code - HttpErrorBase;
        if (status >= 500)
            return tr("The server answered with HTTP status %1; the service is having trouble, "
                      "please try again later.")
                .arg(status);
        return tr("The server answered with HTTP status %1.").arg(status);
    }
    switch (code) {
    case CURLE_OK:
        return tr("No error.");
    case CURLE_UNSUPPORTED_PROTOCOL:
        return tr("Only http and https addresses can be requested.");
    case CURLE_URL_MALFORMAT:
        return tr("The web address is not valid.");
    case CURLE_COULDNT_RESOLVE_HOST:
        if (!host.isEmpty())
            return tr("The server name %1 was not found. Please check the address and the network "
                      "connection.")
                .arg(host);
        return tr("The server name was not found. Please check the address and the network connection.");
    case CURLE_COULDNT_RESOLVE_PROXY:
        return tr("The proxy server's name was not found. Please check the proxy settings.");
    case CURLE_COULDNT_CONNECT:
        // On this computer a refusal means the service is not running, not that
        // the network is down.
        if (isLoopback(host))
            return tr("The matting service on this computer is not running (nothing answers at %1).")
                .arg(place);
        if (!host.isEmpty())
            return tr("The connection to %1 was refused: the server is down or a firewall blocks it.")
                .arg(place);
        return tr("The connection to the server was refused: it is down or a firewall blocks it.");
    case CURLE_OPERATION_TIMEDOUT:
        return tr("The server did not answer in time. Please try again later.");
    case CURLE_PEER_FAILED_VERIFICATION:
        return tr("The server's certificate is not trusted (self-signed, expired or issued for another "
                  "name), so the connection was refused.");
    case CURLE_READ_ERROR:
        return tr("The file to upload could not be read.");
    case CURLE_SSL_CACERT_BADFILE:
        return tr("The certificate bundle %1 could not be read.").arg(caBundlePath());
    case CURLE_SSL_CONNECT_ERROR:
        return tr("A secure connection to the server could not be made.");
    case CURLE_FILESIZE_EXCEEDED: {
        const qint64 limit = bodyLimit();
        const qint64 mb = 1024 * 1024;
        const QString size = limit % mb == 0 ? tr("%1 MB").arg(limit / mb) : tr("%1 bytes").arg(limit);
        return tr("The server's answer is larger than %1 and was refused.").arg(size);
    }
    case CURLE_TOO_MANY_REDIRECTS:
        return tr("The server redirected the request too many times.");
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
        return tr("The connection to the server was interrupted. Please try again.");
    default:
        return tr("Network error %1: %2.")
            .arg(code)
            .arg(QString::fromUtf8(curl_easy_strerror(CURLcode(code))));
    }
}

void HRequest::setTimeouts(int connectMs, int stallMs)
{
    g_connectMs = qMax(1, connectMs);
    g_stallMs = qMax(1, stallMs);
}

void HRequest::setCaBundlePath(const QString& path)
{
    std::lock_guard<std::mutex> lock(g_caMutex);
    g_caPath = path;
}

QString HRequest::caBundlePath()
{
    std::lock_guard<std::mutex> lock(g_caMutex);
    if (!g_caPath.isEmpty())
        return g_caPath;
    // A build folder carries the bundle; an installed program has the user's.
    const QString beside = CGlobal::getAppPath() + QStringLiteral("cacert.pem");
    return QFileInfo::exists(beside) ? beside : CGlobal::getTlsPath() + QStringLiteral("cacert.pem");
}

void HRequest::setBodyLimit(qint64 bytes)
{
    g_bodyLimit = qMax<qint64>(1, bytes);
}

qint64 HRequest::bodyLimit()
{
    return g_bodyLimit;
}
