#pragma once
// The plan: what a run does on this PC. Each of its parts is worked out by one function below,
// from what is there, before that part is carried out. /list works the whole plan out at once,
// does none of it and prints it; the run works each part out as its phase comes, with the same
// functions, and carries it out (what its earlier phases did changes what is there: the
// closing ends programs, the uninstallers remove files and entries).
#include <cstddef>
#include <optional>
#include <vector>

#include "launch/Gene.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "run/RunLog.h"
#include "run/Suite.h"

namespace plan {

// One component and the command that removes it: the value chosen (as its row gives it back,
// or its quiet one), made ready as it is handed over (the program resolved, the Windows
// Installer form, the 64-bit expansion).
struct Removal {
  suite::Component component;
  Text read;            // the command as read (the row's, or the quiet one), before Prepare
  Gene::Launching how;  // the run adds its time limit and what it watches for
  Gene::Prepared command;
};

struct Plan {
  std::vector<Removal> components;                  // in the order they run
  std::vector<suite::UserEntries> perUser;          // users' own entries: never run
  bool installFolderIsLink = false;                 // then nothing in it is closed or deleted
  std::vector<platform::RunningProgram> toClose;    // the suite's programs running
  std::optional<std::size_t> dataFiles;             // the data folder, with its files
  std::vector<Text> executables;                    // full paths, in the sweep's order
  std::vector<Text> shortcuts;                      // on every desktop
};

// Discovery (each component found is logged) and each component's command. Where nobody can
// answer, a component's quiet command is chosen and msiexec runs with /qn; with a folder for
// them (one no ordinary user may change), each Windows Installer removal writes its own log
// there.
std::vector<Removal> Components(platform::Registry& registry, platform::Processes& processes,
                                RunLog& log, bool someoneCanAnswer, const Text& msiexecLogFolder);

// "clave <key>, nombre "<name>"": a component as the log names it.
Text Named(const suite::Component& component);

// What the clean-up keeps for the next run while a machine-wide component remains after the
// uninstall phase, whatever kept it (its uninstaller failed, found another installation under
// way or reached the time limit; it could not be started, or was not run): the data folder,
// since the suite is still installed, and each file in c:\kavro that a remaining component's
// command names (its program; a package given by its path), which its retry needs. Nothing
// when every component is gone: the clean-up is then whole. `verdicts`: one per component, in
// order (fewer when the run stopped early).
struct Kept {
  std::vector<Text> remaining;  // each component that remains (Named)
  struct File {
    Text path;       // full path, in c:\kavro
    Text component;  // the one that needs it (Named)
  };
  std::vector<File> files;
  // The component a file is kept for, by its full path in any letter case; nothing if none.
  const File* For(const Text& path) const;
};
Kept KeptForRetry(const std::vector<Removal>& components, const std::vector<Verdict>& verdicts);

// The suite's programs running from c:\kavro, when it is a real folder: what runs from a
// link's target is none of the suite's. Each process whose program could not be read is
// logged, and left out.
std::vector<platform::RunningProgram> ProgramsToClose(platform::FileSystem& files,
                                                      platform::Processes& processes, RunLog& log);

// The executables the sweep deletes from the held install folder: the ones its file list shows
// (platform::Listed) but the main one.
std::vector<Text> StrayExecutables(platform::Folder& install);

// The shortcut's paths on every desktop (suite::Desktops) where it is; `user`: the running
// user's desktop, as the shell named it.
std::vector<Text> Shortcuts(platform::Registry& registry, platform::Shell& shell,
                            platform::Processes& processes, platform::FileSystem& files,
                            const std::optional<Text>& user);

// The whole plan, worked out without doing any of it: the registry only read, nothing
// started, closed or deleted.
Plan Make(platform::Registry& registry, platform::Processes& processes, platform::Shell& shell,
          platform::FileSystem& files, RunLog& log, bool someoneCanAnswer,
          const Text& msiexecLogFolder);

// The plan as /list reports it, an item a line, in Spanish (each logged too); `suitePresent`:
// the run would remove something (a user's own entry, which it leaves, does not count).
struct Report {
  std::vector<Text> lines;
  bool suitePresent = false;
};
Report Print(const Plan& plan, RunLog& log);

}  // namespace plan
