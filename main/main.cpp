// Program start: creates Form1, shows it centred and dispatches its events until the run has
// unloaded it. The process exits with the run's exit status.
#include <windows.h>

#include "platform/win32/files.h"
#include "platform/win32/form_window.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/shell.h"
#include "platform/win32/unique.h"
#include "platform/win32/win_error.h"
#include "run/Form1.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  win32::ComApartment com;
  try {
    win32::FormWindow window(instance);
    win32::Registry registry;
    win32::Processes processes;
    win32::Shell shell;
    Form1 form({window, registry, processes, shell,
                [] { return std::make_unique<win32::FileSystem>(); }});
    window.SetActivateHandler([&form] { form.Activated(); });
    window.Show();
    window.RunMessageLoop();
    return window.Failed() ? kExitErrorBox : form.ExitCode();
  } catch (const platform::Error& error) {
    // The window could not be built: there is no window to own the box.
    win32::ShowErrorBox(nullptr, error);
    return kExitErrorBox;
  }
}
