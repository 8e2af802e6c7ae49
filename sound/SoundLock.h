// The count-1 lock that keeps the sound manager's device calls apart from the
// music thread's stream refills. The music thread switches it on when it
// starts and off once it has been joined; while it is off no other thread
// touches the device, so taking it costs nothing and never waits.
#pragma once

#include "platform/os/Thread.h"

class CSoundLock {
  public:
    CSoundLock() = default;
    CSoundLock(const CSoundLock&) = delete;
    CSoundLock& operator=(const CSoundLock&) = delete;

    // Main thread only, while no music thread runs.
    void SetActive(bool active) { m_bActive = active; }
    bool IsActive() const { return m_bActive; }

    // Waits without limit while active; false when nothing was taken.
    bool Take();
    void Give();

    // The semaphore itself, for the music thread's own waits.
    os::Semaphore& Semaphore() { return m_Semaphore; }

    // Holds the lock for a scope; gives back only what it took.
    class Scoped {
      public:
        explicit Scoped(CSoundLock& lock) : m_Lock(lock), m_bTaken(lock.Take()) {}
        ~Scoped() {
            if (m_bTaken) m_Lock.Give();
        }
        Scoped(const Scoped&) = delete;
        Scoped& operator=(const Scoped&) = delete;

      private:
        CSoundLock& m_Lock;
        bool m_bTaken;
    };

  private:
    os::Semaphore m_Semaphore{1, 1};
    bool m_bActive = false;
};
