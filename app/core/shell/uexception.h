#pragma once

#include <QString>

#include <exception>
#include <string>

// The one exception type for failures the user must see. Raised with the failed
// condition's source text, caught once per job (a task's run, start-up), where
// message() goes to the user and description() to the log.
class UException : public std::exception
{
public:
    UException(const char* expression, const char* file, int line);
    UException(const char* expression, const std::wstring& message, const char* file, int line);
    UException(const char* expression, const QString& message, const char* file, int line);

    const std::wstring& message() const { return m_message; }

    // "exception\r\nfile: F(L)\r\nexpress: E\r\n[message: M\r\n]"
    std::wstring description() const;
    const char* what() const noexcept override;

private:
    std::wstring m_expression;
    std::wstring m_file;
    std::wstring m_message;
    int m_line = 0;
    mutable std::string m_what;
};

// Throws a UException naming the failed condition unless it holds.
#define U_CHECK(cond, msg)                                                                                   \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            throw UException(#cond, (msg), __FILE__, __LINE__);                                              \
    } while (false)
