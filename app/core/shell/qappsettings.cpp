#include "qappsettings.h"

#include "csetting.h"

namespace {

const QString kOutput = QStringLiteral("output");
const QString kEditor = QStringLiteral("editor");
const QString kRefineAfterStroke = QStringLiteral("refine_after_stroke");

} // namespace

QString QAppSettings::language()
{
    return CSetting::getString(QStringLiteral("language"), QStringLiteral("type"), QStringLiteral("zh"));
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

bool QAppSettings::refineAfterStroke()
{
    return CSetting::getInt(kEditor, kRefineAfterStroke) != 0;
}

void QAppSettings::setRefineAfterStroke(bool on)
{
    CSetting::setValue(kEditor, kRefineAfterStroke, on);
}
