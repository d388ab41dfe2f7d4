// The drive array: the drives that can hold the program's disk, as the last
// drive search found them, and the lock that guards the array and its
// rebuilding. The lock is held across a drive search and, in the disk check,
// while the not-my-disk or no-disk prompt is up; the settings window waits
// for it before it lists drives. It is made once for the process (the
// application makes it when it starts) and is never destroyed.
#pragma once

#include <windows.h>

namespace tvx::media {

// The lock: an unnamed mutex; null only when the system could not make it
// (DriveArrayHold then holds nothing).
HANDLE DriveArrayLock() noexcept;

// Holds the drive-array lock for its lifetime (waiting without limit).
class DriveArrayHold {
public:
    DriveArrayHold() noexcept;
    ~DriveArrayHold();
    DriveArrayHold(const DriveArrayHold&) = delete;
    DriveArrayHold& operator=(const DriveArrayHold&) = delete;

private:
    bool m_held = false;
};

}  // namespace tvx::media
