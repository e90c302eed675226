#include "scratchfolder.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const kLockName = "lock";
const char* const kPrefix = "instance-";

// An open descriptor of `path` locked exclusively, or -1. Without `wait` a lock
// held elsewhere fails at once.
int lockFile(const std::string& path, bool wait)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::string ScratchFolder::defaultRoot()
{
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    // One root per user: another user's root would not be writable, nor theirs to sweep.
    return ((ec ? fs::path("/tmp") : temp) / ("brisel-service-" + std::to_string(::getuid()))).string();
}

ScratchFolder::ScratchFolder(const std::string& root)
{
    std::error_code ec;
    if (fs::create_directories(root, ec))
        fs::permissions(root, fs::perms::owner_all, ec);
    // Instances starting together take turns, so none sweeps a folder another is
    // still setting up (made, but its lock not yet taken).
    const int rootLock = lockFile(root + "/.lock", true);
    if (rootLock < 0) {
        m_error = "cannot lock the scratch folder " + root + ": " + std::strerror(errno);
        return;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(root, ec)) {
        if (entry.path().filename().string().rfind(kPrefix, 0) != 0)
            continue;
        const int fd = lockFile((entry.path() / kLockName).string(), false);
        if (fd < 0)
            continue; // a live instance holds it
        std::error_code removeError;
        fs::remove_all(entry.path(), removeError);
        ::close(fd);
        if (!removeError)
            ++m_swept;
    }
    const long long started = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count();
    m_path = root + "/" + kPrefix + std::to_string(::getpid()) + "-" + std::to_string(started);
    if (fs::create_directory(m_path, ec))
        m_lockFd = lockFile(m_path + "/" + kLockName, false);
    if (m_lockFd < 0)
        m_error = "cannot make the scratch folder " + m_path;
    ::close(rootLock);
}

ScratchFolder::~ScratchFolder()
{
    if (m_lockFd < 0)
        return;
    std::error_code ec;
    fs::remove_all(m_path, ec);
    ::close(m_lockFd);
}
