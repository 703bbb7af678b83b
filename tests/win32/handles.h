#pragma once
// Leak check for kernel handles. Wine reports no handle count (GetProcessHandleCount gives
// 0), but it always hands out the lowest free slot of the handle table: the slot a new handle
// gets before and after some work moves up by one for every handle the work left open.
#include <windows.h>

namespace testing_win32 {

inline long LowestFreeHandleSlot() {
  HANDLE probe = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  const auto value = reinterpret_cast<ULONG_PTR>(probe);
  ::CloseHandle(probe);
  return static_cast<long>(value / 4);
}

}  // namespace testing_win32
