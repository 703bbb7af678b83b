#pragma once
// Form1: the program's only window and the uninstall run that its activation starts.
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/window.h"
#include "run/ExitStatus.h"
#include "run/Plan.h"
#include "run/RunLog.h"
#include "run/Suite.h"

// The platform operations the run uses.
struct Platform {
  platform::Window& window;
  platform::Registry& registry;
  platform::Processes& processes;
  platform::Shell& shell;
  // Makes the window's file-system object; called once, on its first use.
  std::function<std::unique_ptr<platform::FileSystem>()> newFileSystem;
};

// How this run goes.
struct RunOptions {
  bool someoneCanAnswer = true;       // someone sees the window and can answer an uninstaller
  std::chrono::seconds timeLimit{0};  // of each component's uninstall; zero for none
  // Where msiexec writes each Windows Installer removal's verbose log: a folder no ordinary
  // user may change (the administrators' log folder); empty: msiexec runs without one.
  Text msiexecLogFolder;
  // How long the suite's programs in other sessions have, once their users are told, before
  // they are ended.
  std::chrono::seconds closeWait{60};
  // Told of each step as the run enters it, so that a run ended from outside can be named by
  // the next one with the step it had reached.
  std::function<void(const Text&)> stepStarted = nullptr;
  // Where an earlier run found that users other than the trusted ones could change c:\kavro
  // or something in it (the first such path), before it made them the administrators': what
  // was put there then is still there, now with the administrators' permissions.
  std::optional<Text> othersCouldChangeBefore = std::nullopt;
};

class Form1 {
 public:
  // The window given here decides for itself whether a message box is shown (BoxOrLog).
  Form1(Platform platform, RunLog& log, RunOptions options = {});

  // Called by the window the first time it becomes active, once shown and painted. Runs the
  // whole run; an error that nothing absorbed ends it with the error box and unloads the
  // window.
  void Activated();

  int ExitCode() const { return exitCode_; }

  // The first path of c:\kavro that others could change, found by this run or an earlier one,
  // while c:\kavro is there: every later run repeats its warning (it goes with the receipt).
  const std::optional<Text>& OthersCouldChange() const { return othersCouldChange_; }

  // The session is ending (a logoff or shutdown) while the run is under way: the program is
  // about to be ended; the log says at which step.
  void SessionEnding();

 private:
  // The run: its phases, in order. Each works out its part of the plan (run/Plan.h) when it
  // comes, and carries it out.
  void Form_Activate();
  void FindComponents();
  void TakeOverInstallFolder();
  void CloseSuitePrograms();
  void RunUninstallers();
  void CleanInstallFolder();
  void DeleteDataFolder(platform::Folder& install, const plan::Kept& kept);
  void SweepInstallFolder(platform::Folder& install, const plan::Kept& kept);
  // One component's verdict, for the exit status and for what the clean-up keeps.
  void Judged(Verdict verdict);
  // Files another program holds, and folders too deep to walk, left where they are: said, and
  // something of the suite remains.
  void LeftHeld(const std::vector<Text>& paths);
  void LeftTooDeep(const std::vector<Text>& paths);
  void RemoveDesktopShortcut();

  // Fso: the window's file-system object, made on first use.
  platform::FileSystem& Fso();

  Platform platform_;
  RunLog& log_;
  RunOptions options_;
  // What the run is doing, for a log line if the session ends meanwhile, and for stepStarted.
  void Step(Text step);
  Text step_;
  std::unique_ptr<platform::FileSystem> fso_;
  std::vector<plan::Removal> components_;  // what each row of LstKeys came from, in order
  UninstallResults results_;
  std::vector<Verdict> verdicts_;  // of each component, in the order of components_
  std::optional<Text> othersCouldChange_;
  // What the take-over made of c:\kavro. Refused: nothing runs from it; taken: a program in it
  // others may change was put there since, and is not run; made: there was none, and one of
  // the administrators' holds its name until the end.
  enum class InstallFolder { None, Taken, Refused, Made } installFolder_ = InstallFolder::None;
  int exitCode_ = kExitErrorBox;  // until the run reaches its end
};
