#include "platform/win32/dpi.h"

namespace win32 {
namespace {

template <typename F>
F User32Function(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(user32, name)))
                : nullptr;
}

UINT SystemDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

UINT DpiForWindow(HWND hwnd) {
  using Fn = UINT(WINAPI*)(HWND);
  static const Fn getDpiForWindow = User32Function<Fn>("GetDpiForWindow");
  if (getDpiForWindow) {
    const UINT dpi = getDpiForWindow(hwnd);
    if (dpi) return dpi;
  }
  return SystemDpi();
}

void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) {
  using Fn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const Fn adjustForDpi = User32Function<Fn>("AdjustWindowRectExForDpi");
  if (!adjustForDpi || !adjustForDpi(rect, style, FALSE, exStyle, dpi)) {
    ::AdjustWindowRectEx(rect, style, FALSE, exStyle);
  }
}

LOGFONTW MessageFontForDpi(UINT dpi) {
  using Fn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
  static const Fn parametersForDpi = User32Function<Fn>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (parametersForDpi &&
      parametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    return metrics.lfMessageFont;
  }
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    LOGFONTW font = metrics.lfMessageFont;
    font.lfHeight = ::MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    return font;
  }
  LOGFONTW font{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  return font;
}

}  // namespace win32
