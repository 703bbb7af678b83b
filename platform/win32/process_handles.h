#pragma once
// What starting a program and finding the suite's programs both need of a process.
#include "platform/process.h"
#include "platform/win32/unique.h"

namespace win32 {

// The process's program file (its full path), or "proceso <id>" when it cannot be read.
Text ImageName(HANDLE process, DWORD id);

// Milliseconds until the deadline (none: INFINITE), at least 0.
DWORD Remaining(platform::Deadline deadline);

}  // namespace win32
