#pragma once
// Turning the platform's failures into the program's one error type. Registry functions
// return their error code; BOOL functions set the last error.
#include <windows.h>

#include "platform/error.h"

namespace win32 {

// The platform's message for the code, from the system's message table.
platform::Error ErrorFromCode(DWORD code);

[[noreturn]] void Throw(DWORD code);
[[noreturn]] void ThrowLastError();

// The box that ends a run on an error nothing absorbed: number and message under the
// application title.
void ShowErrorBox(HWND owner, const platform::Error& error);

inline void ThrowLastErrorIf(bool failed) {
  if (failed) ThrowLastError();
}

}  // namespace win32
