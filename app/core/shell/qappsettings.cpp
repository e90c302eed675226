#include "qappsettings.h"

#include "cglobal.h"
#include "csetting.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kOutput = QStringLiteral("output");
const QString kPath = QStringLiteral("path");
constexpr int kOutputSizeCount = 4;

QString existingFolderOr(const QString& group, const QString& fallback)
{
    const QString folder = CSetting::getString(group, kPath);
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : fallback;
}

} // namespace

QString QAppSettings::language()
{
    return CSetting::getString(QStringLiteral("language"), QStringLiteral("type"), QStringLiteral("zh"));
}

QString QAppSettings::photoFolder()
{
    return existingFolderOr(QStringLiteral("default"), CGlobal::getDesktopPath());
}

void QAppSettings::setPhotoFolder(const QString& folder)
{
    CSetting::setValue(QStringLiteral("default"), kPath, QDir::fromNativeSeparators(folder));
}

QString QAppSettings::templateFolder()
{
    return existingFolderOr(QStringLiteral("template"), CGlobal::getDesktopPath());
}

void QAppSettings::setTemplateFolder(const QString& folder)
{
    CSetting::setValue(QStringLiteral("template"), kPath, QDir::fromNativeSeparators(folder));
}

QString QAppSettings::outputFolder()
{
    const QString folder = CSetting::getString(kOutput, kPath);
    return folder.isEmpty() ? CGlobal::getOutputPath() : folder;
}

void QAppSettings::setOutputFolder(const QString& folder)
{
    CSetting::setValue(kOutput, kPath, QDir::fromNativeSeparators(folder));
}

int QAppSettings::outputSize(int defaultIndex)
{
    const int index = CSetting::getInt(kOutput, QStringLiteral("size"), defaultIndex);
    return index >= 0 && index < kOutputSizeCount ? index : defaultIndex;
}

void QAppSettings::setOutputSize(int index)
{
    CSetting::setValue(kOutput, QStringLiteral("size"), index);
}

bool QAppSettings::outputAsJpg()
{
    // The store hands booleans back as "true"/"false", which a plain integer read
    // would take for garbage and turn into PNG.
    const QString value = CSetting::getString(kOutput, QStringLiteral("format")).trimmed().toLower();
    if (value == QLatin1String("true"))
        return true;
    bool isNumber = false;
    const int number = value.toInt(&isNumber);
    return isNumber && number != 0;
}

void QAppSettings::setOutputAsJpg(bool jpg)
{
    CSetting::setValue(kOutput, QStringLiteral("format"), jpg);
}
