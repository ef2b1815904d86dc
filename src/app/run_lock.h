#pragma once
// One install or uninstall at a time per user: a named mutex in the session's
// namespace, held for the whole run of a sequence. Two runs at once would
// delete and move in the same folders.

#include <windows.h>

#include "win/handles.h"

// How long a run waits for another one to finish before it gives up.
inline constexpr DWORD kRunLockWaitMs = 300000;

class SetupRunLock {
  public:
    SetupRunLock() = default;
    ~SetupRunLock();
    SetupRunLock(const SetupRunLock&) = delete;
    SetupRunLock& operator=(const SetupRunLock&) = delete;

    // Takes the lock, waiting up to kRunLockWaitMs for a run that holds it
    // (logged when it has to wait). A lock left by a run that died counts as
    // free. An uninstall that the holding install started itself (the previous
    // uninstaller) takes nothing and gets true. False, logged, when the lock
    // cannot be had: the caller must then change nothing.
    bool Acquire();

  private:
    UniqueHandle mutex_;
    bool held_ = false;
};
