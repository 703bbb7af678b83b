#pragma once
// DPI of a window and the metrics that depend on it. The per-monitor functions exist from
// Windows 10 on; on Windows 7 and 8 the system DPI stands in for the monitor's.
#include <windows.h>

namespace win32 {

UINT DpiForWindow(HWND hwnd);
void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi);
LOGFONTW MessageFontForDpi(UINT dpi);

}  // namespace win32
