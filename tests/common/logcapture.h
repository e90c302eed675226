#pragma once
// Collects the logger's messages while alive, for suites that link the platform
// library and check what a failure wrote to the log. The hook may be called from
// any thread.

#include "logger.h"

#include <QString>

#include <memory>
#include <mutex>

class LogCapture
{
public:
    LogCapture()
    {
        kzl::logger::setCallback([this](const std::shared_ptr<kzl::LogRecord>& record) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_text += QString::fromStdWString(record->message) + '\n';
        });
    }
    ~LogCapture() { kzl::logger::setCallback(nullptr); }
    QString text() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_text;
    }

private:
    mutable std::mutex m_mutex;
    QString m_text;
};
