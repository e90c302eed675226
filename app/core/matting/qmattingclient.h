#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <opencv2/core.hpp>

#include <atomic>
#include <string>

// What the photo shows; the service treats each differently.
enum MattingType
{
    Person = 0,
    Goods = 1,
    Card = 2
};

// One exchange with the matting service for one photo: uploads it, polls until the
// job is done (at most kMaxPolls times, pollInterval() apart) and downloads the
// cut-out. Knows nothing of caches or previews; what to do with the result is the
// caller's business.
//
// Threads: matte() blocks for the whole exchange, so call it on a pool worker. An
// object serves one caller at a time; the poll interval is shared by all.
class QMattingClient
{
    Q_DECLARE_TR_FUNCTIONS(QMattingClient)

public:
    // `type` is a MattingType.
    // keepShadow asks the service to leave a product's shadow in the cut-out;
    // fast for its quicker engine (less exact edges).
    QMattingClient(const QString& serviceUrl, const QString& mac, int type, bool keepShadow = false,
                   bool fast = false);

    struct Cutout
    {
        QByteArray png; // as the service sent it
        cv::Mat image;  // its decode, BGRA
    };
    // The cut-out of the photo at `photoPath`, or an empty one with a message for
    // the user in *error (the details go to the log).
    Cutout matte(const QString& photoPath, QString* error);

    // Once *flag is set (from any thread; it must outlive matte()), matte() stops at
    // its next poll, asks the service to drop the job and fails.
    void cancelWhen(const std::atomic<bool>* flag) { m_cancel = flag; }

    // Pause between two polls that found the job still running; 1000 ms unless a
    // test shortens it.
    static void setPollInterval(int ms);
    static int pollInterval();
    static constexpr int kMaxPolls = 120;

private:
    QString createJob(const QString& photoPath) const;
    QString waitForResult(const QString& serial) const;
    Cutout download(const QString& resultUrl) const;
    QString taskEndpoint() const;
    void cancelJob(const QString& serial) const;

    QString m_serviceUrl;
    QString m_mac;
    std::string m_mode; // the protocol's mode value for the photo type
    bool m_keepShadow = false;
    bool m_fast = false;
    const std::atomic<bool>* m_cancel = nullptr;
};
