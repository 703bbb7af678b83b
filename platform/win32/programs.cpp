// The suite's programs on Windows: finding those that run from a folder, telling the users of
// other sessions, and closing them.
#include "platform/win32/process.h"

#include <string>
#include <vector>

#include "platform/win32/process_handles.h"
#include "platform/win32/session.h"
#include "platform/win32/unique.h"
#include "platform/win32/win_error.h"

#include <tlhelp32.h>  // after <windows.h>
#include "platform/win32/wide.h"

namespace win32 {

using Clock = std::chrono::steady_clock;

namespace {

// DOMAIN\user of the process's token, "?" when it cannot be read.
Text UserOf(HANDLE process) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return Text(u"?");
  const UniqueHandle owned(token);
  std::vector<DWORD> buffer(128);
  DWORD size = 0;
  if (!::GetTokenInformation(token, TokenUser, buffer.data(),
                             static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &size))
    return Text(u"?");
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  if (!::LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, name,
                           &nameSize, domain, &domainSize, &use))
    return Text(u"?");
  return ToText(std::wstring(domain) + L"\\" + name);
}

}  // namespace

std::vector<platform::RunningProgram> Processes::RunningFrom(const Text& folder) {
  std::vector<platform::RunningProgram> found;
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  std::wstring prefix = WideString(folder);
  if (prefix.empty() || prefix.back() != L'\\') prefix += L'\\';
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == ::GetCurrentProcessId()) continue;
    UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!process) continue;
    const Text path = ImageName(process.get(), entry.th32ProcessID);
    if (path.size() > prefix.size() &&
        ::CompareStringOrdinal(Wide(path), static_cast<int>(prefix.size()), prefix.c_str(),
                               static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL) {
      DWORD session = 0;
      ::ProcessIdToSessionId(entry.th32ProcessID, &session);
      found.push_back({entry.th32ProcessID, path, session, UserOf(process.get())});
    }
  }
  return found;
}

namespace {

struct WindowsOf {
  std::vector<DWORD> ids;
  std::vector<bool> reached;
};

BOOL CALLBACK CloseWindowOf(HWND hwnd, LPARAM param) {
  auto* of = reinterpret_cast<WindowsOf*>(param);
  DWORD id = 0;
  ::GetWindowThreadProcessId(hwnd, &id);
  for (std::size_t i = 0; i < of->ids.size(); ++i) {
    if (of->ids[i] == id && ::PostMessageW(hwnd, WM_CLOSE, 0, 0)) of->reached[i] = true;
  }
  return TRUE;
}

}  // namespace

std::vector<platform::Closing> Processes::Close(
    const std::vector<platform::RunningProgram>& programs, std::chrono::milliseconds grace,
    const std::function<void()>& pump, bool told) {
  std::vector<platform::Closing> closing(programs.size(), platform::Closing::Closed);
  std::vector<UniqueHandle> handles;
  WindowsOf windows;
  for (std::size_t i = 0; i < programs.size(); ++i) {
    const platform::RunningProgram& program = programs[i];
    UniqueHandle handle(::OpenProcess(
        SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, program.id));
    if (!handle) {
      // Still there, but not this program's to end; or gone.
      UniqueHandle seen(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, program.id));
      if (seen && ImageName(seen.get(), program.id) == program.path)
        closing[i] = platform::Closing::Untouched;
    } else if (ImageName(handle.get(), program.id) != program.path) {
      handle.reset();  // the id was reused since it was listed: someone else's process now
    }
    // Only a process that is still the one listed has its windows asked.
    windows.ids.push_back(handle ? program.id : 0);
    windows.reached.push_back(false);
    handles.push_back(std::move(handle));
  }
  // Only the windows of this program's own desktop can be reached (not another session's).
  ::EnumWindows(&CloseWindowOf, reinterpret_cast<LPARAM>(&windows));
  const auto until = Clock::now() + grace;
  for (;;) {
    std::vector<HANDLE> waiting;
    for (std::size_t i = 0; i < handles.size(); ++i) {
      if (!handles[i] || ::WaitForSingleObject(handles[i].get(), 0) != WAIT_TIMEOUT) continue;
      if (windows.reached[i] || told) {
        if (waiting.size() < MAXIMUM_WAIT_OBJECTS - 1) waiting.push_back(handles[i].get());
      } else {
        closing[i] = platform::Closing::Ended;  // nothing of it can be asked: ended at once
        ::TerminateProcess(handles[i].get(), ERROR_PROCESS_ABORTED);
      }
    }
    const DWORD left = Remaining(until);
    if (waiting.empty() || left == 0) break;
    const DWORD result = ::MsgWaitForMultipleObjectsEx(
        static_cast<DWORD>(waiting.size()), waiting.data(), left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (result == WAIT_OBJECT_0 + waiting.size()) pump();
    if (result == WAIT_FAILED) break;
  }
  for (std::size_t i = 0; i < handles.size(); ++i) {
    if (handles[i] && ::WaitForSingleObject(handles[i].get(), 0) == WAIT_TIMEOUT) {
      closing[i] = platform::Closing::Ended;
      ::TerminateProcess(handles[i].get(), ERROR_PROCESS_ABORTED);
    }
  }
  // Gone before their files are deleted: a few seconds for all of them together.
  const auto gone = Clock::now() + std::chrono::seconds(5);
  for (const UniqueHandle& handle : handles)
    if (handle) ::WaitForSingleObject(handle.get(), Remaining(gone));
  return closing;
}

std::uint32_t Processes::OwnSession() { return SessionId(); }

std::optional<platform::Error> Processes::Notify(std::uint32_t session, const Text& title,
                                                 const Text& text) {
  // Looked up, not imported: wtsapi32 is loaded only when a notice is due.
  using SendFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, DWORD, LPWSTR, DWORD, DWORD, DWORD, DWORD*,
                               BOOL);
  const HMODULE wtsapi = ::LoadLibraryExW(L"wtsapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  const auto send = wtsapi ? reinterpret_cast<SendFn>(reinterpret_cast<void*>(
                                 ::GetProcAddress(wtsapi, "WTSSendMessageW")))
                           : nullptr;
  if (!send) return ErrorFromCode(::GetLastError());
  std::wstring caption = WideString(title), message = WideString(text);
  DWORD response = 0;
  // Not waiting (the box stays until its user closes it, or for the grace at most): lengths
  // in bytes, as the function takes them.
  if (!send(nullptr, session, caption.data(), static_cast<DWORD>(caption.size() * sizeof(wchar_t)),
            message.data(), static_cast<DWORD>(message.size() * sizeof(wchar_t)),
            MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND, 0, &response, FALSE)) {
    return ErrorFromCode(::GetLastError());
  }
  return std::nullopt;
}

}  // namespace win32
