#pragma once
// Form1: the program's only window and the uninstall run that its activation starts.
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/window.h"

// Exit status of the process, for deployment tools.
enum ExitStatus : int {
  kExitCompleted = 0,    // the run reached its end
  kExitErrorBox = 2,     // the run ended on the error box
};

// The platform operations the run uses.
struct Platform {
  platform::Window& window;
  platform::Registry& registry;
  platform::Processes& processes;
};

class Form1 {
 public:
  explicit Form1(Platform platform);

  // Called by the window the first time it becomes active, once shown and painted. Runs the
  // whole run; an error that nothing absorbed ends it with the error box and unloads the
  // window.
  void Activated();

  int ExitCode() const { return exitCode_; }

 private:
  // The run's phases, in the order they are called.
  void Form_Activate();
  void FindComponents();
  void RunUninstallers();

  Platform platform_;
  int exitCode_ = kExitCompleted;
  bool everyCommandStarted_ = true;
};
