#pragma once

#include <QObject>
#include <QSize>
#include <QString>

#include <opencv2/core.hpp>

// What the photo shows; the service only distinguishes goods from the rest.
enum MattingType
{
    Person = 0,
    Goods = 1,
    Card = 2
};

// One photo turned into a cut-out (BGRA, alpha keeps only the subject): served from
// the local cache when the photo has not changed since it was last matted,
// otherwise uploaded to the matting service, polled until ready and downloaded.
//
// Threads: constructed on the GUI thread (it reads the service address from the
// settings there); run() blocks a pool worker for the whole exchange and emits
// exactly one of the two signals on that worker. Receivers on the GUI thread get
// them queued. Read cutout() and sourceSize() only after signal_success arrived.
// Always owned through std::shared_ptr (see QTaskManager).
class QImageTask : public QObject
{
    Q_OBJECT

public:
    QImageTask(int type, const QString& filePath, QObject* parent = nullptr);

    void run();

    QString id() const { return m_id; }
    QString filePath() const { return m_filePath; }
    int type() const { return m_type; }
    cv::Mat cutout() const { return m_cutout; }
    QSize sourceSize() const { return m_sourceSize; }

    // The cache file for the photo as it is on disk now (its path, size and
    // modification time name the entry).
    static QString cacheFilePath(const QString& photoPath);

    // Pause between two polls that found the job still running; 1000 ms unless a
    // test shortens it.
    static void setPollInterval(int ms);
    static int pollInterval();
    static constexpr int kMaxPolls = 120;

signals:
    void signal_success(const QString& taskId);
    void signal_error(const QString& message);

private:
    bool loadFromCache(const QString& cachePath);
    QString createJob(const QString& mac);
    QString waitForResult(const QString& mac, const QString& serial);
    QByteArray download(const QString& resultUrl);
    void setCutout(const cv::Mat& image);
    QString taskEndpoint() const;

    QString m_filePath;
    int m_type = Person;
    QString m_id;
    cv::Mat m_cutout;
    QSize m_sourceSize{0, 0};
    QString m_serviceUrl;
};
