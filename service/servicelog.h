#pragma once
// One line per event on stderr, safe from any thread. stdout is kept for the
// single "listening on <url>" line that launchers read.

#include <string>

namespace servicelog {

enum Level
{
    Error = 0,
    Warning = 1,
    Info = 2,
    Debug = 3
};

void setLevel(int level);
bool enabled(Level level);
void write(Level level, const std::string& message);

inline void error(const std::string& m)
{
    write(Error, m);
}
inline void warning(const std::string& m)
{
    write(Warning, m);
}
inline void info(const std::string& m)
{
    write(Info, m);
}
inline void debug(const std::string& m)
{
    write(Debug, m);
}

} // namespace servicelog
