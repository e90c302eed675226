#include "uexception.h"

#include <QString>

namespace {

// Narrow source texts (expressions, file names) are UTF-8.
std::wstring fromNarrow(const char* text)
{
    if (!text)
        return {};
    return QString::fromUtf8(text).toStdWString();
}

} // namespace

UException::UException(const char* expression, const char* file, int line)
    : m_expression(fromNarrow(expression)), m_file(fromNarrow(file)), m_line(line)
{
}

UException::UException(const char* expression, const std::wstring& message, const char* file, int line)
    : m_expression(fromNarrow(expression)), m_file(fromNarrow(file)), m_message(message), m_line(line)
{
}

UException::UException(const char* expression, const QString& message, const char* file, int line)
    : UException(expression, message.toStdWString(), file, line)
{
}

std::wstring UException::description() const
{
    std::wstring text = L"exception\r\n";
    text += L"file: " + m_file + L"(" + std::to_wstring(m_line) + L")\r\n";
    text += L"express: " + m_expression + L"\r\n";
    if (!m_message.empty())
        text += L"message: " + m_message + L"\r\n";
    return text;
}

const char* UException::what() const noexcept
{
    if (m_what.empty())
        m_what = QString::fromStdWString(m_message.empty() ? m_expression : m_message).toStdString();
    return m_what.c_str();
}
