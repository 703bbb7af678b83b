#include "platform/win32/process.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/job.h"
#include "platform/win32/process_handles.h"
#include "platform/win32/no_follow.h"
#include "platform/win32/security.h"
#include "platform/win32/unique.h"
#include "platform/win32/win_error.h"

#include "platform/win32/wide.h"

namespace win32 {

// Milliseconds until the deadline (none: INFINITE), at least 0.
DWORD Remaining(platform::Deadline deadline) {
  if (!deadline) return INFINITE;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now()).count();
  return left <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(left, INFINITE - 1));
}

Text ImageName(HANDLE process, DWORD id) {
  std::vector<wchar_t> name(32768);  // the longest a path can be
  DWORD size = static_cast<DWORD>(name.size());
  if (::QueryFullProcessImageNameW(process, 0, name.data(), &size))
    return ToText(name.data(), size);
  return ToText(L"proceso " + std::to_wstring(id));
}

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for an uninstaller to show its first window, short enough that a program that
// never becomes idle cannot freeze ours for long: nothing is processed during this wait.
constexpr DWORD kReadinessBoundMs = 5000;
// While some process of the job cannot be opened (not ours to wait on), the job is looked at
// again this often; every other wait sleeps until a process ends or input comes.
constexpr DWORD kUnopenedRecheckMs = 1000;

// The 32-bit program's view of the 64-bit system folder, Sysnative, exists only while the
// platform redirects System32: the walk goes through System32 itself, unredirected.
class RedirectionOff {
 public:
  RedirectionOff() : off_(::Wow64DisableWow64FsRedirection(&old_)) {}
  ~RedirectionOff() {
    if (off_) ::Wow64RevertWow64FsRedirection(old_);
  }
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;

 private:
  PVOID old_ = nullptr;
  BOOL off_;
};

DWORD OpenProgram(const std::wstring& path, Walked& file) {
  constexpr ACCESS_MASK kAccess = FILE_READ_DATA | FILE_EXECUTE | READ_CONTROL;
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring folder = length && length < MAX_PATH ? std::wstring(windows) : std::wstring();
  const std::wstring sysnative = folder + L"\\Sysnative\\";
  const bool throughSysnative =
      !folder.empty() && path.size() > sysnative.size() &&
      ::CompareStringOrdinal(path.c_str(), static_cast<int>(sysnative.size()), sysnative.c_str(),
                             static_cast<int>(sysnative.size()), TRUE) == CSTR_EQUAL;
  if (!throughSysnative)
    return OpenWithoutLinks(path, kAccess, FILE_SHARE_READ, FILE_NON_DIRECTORY_FILE, file);
  const std::wstring system32 = folder + L"\\System32\\" + path.substr(sysnative.size());
  RedirectionOff unredirected;
  return OpenWithoutLinks(system32, kAccess, FILE_SHARE_READ, FILE_NON_DIRECTORY_FILE, file);
}


// IsProcessInJob needs the full query right under Wine; the limited one is what Windows
// grants for more processes.
UniqueHandle OpenToWait(DWORD id) {
  UniqueHandle handle(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id));
  if (!handle) handle.reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  return handle;
}


class Process final : public platform::Process {
 public:
  Process(UniqueHandle process, UniqueHandle thread, Job job,
          std::chrono::milliseconds descendantsBound, bool othersCanReplace) :
      process_(std::move(process)),
      thread_(std::move(thread)),
      job_(std::move(job)),
      descendantsBound_(descendantsBound),
      othersCanReplace_(othersCanReplace) {
    ending_.wholeTree = static_cast<bool>(job_);
  }

  bool OthersCanReplace() const override { return othersCanReplace_; }

  void WaitForInputIdle() override { ::WaitForInputIdle(process_.get(), kReadinessBoundMs); }
  void CloseThread() override { thread_.reset(); }

  platform::WaitResult WaitForExitOrInput(platform::Deadline deadline) override {
    if (!startedEnded_) {
      const platform::WaitResult started = WaitForStartedProcess(deadline);
      if (started != platform::WaitResult::Ended) return started;
      startedEnded_ = true;
      endedAt_ = Clock::now();
      DWORD code = 0;
      if (::GetExitCodeProcess(process_.get(), &code)) ending_.exitCode = code;
      if (!job_) return platform::WaitResult::Ended;
    }
    return WaitForDescendants(deadline);
  }

  std::vector<Text> EndAll() override {
    std::vector<Text> ended;
    if (job_) {
      for (DWORD id : job_.ProcessIds()) {
        UniqueHandle handle = OpenToWait(id);
        if (handle && ::WaitForSingleObject(handle.get(), 0) == WAIT_TIMEOUT)
          ended.push_back(ImageName(handle.get(), id));
      }
      job_.End(ERROR_TIMEOUT);
    } else if (::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      ended.push_back(ImageName(process_.get(), ::GetProcessId(process_.get())));
      ::TerminateProcess(process_.get(), ERROR_TIMEOUT);
    }
    // Ending is asynchronous: the run goes on once they are gone (or a few seconds later).
    const auto gone = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < gone &&
           (job_ ? !job_.ProcessIds().empty()
                 : ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT)) {
      ::Sleep(50);
    }
    DWORD code = 0;
    if (!startedEnded_ && ::GetExitCodeProcess(process_.get(), &code)) ending_.exitCode = code;
    return ended;
  }

  // The job's handle goes too; with no kill-on-close limit that ends nothing.
  void CloseProcess() override {
    process_.reset();
    job_.Close();
  }

  platform::Ending Ended() const override {
    platform::Ending ending = ending_;
    for (const auto& [id, name] : descendants_) ending.descendants.push_back(name);
    return ending;
  }

 private:
  platform::WaitResult WaitForStartedProcess(platform::Deadline deadline) {
    HANDLE process = process_.get();
    // The process's state first: an ended process means no pump, even with input pending.
    // (Wine's X11 driver answers a combined wait with pending input before it looks at
    // the handles.)
    const DWORD state = ::WaitForSingleObject(process, 0);
    if (state == WAIT_OBJECT_0) return platform::WaitResult::Ended;
    if (state != WAIT_TIMEOUT) return platform::WaitResult::Failed;
    // Input that keeps coming must not keep the time limit from applying.
    if (deadline && Clock::now() >= *deadline) return platform::WaitResult::TimeUp;
    // MWMO_INPUTAVAILABLE also wakes for input that is already queued, not only for new
    // input.
    const DWORD result = ::MsgWaitForMultipleObjectsEx(1, &process, Remaining(deadline),
                                                       QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (result == WAIT_OBJECT_0) return platform::WaitResult::Ended;
    if (result == WAIT_OBJECT_0 + 1) return platform::WaitResult::InputAvailable;
    if (result == WAIT_TIMEOUT) return platform::WaitResult::TimeUp;
    return platform::WaitResult::Failed;
  }

  // The started program has ended; what it started may still be at work (an uninstaller that
  // copied itself to the temporary folder and handed over to the copy, say). Waits on the
  // job's processes still running until there is none, input comes, or the bound expires.
  platform::WaitResult WaitForDescendants(platform::Deadline deadline) {
    for (;;) {
      std::vector<UniqueHandle> running;
      std::vector<Text> names;
      bool unopened = false;
      for (DWORD id : job_.ProcessIds()) {
        UniqueHandle handle = OpenToWait(id);
        if (!handle) {
          unopened = true;
          names.push_back(ToText(L"proceso " + std::to_wstring(id)));
          continue;
        }
        // An id may have been reused by another process since the list was taken; where
        // that cannot be told, the id the job just gave is taken as the job's.
        if (job_.KnownNotIn(handle.get()) ||
            ::WaitForSingleObject(handle.get(), 0) != WAIT_TIMEOUT) {
          continue;
        }
        names.push_back(ImageName(handle.get(), id));
        descendants_.emplace(id, names.back());
        if (running.size() < MAXIMUM_WAIT_OBJECTS - 1) running.push_back(std::move(handle));
      }
      if (names.empty()) return platform::WaitResult::Ended;
      // Whichever bound comes first applies: the time limit ends what still runs, the bound
      // for what an uninstaller left running leaves it running.
      if (deadline && Clock::now() >= *deadline) return platform::WaitResult::TimeUp;
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - endedAt_);
      if (waited >= descendantsBound_) {
        ending_.leftRunning = names;
        return platform::WaitResult::Ended;
      }
      DWORD timeout =
          std::min(static_cast<DWORD>((descendantsBound_ - waited).count()), Remaining(deadline));
      if (unopened && timeout > kUnopenedRecheckMs) timeout = kUnopenedRecheckMs;
      std::vector<HANDLE> handles;
      for (const UniqueHandle& handle : running) handles.push_back(handle.get());
      const DWORD result = ::MsgWaitForMultipleObjectsEx(static_cast<DWORD>(handles.size()),
                                                         handles.data(), timeout, QS_ALLINPUT,
                                                         MWMO_INPUTAVAILABLE);
      if (result == WAIT_OBJECT_0 + handles.size()) return platform::WaitResult::InputAvailable;
      if (result == WAIT_FAILED) return platform::WaitResult::Failed;
      // A process ended, or the time is up: the job is looked at again.
    }
  }

  UniqueHandle process_;
  UniqueHandle thread_;
  Job job_;
  std::chrono::milliseconds descendantsBound_;
  bool othersCanReplace_;
  bool startedEnded_ = false;
  Clock::time_point endedAt_;
  platform::Ending ending_;
  std::map<DWORD, Text> descendants_;
};

}  // namespace

namespace {

// This program's environment as a block for CreateProcessW, with TEMP and TMP set to `temp`,
// sorted by name without regard to case, as Windows keeps it.
std::wstring EnvironmentWith(const std::optional<Text>& temp) {
  std::vector<std::wstring> entries;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* at = block; *at; at += std::wcslen(at) + 1) entries.emplace_back(at);
    ::FreeEnvironmentStringsW(block);
  }
  if (temp) {
    const auto named = [](const std::wstring& entry, const wchar_t* name) {
      const std::size_t length = std::wcslen(name);
      return entry.size() > length && entry[length] == L'=' &&
             ::CompareStringOrdinal(entry.c_str(), static_cast<int>(length), name,
                                    static_cast<int>(length), TRUE) == CSTR_EQUAL;
    };
    std::erase_if(entries, [&](const std::wstring& e) { return named(e, L"TEMP") || named(e, L"TMP"); });
    entries.push_back(L"TEMP=" + WideString(*temp));
    entries.push_back(L"TMP=" + WideString(*temp));
  }
  std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
    const std::wstring nameA = a.substr(0, a.find(L'=', 1)), nameB = b.substr(0, b.find(L'=', 1));
    return ::CompareStringOrdinal(nameA.c_str(), -1, nameB.c_str(), -1, TRUE) == CSTR_LESS_THAN;
  });
  std::wstring environment;
  for (const std::wstring& entry : entries) environment.append(entry).push_back(L'\0');
  environment.push_back(L'\0');
  return environment;
}

// An attribute list naming the one handle a started program inherits; no list where there is
// no handle to name or the platform refuses it.
class InheritedHandles {
 public:
  explicit InheritedHandles(HANDLE handle) : handle_(handle) {
    if (!handle_) return;
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (size == 0 || !::InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    list_ = list;
    if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_,
                                     sizeof handle_, nullptr, nullptr)) {
      ::DeleteProcThreadAttributeList(list_);
      list_ = nullptr;
    }
  }
  ~InheritedHandles() {
    if (list_) ::DeleteProcThreadAttributeList(list_);
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;

  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

 private:
  HANDLE handle_;  // the list points at it: it lives as long as the list
  std::vector<unsigned char> buffer_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

}  // namespace

Processes::Processes(std::chrono::milliseconds descendantsBound, const std::optional<Text>& temp) :
    descendantsBound_(descendantsBound), environment_(EnvironmentWith(temp)) {}

std::unique_ptr<platform::Process> Processes::Start(const Text& program, const Text& commandLine,
                                                    std::uint8_t show, bool administratorsOnly) {
  // The program's file, held from here until the process runs: readable, never writable or
  // deletable meanwhile, and reached without passing through a link.
  Walked file;
  if (OpenProgram(WideString(program), file)) return nullptr;
  const bool othersCanReplace =
      OthersMayChange(file.last.get()) || OthersMayChange(file.folder.get());
  if (administratorsOnly && othersCanReplace) return nullptr;
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = show;
  // Standard handles an agent gave us (its pipes) are not passed on, not even as values (Wine
  // passes them whatever the inheritance): the NUL device instead. Without any, a console
  // uninstaller still gets a console of its own, as always.
  UniqueFile nul;
  for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE given = ::GetStdHandle(which);
    if (!given || given == INVALID_HANDLE_VALUE || nul) continue;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    nul.reset(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inheritable, OPEN_EXISTING, 0, nullptr));
  }
  // NUL is the only handle inherited, named in a list of its own: any other handle of ours
  // that is inheritable (one an agent let this program inherit besides its standard ones,
  // say) stays ours. Where the platform refuses the list, nothing is inherited at all.
  InheritedHandles inherited(nul.get());
  if (inherited.list()) {
    startup.lpAttributeList = inherited.list();
    startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = startup.StartupInfo.hStdOutput =
        startup.StartupInfo.hStdError = nul.get();
  }
  PROCESS_INFORMATION info{};
  // Suspended until it is in its job: nothing it starts can escape the wait. Its current
  // folder is the system folder, not the agent's.
  const std::wstring folder = WideString(SystemFolder());
  const auto create = [&](bool listed) {
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::wstring buffer = WideString(commandLine);
    return ::CreateProcessW(
        WideString(program).c_str(), buffer.data(), nullptr, nullptr, listed,
        NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT |
            (listed ? EXTENDED_STARTUPINFO_PRESENT : 0),
        environment_.data(), folder.c_str(), &startup.StartupInfo, &info);
  };
  if (!(inherited.list() && create(true))) {
    // Standard handles are passed only with inheritance on: here the started program gets none.
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    startup.StartupInfo.dwFlags &= ~STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = startup.StartupInfo.hStdOutput =
        startup.StartupInfo.hStdError = nullptr;
    if (!create(false)) return nullptr;
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  // Without a job (an older Windows, or a job around this program that forbids nesting),
  // the program alone is waited for.
  Job job;
  if (job && !job.Assign(process.get())) job.Close();
  if (::ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
    ::TerminateProcess(process.get(), ERROR_PROCESS_ABORTED);  // it never ran a single instruction
    return nullptr;
  }
  return std::make_unique<Process>(std::move(process), std::move(thread), std::move(job),
                                   descendantsBound_, othersCanReplace);
}

bool Processes::IsFile(const Text& path) {
  const DWORD attributes = ::GetFileAttributesW(WideString(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Text Processes::ExpandEnvironment(const Text& text) {
  const std::wstring wide = WideString(text);
  std::wstring expanded(wide.size() + 1, L'\0');
  for (;;) {
    const DWORD needed = ::ExpandEnvironmentStringsW(wide.c_str(), expanded.data(),
                                                     static_cast<DWORD>(expanded.size()));
    if (needed == 0) return text;  // nothing better than the text as read
    if (needed <= expanded.size()) {
      expanded.resize(needed - 1);
      return ToText(expanded);
    }
    expanded.resize(needed);
  }
}

Text Processes::SystemFolder() {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  return length && length < MAX_PATH ? ToText(folder, length) : Text(u"C:\\Windows\\System32");
}

bool Processes::SixtyFourBitProgram() { return sizeof(void*) == 8; }

bool Processes::SystemFolderRedirected() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace win32
