// The suite's programs on Windows: finding those that run from a folder, telling the users of
// other sessions, and closing them.
#include "platform/win32/process.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/privilege.h"
#include "platform/win32/process_handles.h"
#include "platform/win32/session.h"
#include "platform/win32/unique.h"
#include "platform/win32/win_error.h"

#include <tlhelp32.h>  // after <windows.h>
#include <wtsapi32.h>
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

// A function of wtsapi32, looked up rather than imported: the library is loaded only when a
// session is asked about.
template <typename Fn>
Fn WtsFunction(const char* name) {
  static const HMODULE wtsapi =
      ::LoadLibraryExW(L"wtsapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return wtsapi ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(wtsapi, name)))
                : nullptr;
}

// The session of every process, read from Terminal Services without opening any of them (a
// process's session otherwise needs a handle to it); empty when they cannot be listed.
std::map<DWORD, DWORD> SessionsOfProcesses() {
  using EnumerateFn = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, WTS_PROCESS_INFOW**, DWORD*);
  using FreeFn = void(WINAPI*)(void*);
  const auto enumerate = WtsFunction<EnumerateFn>("WTSEnumerateProcessesW");
  const auto release = WtsFunction<FreeFn>("WTSFreeMemory");
  std::map<DWORD, DWORD> sessions;
  WTS_PROCESS_INFOW* processes = nullptr;
  DWORD count = 0;
  if (!enumerate || !release || !enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &processes, &count))
    return sessions;
  for (DWORD i = 0; i < count; ++i) sessions[processes[i].ProcessId] = processes[i].SessionId;
  release(processes);
  return sessions;
}

class DebugPrivilege final : public platform::ProcessReach {
 public:
  DebugPrivilege() : privilege_(L"SeDebugPrivilege") {}

 private:
  EnabledPrivilege privilege_;
};

}  // namespace

std::unique_ptr<platform::ProcessReach> Processes::ReachAllProcesses() {
  return std::make_unique<DebugPrivilege>();
}

std::vector<platform::RunningProgram> Processes::RunningFrom(const Text& folder) {
  std::vector<platform::RunningProgram> found;
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  std::wstring prefix = WideString(folder);
  if (prefix.empty() || prefix.back() != L'\\') prefix += L'\\';
  const std::map<DWORD, DWORD> sessions = SessionsOfProcesses();
  const auto sessionOf = [&](DWORD id) -> std::uint32_t {
    if (const auto known = sessions.find(id); known != sessions.end()) return known->second;
    DWORD session = 0;
    return ::ProcessIdToSessionId(id, &session) ? session : platform::kUnknownSession;
  };
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    // Id 0 is the idle process: a count of idle processor time, never a program.
    if (entry.th32ProcessID == ::GetCurrentProcessId() || entry.th32ProcessID == 0) continue;
    UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    std::vector<wchar_t> name(32768);  // the longest a path can be
    DWORD size = static_cast<DWORD>(name.size());
    if (!process || !::QueryFullProcessImageNameW(process.get(), 0, name.data(), &size)) {
      // It may be the suite's (another user's, where even the debug privilege is refused):
      // named, so that a file it holds has a cause in the log.
      const platform::Error why = ErrorFromCode(::GetLastError());
      found.push_back({entry.th32ProcessID, ToText(entry.szExeFile),
                       sessionOf(entry.th32ProcessID), Text(u"?"), why});
      continue;
    }
    const Text path = ToText(name.data(), size);
    if (path.size() > prefix.size() &&
        ::CompareStringOrdinal(Wide(path), static_cast<int>(prefix.size()), prefix.c_str(),
                               static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL) {
      found.push_back({entry.th32ProcessID, path, sessionOf(entry.th32ProcessID),
                       UserOf(process.get()), std::nullopt});
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
                                                 const Text& text, std::chrono::seconds timeout) {
  using SendFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, DWORD, LPWSTR, DWORD, DWORD, DWORD, DWORD*,
                               BOOL);
  const auto send = WtsFunction<SendFn>("WTSSendMessageW");
  if (!send) return ErrorFromCode(::GetLastError());
  std::wstring caption = WideString(title), message = WideString(text);
  DWORD response = 0;
  // Not waited for; the box goes by itself once its time is over (a time-out of 0 would keep
  // it until its user closed it, long after the programs were). Lengths in bytes, as the
  // function takes them.
  const auto seconds = static_cast<DWORD>(std::max<std::chrono::seconds::rep>(timeout.count(), 1));
  if (!send(WTS_CURRENT_SERVER_HANDLE, session, caption.data(),
            static_cast<DWORD>(caption.size() * sizeof(wchar_t)), message.data(),
            static_cast<DWORD>(message.size() * sizeof(wchar_t)),
            MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND, seconds, &response, FALSE)) {
    return ErrorFromCode(::GetLastError());
  }
  return std::nullopt;
}

platform::Connection Processes::ConnectionOf(std::uint32_t session) {
  using QueryFn = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
  using FreeFn = void(WINAPI*)(void*);
  const auto query = WtsFunction<QueryFn>("WTSQuerySessionInformationW");
  const auto release = WtsFunction<FreeFn>("WTSFreeMemory");
  LPWSTR buffer = nullptr;
  DWORD size = 0;
  if (!query || !release ||
      !query(WTS_CURRENT_SERVER_HANDLE, session, WTSConnectState, &buffer, &size))
    return platform::Connection::Unknown;
  int state = -1;
  if (buffer && size >= sizeof(int)) std::memcpy(&state, buffer, sizeof state);
  release(buffer);
  switch (state) {
    case WTSActive:
      return platform::Connection::Active;
    case WTSConnected:
      return platform::Connection::Connected;
    case WTSDisconnected:
      return platform::Connection::Disconnected;
    default:
      return state < 0 ? platform::Connection::Unknown : platform::Connection::Other;
  }
}

}  // namespace win32
