#include "qhttpclient.h"

#include "logger.h"

#include <curl/curl.h>

QHttpClient* QHttpClient::Instance()
{
    static QHttpClient client;
    return &client;
}

bool QHttpClient::start(int threads)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (threads > 0)
        m_threads = threads;
    if (m_started)
        return true;
    const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (code != CURLE_OK) {
        BRISEL_LOG(
            1,
            QStringLiteral("libcurl failed to start: %1").arg(QString::fromUtf8(curl_easy_strerror(code))));
        return false;
    }
    m_started = true;
    return true;
}

void QHttpClient::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_started)
        return;
    curl_global_cleanup();
    m_started = false;
}

bool QHttpClient::isStarted() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_started;
}

int QHttpClient::threadCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_threads;
}
