#pragma once
// The signed-in product and the machine code the matting service knows this
// computer by.

#include <QMutex>
#include <QString>

class QVexProduct
{
public:
    QVexProduct() = default;
    QVexProduct(int type, const QString& id, const QString& name, const QString& version);

    int type = 0;
    QString id;
    QString name;
    QString version;
};

class QUser
{
public:
    static QUser* Instance();

    void setProduct(const QVexProduct& product);
    QVexProduct product() const;

    // Announces the session start. This build talks to no account server, so it
    // only logs; both arguments exist for callers that want a reply and are unused.
    void httpOnline(void* receiver, void* context);

    // 32 lowercase hex characters, stable for this machine: the MD5 of
    // /etc/machine-id, else of the first non-loopback network address, else of a
    // random id kept in the settings. The raw id never leaves this class.
    QString getMacCode();

    // The same code computed from the given machine-id file and network class
    // folder (one sub-folder per interface holding an "address" file).
    static QString computeMacCode(const QString& machineIdFile, const QString& netClassFolder);

private:
    QUser() = default;

    mutable QMutex m_mutex;
    QVexProduct m_product;
    QString m_macCode;
};
