// Threads and synchronisation objects on the C++ standard library.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace os {

// A thread object whose body is the virtual Run; Join waits for it to end.
class Thread {
public:
    virtual ~Thread();
    bool Start();
    void Join();
    bool IsRunning() const { return m_thread.joinable(); }

protected:
    virtual void Run() = 0;

private:
    std::thread m_thread;
};

// Counting semaphore with a maximum count; Wait takes one unit.
class Semaphore {
public:
    Semaphore(int initial, int maximum) : m_count(initial), m_max(maximum) {}
    // Waits at most timeoutMs (negative: forever); true when a unit was taken.
    bool Wait(int timeoutMs = -1);
    // Gives one unit back; false (and nothing changes) at the maximum.
    bool Release();

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_count;
    int m_max;
};

using Mutex = std::mutex;

// Advisory lock on a file named after the window title, held for the life of
// the object: a second process asking for the same name is refused. Only a
// lock another process holds answers Held; a lock file that cannot be made
// or locked (no runtime directory, a read-only one, a name too long for a
// file) answers Failed with the reason, and the caller decides.
class InstanceLock {
public:
    enum class Result { Acquired, Held, Failed };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    // Acquired also when this object already holds it.
    Result Acquire(const std::string& name);
    void Release();
    // Why the last Acquire failed: the lock file and the system's reason.
    const std::string& Error() const { return m_error; }
    static std::string LockPath(const std::string& name);

private:
    int m_fd = -1;
    std::string m_error;
};

}  // namespace os
