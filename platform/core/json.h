#pragma once
// A small read-only JSON reader over QJsonDocument with the forgiving access the
// callers expect: a missing key, an index out of range or a value of the wrong type
// reads as 0, false or an empty text; nothing throws.

#include <QByteArray>
#include <QJsonValue>
#include <QString>

namespace Json {

class Value
{
public:
    Value() = default;
    explicit Value(const QJsonValue& value) : m_value(value) {}

    // Member of an object; a null value when absent or when this is no object.
    Value operator[](const char* key) const;
    Value operator[](const QString& key) const;
    // Element of an array; a null value when out of range or when this is no array.
    Value operator[](int index) const;

    bool isNull() const; // absent or JSON null
    bool isObject() const { return m_value.isObject(); }
    bool isArray() const { return m_value.isArray(); }
    bool isString() const { return m_value.isString(); }
    bool isNumeric() const { return m_value.isDouble(); }
    bool isMember(const char* key) const;
    int size() const; // elements of an array or members of an object

    // Numbers are truncated toward zero; numbers outside int and non-numbers read 0;
    // true reads 1.
    int asInt() const;
    double asDouble() const;
    bool asBool() const;
    // Strings as they are, numbers as their shortest decimal text, the rest empty.
    QString asQString() const;

    const QJsonValue& raw() const { return m_value; }

private:
    QJsonValue m_value = QJsonValue(QJsonValue::Undefined);
};

class Reader
{
public:
    // Parses a JSON document (object or array). On failure `root` becomes null and
    // the message is kept for getFormattedErrorMessages(). Comments are not JSON and
    // are never accepted; the flag is kept for callers' compatibility.
    bool parse(const QByteArray& document, Value& root, bool collectComments = true);
    QString getFormattedErrorMessages() const { return m_error; }

private:
    QString m_error;
};

} // namespace Json
