#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// The channel between the running copy and a second start: the running copy
// listens on a local socket named per user (socketName(), per OS in
// qhandover_<os>.cpp), and a second start sends it one request and ends once the
// running copy has acknowledged it. The acknowledgement comes as soon as the bytes
// are in; what the running copy does with them is its own business.
//
// A socket left behind by a copy that crashed is taken over: the server listens
// again after making sure nobody answers on it.
//
// Threads: the object lives on the GUI thread and emits there; send() blocks its
// caller (the second start has no window yet) and may run on any thread.
class QHandOver : public QObject
{
    Q_OBJECT

public:
    // How long a peer may take to send its whole request before it is dropped.
    static constexpr int kReadTimeoutMs = 5000;

    // The server's address for the program instance name (the single-instance lock's).
    static QString socketName(const QString& instance);

    // Sends payload to the running copy; true once it acknowledged. Tries again
    // while nobody listens yet (a copy still starting) until timeoutMs.
    static bool send(const QString& instance, const QByteArray& payload, int timeoutMs);

    // Starts listening at once. Call only while holding the single-instance lock.
    QHandOver(const QString& instance, QObject* parent = nullptr);
    bool isListening() const;

signals:
    // One request as a second start sent it.
    void signal_received(const QByteArray& payload);

private:
    void accept();
    void read(QLocalSocket* socket);

    QLocalServer* m_server = nullptr;
};
