#include "hrequest.h"

#include "cglobal.h"
#include "logger.h"
#include "qhttpclient.h"

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

void HRequest::appendParam(const QString& key, const QString& value)
{
    m_params.append({key, value});
}

QString HRequest::fullUrl() const
{
    if (m_params.isEmpty() || m_httpType == Post)
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

    const QString url = fullUrl();
    const QString scheme = QUrl(url).scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        BRISEL_LOG(1, QStringLiteral("refused request to %1: only http and https").arg(url));
        return CURLE_UNSUPPORTED_PROTOCOL;
    }

    QHttpClient::Instance()->start(0);
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
    if (m_httpType == Post) {
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

    if (transfer.tooLarge)
        code = CURLE_FILESIZE_EXCEEDED;
    else if (transfer.stalled)
        code = CURLE_OPERATION_TIMEDOUT;

    int outcome = int(code);
    if (code == CURLE_OK && status >= 400)
        outcome = HttpErrorBase + int(status);
    if (outcome != 0) {
        BRISEL_LOG(1, QStringLiteral("request %1 failed: %2").arg(m_url, getCurlErrMsg(outcome)));
        if (outcome > HttpErrorBase && transfer.keepBody)
            result = transfer.body;
        return outcome;
    }
    result = transfer.keepBody ? transfer.body : transfer.headers;
    return 0;
}

QString HRequest::getCurlErrMsg(int code)
{
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
    case CURLE_COULDNT_RESOLVE_PROXY:
        return tr("The server name could not be found. Please check the network connection.");
    case CURLE_COULDNT_CONNECT:
        return tr("Could not connect to the server. Please check the network connection.");
    case CURLE_OPERATION_TIMEDOUT:
        return tr("The server did not answer in time. Please try again later.");
    case CURLE_PEER_FAILED_VERIFICATION:
        return tr("The server's certificate could not be verified, so the connection was refused.");
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
    return g_caPath.isEmpty() ? CGlobal::getAppPath() + "cacert.pem" : g_caPath;
}

void HRequest::setBodyLimit(qint64 bytes)
{
    g_bodyLimit = qMax<qint64>(1, bytes);
}

qint64 HRequest::bodyLimit()
{
    return g_bodyLimit;
}
