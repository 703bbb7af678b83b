#pragma once
// Form1: the program's only window and the uninstall run that its activation starts.
#include "platform/window.h"

// Exit status of the process, for deployment tools.
enum ExitStatus : int {
  kExitCompleted = 0,    // the run reached its end
  kExitErrorBox = 2,     // the run ended on the error box
};

class Form1 {
 public:
  explicit Form1(platform::Window& window);

  // Called by the window the first time it becomes active, once shown and painted. Runs the
  // whole run; an error that nothing absorbed ends it with the error box and unloads the
  // window.
  void Activated();

  int ExitCode() const { return exitCode_; }

 private:
  void Form_Activate();

  platform::Window& window_;
  int exitCode_ = kExitCompleted;
};
