// Program start: reads the command line, opens the run's log, creates Form1 and dispatches its
// events until the run has unloaded it. The process exits with the run's exit status.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>

#include "main/resource.h"
#include "platform/win32/files.h"
#include "platform/win32/form_window.h"
#include "platform/win32/log_file.h"
#include "platform/win32/no_follow.h"
#include "platform/win32/process.h"
#include "platform/win32/receipt.h"
#include "platform/win32/registry.h"
#include "platform/win32/run_mark.h"
#include "platform/win32/run_temp.h"
#include "platform/win32/session.h"
#include "platform/win32/shell.h"
#include "platform/win32/unique.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"
#include "run/BoxOrLog.h"
#include "run/CommandLine.h"
#include "run/Form1.h"
#include "run/Plan.h"

namespace {

// Test-only: how long the processes an uninstaller started are still waited for once it has
// ended, in milliseconds, instead of ten minutes (docs/developers.md, "A setting for tests only").
std::chrono::milliseconds DescendantsBound() {
  wchar_t value[32];
  const DWORD length = ::GetEnvironmentVariableW(L"KAVRO_TEST_DESCENDANTS_WAIT_MS", value, 32);
  if (length == 0 || length >= 32) return std::chrono::minutes(10);
  return std::chrono::milliseconds(_wtoi(value));
}

// /list: what a run would do, reported to the log, to standard output when that is a file or
// a pipe, and in one box where someone can answer. 0: nothing of the suite here; 3: some.
int List(RunLog& log, bool someoneCanAnswer, const Text& msiexecLogFolder) {
  win32::Registry registry;
  win32::Processes processes;
  win32::Shell shell;
  win32::FileSystem files;
  const plan::Report inventory = plan::Print(
      plan::Make(registry, processes, shell, files, log, someoneCanAnswer, msiexecLogFolder), log);
  Text report;
  for (const Text& line : inventory.lines) report += line + u"\r\n";
  if (!inventory.suitePresent) report += u"La aplicación KavroII No está instalada en el equipo\r\n";
  win32::WriteToStandardOutput(report);
  if (someoneCanAnswer)
    ::MessageBoxW(nullptr, win32::Wide(report), L"DesinstalaKavro", MB_OK | MB_ICONINFORMATION);
  const int status = inventory.suitePresent ? kExitComponentsRemain : kExitCompleted;
  log.InventoryEnded(status, inventory.suitePresent);
  return status;
}

int Run(HINSTANCE instance, const CommandLine& options, RunLog& log, bool someoneCanAnswer,
        const std::optional<Text>& temp, const Text& msiexecLogFolder,
        const std::function<void(const Text&)>& stepStarted,
        std::optional<Text>& othersCouldChange) {
  if (options.action == CommandLine::Action::List)
    return List(log, someoneCanAnswer, msiexecLogFolder);
  if (options.action != CommandLine::Action::Run) {
    const Text usage = UsageText();
    log.Message(usage, options.action == CommandLine::Action::Help ? platform::Severity::Information
                                                                   : platform::Severity::Error);
    if (someoneCanAnswer) {
      ::MessageBoxW(nullptr, win32::Wide(usage), L"DesinstalaKavro", MB_OK | MB_ICONINFORMATION);
    }
    return options.action == CommandLine::Action::Help ? kExitCompleted : kExitInvalidCommandLine;
  }
  try {
    win32::FormWindow window(instance, IDI_KAVRO);
    BoxOrLog boxOrLog(window, log, someoneCanAnswer);
    win32::Registry registry;
    win32::Processes processes(DescendantsBound(), temp);
    win32::Shell shell;
    Form1 form({boxOrLog, registry, processes, shell,
                [] { return std::make_unique<win32::FileSystem>(); }},
               log, {someoneCanAnswer, TimeLimit(options, someoneCanAnswer), msiexecLogFolder,
                     CloseWait(options), stepStarted, othersCouldChange});
    window.SetActivateHandler([&form] { form.Activated(); });
    window.SetEndSessionHandler([&form] { form.SessionEnding(); });
    window.SetErrorHandler([&boxOrLog](const platform::Error& error) { boxOrLog.ShowErrorBox(error); });
    if (!options.quiet) window.Show();
    // Where nobody can answer, nobody activates the window either: the run starts by itself.
    if (!someoneCanAnswer) window.StartRun();
    window.RunMessageLoop();
    othersCouldChange = form.OthersCouldChange();
    return window.Failed() ? kExitErrorBox : form.ExitCode();
  } catch (const platform::Error& error) {
    // The window could not be built: there is no window to own the box.
    log.Error(error);
    if (someoneCanAnswer) win32::ShowErrorBox(nullptr, error);
    return kExitErrorBox;
  }
}

// DLLs loaded by name from now on come from the system folder only, never from this
// program's folder or the current one, where anyone may have put one beside a downloaded
// copy. (Windows 7 has the function only with its update KB2533623: looked up, not imported.)
void LoadLibrariesFromSystemFolderOnly() {
  using Fn = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  ::SetDllDirectoryW(L"");  // and never the current folder, even where that is missing
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  LoadLibrariesFromSystemFolderOnly();
  // The standard handles an agent gave us (its pipes) are never handed on to what we start.
  for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
    ::SetHandleInformation(::GetStdHandle(which), HANDLE_FLAG_INHERIT, 0);
  win32::ComApartment com;
  const CommandLine options = ParseCommandLine(win32::Arguments());
  const bool someoneCanAnswer =
      SomeoneCanAnswer(options, win32::StationVisible(), win32::SessionId());
  // A run while another is under way would run the same uninstallers beside it, and could
  // delete the data folder under the other's feet: it does nothing at all, and says so once.
  // (Showing the usage text and /list take no part.) The mark comes before the log is opened.
  std::optional<win32::RunMark> mark;
  if (options.action == CommandLine::Action::Run) mark.emplace();
  win32::LogFile file(options.logPath);
  RunLog log(file);
  if (const auto& refused = file.refused()) log.LogRefused(refused->first, refused->second);
  if (mark && mark->found() == win32::RunMark::Found::AnotherRun) {
    log.AnotherRunUnderWay(kExitRetry);
    return kExitRetry;
  }
  // The version and the commit it was built from: the log's start line and the receipt.
  const Text version = win32::ToText(L"" KAVRO_BUILD_TEXT);
  log.Started(version, win32::RawCommandLine(), win32::UserName(), someoneCanAnswer, file.Path());
  // An agent that collects the output learns which file to collect, fresh name or not.
  if (!file.Path().empty()) win32::WriteToStandardOutput(u"Registro: " + file.Path() + u"\r\n");
  if (mark && mark->found() == win32::RunMark::Found::Unmarked)
    log.Unmarked(mark->path(), *mark->error());
  const bool marked = mark && mark->found() == win32::RunMark::Found::Nothing;
  if (marked) {
    // What a run ended from outside left: said, and its temporary folder removed (no other
    // run is under way while this one holds the mark).
    if (const auto& cut = mark->earlierRunCut()) log.EarlierRunCut(cut->started, cut->step);
    mark->Begin(u"el inicio");
    const win32::EarlierTemps earlier = win32::RemoveEarlierTemps();
    for (const Text& path : earlier.removed) log.EarlierTempRemoved(path);
    for (const Text& path : earlier.left) log.EarlierTempLeft(path);
  }
  const Text receiptKey = u"HKEY_LOCAL_MACHINE\\" + win32::ToText(win32::kReceiptKey);
  const auto record = [&](const Receipt& receipt) {
    const std::optional<platform::Error> error = win32::RecordReceipt(receipt, version, file.Path());
    if (error) log.ReceiptNotRecorded(receiptKey, *error);
    return !error;
  };
  std::optional<win32::RunTemp> temp;
  if (options.action == CommandLine::Action::Run) {
    // Until this run's end replaces it, the receipt says that something may remain.
    record(ReceiptOf(std::nullopt));
    temp.emplace();
    if (temp->path()) {
      log.UninstallersTemp(*temp->path());
    } else {
      log.NoUninstallersTemp(*temp->error());
    }
  }
  // msiexec's logs go only where no ordinary user can reach, whatever /log says.
  Text msiexecLogFolder;
  if (options.action == CommandLine::Action::Run || options.action == CommandLine::Action::List) {
    win32::Walked walked;
    std::wstring folder;
    if (const DWORD error = win32::AdministratorsLogFolder(walked, folder)) {
      log.NoMsiexecLogFolder(win32::ErrorFromCode(error));
    } else {
      msiexecLogFolder = win32::ToText(folder);
    }
  }
  // What an earlier run found others could change stays said until c:\kavro is gone.
  std::optional<Text> othersCouldChange =
      options.action == CommandLine::Action::Run ? win32::OthersCouldChangeBefore() : std::nullopt;
  const int status = Run(instance, options, log, someoneCanAnswer,
                         temp ? temp->path() : std::nullopt, msiexecLogFolder,
                         [&](const Text& step) {
                           if (marked) mark->Step(step);
                         },
                         othersCouldChange);
  if (temp && !temp->Remove()) log.UninstallersTempLeft(*temp->path());
  Receipt receipt = ReceiptOf(status);
  receipt.othersCouldChange = othersCouldChange;
  if (options.action == CommandLine::Action::Run && record(receipt))
    log.ReceiptRecorded(receiptKey, receipt);
  if (options.action != CommandLine::Action::List) log.Ended(status);  // /list says its own end
  if (marked) mark->End();
  return status;
}
