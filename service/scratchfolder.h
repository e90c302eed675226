#pragma once
// This instance's folder for uploads and results: <root>/instance-<pid>-<start>,
// holding a lock file that stays flock()ed for the instance's life. The kernel
// drops the lock when the process dies however it dies, so the next instance to
// start on the same root can tell a dead instance's leftovers from a live one's
// folder and deletes only the former.
//
// Made and removed on the main thread; path() may be read from any thread.

#include <string>

class ScratchFolder
{
public:
    // Sweeps dead instances' folders under `root` (made when missing) and makes
    // this one's. valid() is false when that failed; error() says why.
    explicit ScratchFolder(const std::string& root);
    // Removes the folder with everything in it and releases the lock.
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool valid() const { return m_lockFd >= 0; }
    const std::string& path() const { return m_path; }
    const std::string& error() const { return m_error; }
    int swept() const { return m_swept; }

    // <temporary folder>/brisel-service-<uid>: where a user's instances meet when
    // not told otherwise.
    static std::string defaultRoot();

private:
    int m_lockFd = -1;
    int m_swept = 0;
    std::string m_path;
    std::string m_error;
};
