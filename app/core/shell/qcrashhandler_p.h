#pragma once

// What the shared crash-handler code and the per-OS fault handler (the file of
// this folder named after the OS) have in common. Not for use outside them.

#include <atomic>
#include <cstddef>

namespace crashhandler {

// Everything the crash path needs is copied here at install time, because the crash
// path may not allocate, lock or call anything that is not async-signal-safe.
constexpr std::size_t kPathSize = 1024;
constexpr std::size_t kNameSize = 260;

struct Settings
{
    char version[32] = {};
    int buildDate = 0;
    char reportFolder[kPathSize] = {}; // empty or ending in '/'
    long utcOffset = 0;                // seconds east of UTC, sampled at install
};
extern Settings g_settings;

// The fallback folder may be set after the handlers are live, so it is published by
// an atomic pointer to a buffer that is filled before the pointer is stored.
extern std::atomic<const char*> g_fallbackFolder;

// Appends texts and numbers to a fixed buffer, silently truncating; keeps the
// buffer terminated so a partial text is still usable.
class Text
{
public:
    Text(char* buffer, std::size_t size) : m_buffer(buffer), m_size(size) { m_buffer[0] = '\0'; }

    Text& add(const char* text)
    {
        while (text && *text && m_length + 1 < m_size)
            m_buffer[m_length++] = *text++;
        m_buffer[m_length] = '\0';
        return *this;
    }

    // Decimal, left-padded with zeros to at least width digits.
    Text& number(long long value, int width = 0)
    {
        char digits[24];
        int count = 0;
        unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude && count < 20);
        while (count < width && count < 20)
            digits[count++] = '0';
        if (value < 0)
            add("-");
        return addReversed(digits, count);
    }

    Text& hex(unsigned long long value)
    {
        char digits[20];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value & 0xf];
            value >>= 4;
        } while (value);
        add("0x");
        return addReversed(digits, count);
    }

    const char* data() const { return m_buffer; }
    std::size_t length() const { return m_length; }

private:
    // Digits come out least significant first.
    Text& addReversed(const char* digits, int count)
    {
        char ordered[24];
        for (int i = 0; i < count; ++i)
            ordered[i] = digits[count - 1 - i];
        ordered[count] = '\0';
        return add(ordered);
    }

    char* m_buffer;
    std::size_t m_size;
    std::size_t m_length = 0;
};

// Per OS: samples what the crash path needs from the system (g_settings.utcOffset)
// and installs the fault handlers that write the report. Main thread, from
// QCrashHandler::install(); may be called again.
void installFaultHandlers();

} // namespace crashhandler
