#include "qappsettings.h"

#include "csetting.h"

namespace {

const QString kOutput = QStringLiteral("output");
const QString kEditor = QStringLiteral("editor");
const QString kRefineAfterStroke = QStringLiteral("refine_after_stroke");
const QString kBatch = QStringLiteral("batch");
const QString kFast = QStringLiteral("fast");

} // namespace

QString QAppSettings::language()
{
    return CSetting::getString(QStringLiteral("language"), QStringLiteral("type"), QStringLiteral("zh"));
}

SaveFormat QAppSettings::outputFormat()
{
    // The store hands booleans back as "true"/"false", which a plain integer read
    // would take for garbage and turn into PNG.
    const QString value = CSetting::getString(kOutput, QStringLiteral("format")).trimmed().toLower();
    if (value == QLatin1String("webp"))
        return SaveFormat::Webp;
    if (value == QLatin1String("true"))
        return SaveFormat::Jpg;
    bool isNumber = false;
    const int number = value.toInt(&isNumber);
    return isNumber && number != 0 ? SaveFormat::Jpg : SaveFormat::Png;
}

void QAppSettings::setOutputFormat(SaveFormat format)
{
    // PNG and JPG stay booleans, so an older version reads them as it always did.
    const QVariant value =
        format == SaveFormat::Webp ? QVariant(QStringLiteral("webp")) : QVariant(format == SaveFormat::Jpg);
    CSetting::setValue(kOutput, QStringLiteral("format"), value);
}

bool QAppSettings::keepLocationAndSerials()
{
    return CSetting::getString(kOutput, QStringLiteral("private")).trimmed().toLower() ==
           QLatin1String("true");
}

void QAppSettings::setKeepLocationAndSerials(bool keep)
{
    CSetting::setValue(kOutput, QStringLiteral("private"), keep);
}

bool QAppSettings::refineAfterStroke()
{
    return CSetting::getInt(kEditor, kRefineAfterStroke) != 0;
}

void QAppSettings::setRefineAfterStroke(bool on)
{
    CSetting::setValue(kEditor, kRefineAfterStroke, on);
}

bool QAppSettings::batchFast()
{
    return CSetting::getInt(kBatch, kFast) != 0;
}

void QAppSettings::setBatchFast(bool on)
{
    CSetting::setValue(kBatch, kFast, on);
}
