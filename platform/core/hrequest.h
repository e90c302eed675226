#pragma once
// One blocking HTTP(S) request on libcurl. exec() runs on the calling thread with
// its own curl handle, so several worker threads may run requests at once. Only
// http and https are accepted; https peers are verified against a CA bundle file.
// A request never hangs: connecting is limited and a transfer that moves no byte
// for the stall time is aborted. Bodies are capped in size.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class HRequest : public QObject
{
    Q_OBJECT
public:
    enum HttpType
    {
        Get = 0,
        Post = 1,
        Delete = 2
    }; // Post sends the parameters as a form body
    enum ResultType
    {
        Headers = 0,
        Body = 1
    }; // what exec() returns in its argument

    // Result codes beyond libcurl's own: an HTTP status >= 400 is returned as
    // HttpErrorBase + status; other local failures use their libcurl code.
    enum
    {
        HttpErrorBase = 10000
    };

    explicit HRequest(QObject* parent = nullptr);

    void setUrl(const QString& url);
    void setHttpType(int type);
    void setResultType(int type);
    // Query parameters (form fields for Post), URL-encoded and sent in call order.
    void appendParam(const QString& key, const QString& value);

    // Makes exec() a multipart POST of the file at `path` in the part `field`,
    // under its own file name; the parameters then go into the query. The file is
    // streamed through QFile, so names outside the local code page work.
    void setUpload(const QString& field, const QString& path);

    // The full URL a Get or an upload would fetch, parameters included.
    QString fullUrl() const;

    // 0 with the answer in `result`; otherwise an error code for getCurlErrMsg().
    // After an HTTP error status `result` holds the answer's body (a server's own
    // explanation, for callers that can read it); after other failures it is empty.
    int exec(QByteArray& result);
    // HTTP status of the last exec(), 0 when no answer arrived.
    int httpStatus() const { return m_status; }
    // Seconds the last answer's Retry-After asked to wait; -1 without one.
    int retryAfter() const { return m_retryAfter; }

    // A readable sentence for an exec() result, the one table of network failures
    // for the program and the tool. With the request's `url`, a refused connection
    // names the address and tells a local service that is not running from a
    // server that is unreachable.
    static QString getCurlErrMsg(int code, const QString& url = QString());

    // Process-wide limits, read at the start of each exec().
    static void setTimeouts(int connectMs, int stallMs);
    // Default: "cacert.pem" beside the program, else in CGlobal::getTlsPath().
    static void setCaBundlePath(const QString& path);
    static QString caBundlePath();
    static void setBodyLimit(qint64 bytes); // default 256 MB
    static qint64 bodyLimit();

private:
    QString m_url;
    int m_httpType = Get;
    int m_resultType = Body;
    QList<QPair<QString, QString>> m_params;
    QString m_uploadField;
    QString m_uploadPath;
    int m_status = 0;
    int m_retryAfter = -1;
};
