#include "quser.h"

#include "csetting.h"
#include "logger.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>

namespace {

QString md5Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QByteArray readTrimmed(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(4096).trimmed();
}

// First interface (by name, so the choice does not depend on enumeration order)
// with a real hardware address: not loopback, not all zeros.
QByteArray firstHardwareAddress(const QString& netClassFolder)
{
    static const QRegularExpression macPattern(QStringLiteral("^[0-9a-f]{2}(:[0-9a-f]{2}){5}$"));
    QDir net(netClassFolder);
    const QStringList names = net.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (name == QLatin1String("lo"))
            continue;
        const QByteArray address = readTrimmed(net.filePath(name + "/address")).toLower();
        if (macPattern.match(QString::fromLatin1(address)).hasMatch() && address != "00:00:00:00:00:00")
            return address;
    }
    return {};
}

} // namespace

QVexProduct::QVexProduct(int type, const QString& id, const QString& name, const QString& version)
    : type(type), id(id), name(name), version(version)
{
}

QUser* QUser::Instance()
{
    static QUser user;
    return &user;
}

void QUser::setProduct(const QVexProduct& product)
{
    QMutexLocker lock(&m_mutex);
    m_product = product;
}

QVexProduct QUser::product() const
{
    QMutexLocker lock(&m_mutex);
    return m_product;
}

void QUser::httpOnline(void*, void*)
{
    const QVexProduct current = product();
    BRISEL_LOG(1, QStringLiteral("session of %1 %2 (%3, type %4); no account server in this build")
                      .arg(current.name, current.version, current.id)
                      .arg(current.type));
}

QString QUser::getMacCode()
{
    QMutexLocker lock(&m_mutex);
    if (m_macCode.isEmpty())
        m_macCode = computeMacCode(QStringLiteral("/etc/machine-id"), QStringLiteral("/sys/class/net"));
    return m_macCode;
}

QString QUser::computeMacCode(const QString& machineIdFile, const QString& netClassFolder)
{
    const QByteArray machineId = readTrimmed(machineIdFile);
    if (!machineId.isEmpty())
        return md5Hex(machineId);
    const QByteArray address = firstHardwareAddress(netClassFolder);
    if (!address.isEmpty())
        return md5Hex(address);

    QString stored = CSetting::getString(QStringLiteral("user"), QStringLiteral("machine"));
    if (stored.isEmpty()) {
        stored = QUuid::createUuid().toString(QUuid::WithoutBraces);
        CSetting::setValue(QStringLiteral("user"), QStringLiteral("machine"), stored);
        BRISEL_LOG(1, QStringLiteral("no machine id or network address; made a random machine code"));
    }
    return md5Hex(stored.toUtf8());
}
