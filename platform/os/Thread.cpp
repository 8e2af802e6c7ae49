#include "platform/os/Thread.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace os {

Thread::~Thread() { Join(); }

bool Thread::Start() {
    if (m_thread.joinable()) return false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void Thread::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

bool Semaphore::Wait(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    auto ready = [this] { return m_count > 0; };
    if (timeoutMs < 0) {
        m_cv.wait(lock, ready);
    } else if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        return false;
    }
    --m_count;
    return true;
}

bool Semaphore::Release() {
    {
        std::lock_guard lock(m_mutex);
        if (m_count >= m_max) return false;
        ++m_count;
    }
    m_cv.notify_one();
    return true;
}

InstanceLock::~InstanceLock() { Release(); }

std::string InstanceLock::LockPath(const std::string& name) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    std::string base = (dir && *dir) ? dir : "/tmp";
    std::string safe;
    for (char c : name) safe += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return base + "/" + safe + ".lock";
}

InstanceLock::Result InstanceLock::Acquire(const std::string& name) {
    if (m_fd >= 0) return Result::Acquired;
    m_error.clear();
    const std::string path = LockPath(name);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        m_error = path + ": " + std::strerror(errno);
        return Result::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) return Result::Held;
        m_error = path + ": " + std::strerror(error);
        return Result::Failed;
    }
    m_fd = fd;
    return Result::Acquired;
}

void InstanceLock::Release() {
    if (m_fd >= 0) {
        flock(m_fd, LOCK_UN);
        close(m_fd);
        m_fd = -1;
    }
}

}  // namespace os
