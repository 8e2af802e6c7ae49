#include "platform/os/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/os/Os.h"

namespace os {
namespace {

// The file a name stands for: a symbolic link is followed, so that the
// rename replaces the file it points to and the link stays.
std::string RealTarget(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : path;
}

// Makes the rename itself survive a power cut; a directory that cannot be
// synchronised changes nothing of the result.
void SyncDirectoryOf(const std::string& path) {
    const size_t cut = path.rfind('/');
    const std::string dir = cut == std::string::npos || cut == 0 ? "/" : path.substr(0, cut);
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)fsync(fd);
    close(fd);
}

} // namespace

AtomicFile::AtomicFile(std::string_view name) {
    if (name.empty()) {
        Fail("", ENOENT);
        return;
    }
    m_target = RealTarget(ResolvePath(name));
    m_temporary = m_target + ".new";
    const int fd = open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        Fail(m_temporary, errno);
        return;
    }
    struct stat st {};
    if (stat(m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) (void)fchmod(fd, st.st_mode & 07777);
    m_file = fdopen(fd, "wb");
    if (!m_file) {
        Fail(m_temporary, errno);
        close(fd);
        unlink(m_temporary.c_str());
    }
}

AtomicFile::~AtomicFile() {
    Discard();
}

void AtomicFile::Fail(const std::string& path, int error) {
    m_error = path + ": " + std::strerror(error ? error : EIO);
}

bool AtomicFile::Commit() {
    if (!m_file) {
        if (m_error.empty()) m_error = m_target + ": already written";
        return false;
    }
    errno = 0;
    const bool flushed = std::fflush(m_file) == 0 && !std::ferror(m_file);
    if (!flushed) {
        Fail(m_temporary, errno);
    } else if (std::ftell(m_file) <= 0) {
        m_error = m_temporary + ": nothing was written";
    } else if (fsync(fileno(m_file)) != 0) {
        Fail(m_temporary, errno);
    } else {
        std::FILE* f = m_file;
        m_file = nullptr;
        if (std::fclose(f) != 0) {
            Fail(m_temporary, errno);
        } else if (std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
            Fail(m_target, errno);
        } else {
            SyncDirectoryOf(m_target);
            return true;
        }
        unlink(m_temporary.c_str());
        return false;
    }
    Discard();
    return false;
}

void AtomicFile::Discard() {
    if (!m_file) return;
    std::fclose(m_file);
    m_file = nullptr;
    unlink(m_temporary.c_str());
}

} // namespace os
