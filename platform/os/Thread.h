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
// the object: a second process asking for the same name is refused.
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    // True when this process now holds the lock (also when it already did).
    bool Acquire(const std::string& name);
    void Release();
    static std::string LockPath(const std::string& name);

private:
    int m_fd = -1;
};

}  // namespace os
