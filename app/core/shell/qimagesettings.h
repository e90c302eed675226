#pragma once

#include <QObject>

#include <cstdint>

// Editing parameters shared by the pages and views while the program runs; never
// persisted. Written on the GUI thread; beautify reads the levels on a worker
// thread without locking, so a slider moved mid-job may or may not be seen by it.
class QImageSettings : public QObject
{
    Q_OBJECT
public:
    QImageSettings() = delete;

    static int customWidth() { return s_customWidth; }
    static void setCustomWidth(int value) { s_customWidth = value; }
    static int customHeight() { return s_customHeight; }
    static void setCustomHeight(int value) { s_customHeight = value; }
    // Slider values arrive as int and are kept truncated to 8 bits.
    static std::uint8_t toneLevel() { return s_toneLevel; }
    static void setToneLevel(int value) { s_toneLevel = static_cast<std::uint8_t>(value); }
    static std::uint8_t smoothLevel() { return s_smoothLevel; }
    static void setSmoothLevel(int value) { s_smoothLevel = static_cast<std::uint8_t>(value); }
    static std::uint8_t tolerance() { return s_tolerance; }
    static void setTolerance(int value) { s_tolerance = static_cast<std::uint8_t>(value); }

private:
    static inline int s_customWidth = 0;
    static inline int s_customHeight = 0;
    static inline std::uint8_t s_toneLevel = 0;
    static inline std::uint8_t s_smoothLevel = 0;
    static inline std::uint8_t s_tolerance = 4;
};
