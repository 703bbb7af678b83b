#include "platform/win32/form_window.h"

#include <new>
#include <string>

#include "platform/win32/dpi.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

namespace win32 {
namespace {

constexpr wchar_t kClassName[] = L"DesinstalaKavroForm1";
constexpr wchar_t kCaption[] = L"Desinstalador KavroII";
constexpr wchar_t kLabelCaption[] = L"Componentes a desinstalar";
constexpr wchar_t kAppTitle[] = L"DesinstalaKavro";
constexpr wchar_t kShutdownReason[] = L"Desinstalando KavroII";
constexpr UINT kRunMessage = WM_APP + 1;
constexpr UINT kRedrawListMessage = WM_APP + 2;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

// Colours in blue-green-red order, as COLORREF holds them.
constexpr COLORREF kListTextColour = 0x00400000;
constexpr COLORREF kLabelTextColour = 0x00800000;
constexpr COLORREF kWhite = 0x00FFFFFF;

// The form as designed, in twips (1440 to the inch).
struct TwipsRect {
  int left, top, width, height;
};
constexpr int kClientWidth = 5610;
constexpr int kClientHeight = 1575;
constexpr TwipsRect kFile1 = {2715, 105, 330, 285};
constexpr TwipsRect kLstKeys = {180, 375, 5280, 1020};
constexpr TwipsRect kLabel1 = {165, 105, 2535, 225};
constexpr int kListFontCentipoints = 975;  // Tahoma 9.75 pt

enum ControlId { kFile1Id = 101, kLstKeysId = 102, kLabel1Id = 103 };

int Px(int twips, UINT dpi) { return ::MulDiv(twips, static_cast<int>(dpi), 1440); }

HWND CreateChild(const wchar_t* cls, const wchar_t* text, DWORD style, DWORD exStyle, int id,
                 HWND parent, HINSTANCE instance) {
  HWND child = ::CreateWindowExW(exStyle, cls, text, WS_CHILD | style, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                 nullptr);
  ThrowLastErrorIf(child == nullptr);
  return child;
}

Text ListText(HWND list, int index) {
  const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR) Throw(ERROR_INVALID_INDEX);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied =
      ::SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  if (copied == LB_ERR) Throw(ERROR_INVALID_INDEX);
  text.resize(static_cast<std::size_t>(copied));
  return ToText(text);
}

void AddRow(HWND list, const Text& row) {
  const LRESULT result = ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(row)));
  if (result == LB_ERR || result == LB_ERRSPACE) Throw(ERROR_NOT_ENOUGH_MEMORY);
}

}  // namespace

FormWindow::FormWindow(HINSTANCE instance, int iconId) : instance_(instance) {
  const int bigSize = ::GetSystemMetrics(SM_CXICON);
  const int smallSize = ::GetSystemMetrics(SM_CXSMICON);
  bigIcon_.reset(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                 bigSize, bigSize, LR_DEFAULTCOLOR)));
  smallIcon_.reset(static_cast<HICON>(::LoadImageW(
      instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, smallSize, smallSize, LR_DEFAULTCOLOR)));

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &FormWindow::WindowProc;
  wc.hInstance = instance;
  wc.hIcon = bigIcon_.get();
  wc.hIconSm = smallIcon_.get();
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kClassName;
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) ThrowLastError();

  owner_.reset(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 instance, nullptr));
  ThrowLastErrorIf(!owner_);
  // WM_NCCREATE stores the object in the window, so hwnd_ is set from there.
  HWND created = ::CreateWindowExW(kExStyle, kClassName, kCaption, kStyle, 0, 0, 0, 0,
                                   owner_.get(), nullptr, instance, this);
  ThrowLastErrorIf(created == nullptr);
  ::SendMessageW(created, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
  ::SendMessageW(created, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
  CreateControls();
  Layout(DpiForWindow(created), nullptr);
}

FormWindow::~FormWindow() = default;

void FormWindow::CreateControls() {
  HWND parent = hwnd_.get();
  // Creation order is also the tab order: File1, LstKeys, Label1.
  file1_.Attach(CreateChild(L"LISTBOX", L"", LBS_SORT | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
                            0, kFile1Id, parent, instance_));
  lstKeys_.Attach(CreateChild(
      L"LISTBOX", L"",
      WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
      WS_EX_CLIENTEDGE, kLstKeysId, parent, instance_), parent);
  label_ = CreateChild(L"STATIC", kLabelCaption, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, kLabel1Id,
                       parent, instance_);
}

void FormWindow::Layout(UINT dpi, const RECT* suggested) {
  HWND hwnd = hwnd_.get();
  if (suggested) {
    ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    RECT frame{0, 0, Px(kClientWidth, dpi), Px(kClientHeight, dpi)};
    AdjustWindowRectForDpi(&frame, kStyle, kExStyle, dpi);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& screen = monitor.rcMonitor;
    const int left = screen.left + (screen.right - screen.left - width) / 2;
    const int top = screen.top + (screen.bottom - screen.top - height) / 2;
    ::SetWindowPos(hwnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  const auto place = [dpi](HWND control, const TwipsRect& r) {
    ::MoveWindow(control, Px(r.left, dpi), Px(r.top, dpi), Px(r.width, dpi), Px(r.height, dpi),
                 TRUE);
  };
  place(file1_.hwnd(), kFile1);
  place(lstKeys_.hwnd(), kLstKeys);
  place(label_, kLabel1);

  // Tahoma 9.75 pt for the list, the platform's message font for the label, both at this DPI.
  // The new fonts are handed to the controls before the old ones are deleted.
  UniqueFont listFont(::CreateFontW(-::MulDiv(kListFontCentipoints, static_cast<int>(dpi), 7200),
                                    0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                    DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
  LOGFONTW message = MessageFontForDpi(dpi);
  UniqueFont labelFont(::CreateFontIndirectW(&message));
  ::SendMessageW(lstKeys_.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(listFont.get()), TRUE);
  ::SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont.get()), TRUE);
  listFont_ = std::move(listFont);
  labelFont_ = std::move(labelFont);
}

void FormWindow::Show() {
  ::ShowWindow(hwnd_.get(), SW_SHOWNORMAL);
  ::UpdateWindow(hwnd_.get());
}

void FormWindow::StartRun() {
  if (activated_) return;
  activated_ = true;
  ::PostMessageW(hwnd_.get(), kRunMessage, 0, 0);
}

void FormWindow::RunMessageLoop() {
  MSG msg;
  while (!quit_ && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

LRESULT CALLBACK FormWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->hwnd_.reset(hwnd);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<FormWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_.release();  // the window is gone; nothing is left to destroy
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }
  return self->HandleMessage(message, wparam, lparam);
}

LRESULT FormWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND hwnd = hwnd_.get();
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) {
        ::SetFocus(lstKeys_.hwnd());
        if (!activated_) {
          activated_ = true;
          ::PostMessageW(hwnd, kRunMessage, 0, 0);
        }
        return 0;
      }
      break;
    case WM_SETFOCUS:
      ::SetFocus(lstKeys_.hwnd());
      return 0;
    case kRunMessage:
      RunActivation();
      return 0;
    case kRedrawListMessage:
      lstKeys_.ResumeRedraw();
      return 0;
    case WM_CTLCOLORLISTBOX:
      if (reinterpret_cast<HWND>(lparam) == lstKeys_.hwnd()) {
        auto dc = reinterpret_cast<HDC>(wparam);
        ::SetTextColor(dc, kListTextColour);
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lparam) == label_) {
        auto dc = reinterpret_cast<HDC>(wparam);
        ::SetTextColor(dc, kLabelTextColour);
        ::SetBkColor(dc, kWhite);
        return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
      }
      break;
    case WM_DPICHANGED:
      Layout(HIWORD(wparam), reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_CLOSE:
      // A run that is under way is never left half done: closing waits for its end.
      if (running_) return 0;
      break;
    case WM_QUERYENDSESSION:
      // Nor is it cut short by a logoff or shutdown, where Windows lets a visible window
      // refuse one: the system shows the reason given below.
      if (running_) return FALSE;
      break;
    case WM_ENDSESSION:
      // The session ends all the same (a quiet run, session 0, a forced shutdown): the
      // program is ended once this returns.
      if (wparam && running_ && onEndSession_) onEndSession_();
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

void FormWindow::RunActivation() {
  // Paint the window and its controls before the run starts blocking.
  ::RedrawWindow(hwnd_.get(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  if (!onActivate_) return;
  running_ = true;
  SetCloseEnabled(false);
  ::ShutdownBlockReasonCreate(hwnd_.get(), kShutdownReason);
  // Nothing may unwind through the window procedure: anything the run did not turn into the
  // error box itself ends here, the same way.
  const auto fail = [this](DWORD code) {
    failed_ = true;
    const platform::Error error = ErrorFromCode(code);
    if (onError_) {
      onError_(error);
    } else {
      ShowErrorBox(error);
    }
    Unload();
  };
  try {
    onActivate_();
  } catch (const std::bad_alloc&) {
    fail(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    fail(ERROR_INTERNAL_ERROR);
  }
  running_ = false;
  if (hwnd_) ::ShutdownBlockReasonDestroy(hwnd_.get());
  SetCloseEnabled(true);
}

void FormWindow::SetCloseEnabled(bool enabled) {
  if (!hwnd_) return;
  ::EnableMenuItem(::GetSystemMenu(hwnd_.get(), FALSE), SC_CLOSE,
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void FormWindow::MsgBox(const Text& text, int style, const std::optional<Text>& title) {
  ::MessageBoxW(hwnd_.get(), Wide(text), title ? Wide(*title) : kAppTitle,
                static_cast<UINT>(style));
}

void FormWindow::DoEvents() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit_ = true;  // the message loop sees it once the run returns
      break;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void FormWindow::Unload() {
  if (hwnd_) ::DestroyWindow(hwnd_.get());
}

void FormWindow::ShowErrorBox(const platform::Error& error) {
  win32::ShowErrorBox(hwnd_.get(), error);
}

// ---- LstKeys ----

void FormWindow::ListBoxControl::Clear() { ::SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0); }

void FormWindow::ListBoxControl::AddItem(const Text& row) {
  if (!redrawSuspended_) {
    // Redrawing after each row costs milliseconds a row (Wine); once is enough.
    ::SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    redrawSuspended_ = true;
    ::PostMessageW(form_, kRedrawListMessage, 0, 0);
  }
  AddRow(hwnd_, row);
}

void FormWindow::ListBoxControl::ResumeRedraw() {
  if (!redrawSuspended_) return;
  redrawSuspended_ = false;
  ::SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

int FormWindow::ListBoxControl::ListCount() const {
  return static_cast<int>(::SendMessageW(hwnd_, LB_GETCOUNT, 0, 0));
}

Text FormWindow::ListBoxControl::List(int index) const { return ListText(hwnd_, index); }

void FormWindow::ListBoxControl::SetListIndex(int index) {
  ::SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// ---- File1 ----

void FormWindow::FileListControl::SetPattern(const Text& pattern) {
  ::SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
  if (!folder_) return;
  for (const platform::Entry& entry : folder_->Entries())
    if (platform::Listed(entry, pattern)) AddRow(hwnd_, entry.name);
}

int FormWindow::FileListControl::ListCount() const {
  return static_cast<int>(::SendMessageW(hwnd_, LB_GETCOUNT, 0, 0));
}

Text FormWindow::FileListControl::List(int index) const { return ListText(hwnd_, index); }

}  // namespace win32
