#include "json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>

#include <climits>
#include <cmath>

namespace Json {

Value Value::operator[](const char* key) const
{
    return (*this)[QString::fromUtf8(key)];
}

Value Value::operator[](const QString& key) const
{
    if (!m_value.isObject())
        return Value();
    return Value(m_value.toObject().value(key));
}

Value Value::operator[](int index) const
{
    if (!m_value.isArray())
        return Value();
    const QJsonArray array = m_value.toArray();
    if (index < 0 || index >= array.size())
        return Value();
    return Value(array.at(index));
}

bool Value::isNull() const
{
    return m_value.isNull() || m_value.isUndefined();
}

bool Value::isMember(const char* key) const
{
    return m_value.isObject() && m_value.toObject().contains(QString::fromUtf8(key));
}

int Value::size() const
{
    if (m_value.isArray())
        return m_value.toArray().size();
    if (m_value.isObject())
        return m_value.toObject().size();
    return 0;
}

int Value::asInt() const
{
    if (m_value.isBool())
        return m_value.toBool() ? 1 : 0;
    if (!m_value.isDouble())
        return 0;
    const double number = std::trunc(m_value.toDouble());
    if (number < double(INT_MIN) || number > double(INT_MAX))
        return 0;
    return int(number);
}

double Value::asDouble() const
{
    if (m_value.isBool())
        return m_value.toBool() ? 1.0 : 0.0;
    return m_value.isDouble() ? m_value.toDouble() : 0.0;
}

bool Value::asBool() const
{
    if (m_value.isBool())
        return m_value.toBool();
    return m_value.isDouble() && m_value.toDouble() != 0.0;
}

QString Value::asQString() const
{
    if (m_value.isString())
        return m_value.toString();
    if (m_value.isDouble())
        return QString::number(m_value.toDouble(), 'g', QLocale::FloatingPointShortest);
    return QString();
}

bool Reader::parse(const QByteArray& document, Value& root, bool)
{
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(document, &error);
    if (error.error != QJsonParseError::NoError || parsed.isNull()) {
        m_error = QStringLiteral("%1 at offset %2").arg(error.errorString()).arg(error.offset);
        root = Value();
        return false;
    }
    m_error.clear();
    root = parsed.isObject() ? Value(parsed.object()) : Value(parsed.array());
    return true;
}

} // namespace Json
