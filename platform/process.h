#pragma once
// Starting a command line as a new process and waiting for it and for every process it starts.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"

namespace platform {

using Deadline = std::optional<std::chrono::steady_clock::time_point>;  // nothing: no limit

enum class WaitResult {
  Ended,           // the process and the processes it started have ended (or are given up on)
  InputAvailable,  // the window has events to process; the wait is not over
  Failed,          // the process's state can no longer be waited on
  TimeUp,          // the deadline passed with some of them still running
};

// How a started process ended, known once the wait is over.
struct Ending {
  std::optional<std::uint32_t> exitCode;  // of the started process; nothing when not known
  // False when the process could not be put in a job of its own (an older Windows, or a job
  // around this program that forbids it): then only the started process was waited for.
  bool wholeTree = false;
  std::vector<Text> descendants;  // programs it started that were still running when it ended
  std::vector<Text> leftRunning;  // of those, the ones no longer waited for when the bound expired
  bool timeLimitReached = false;  // the deadline passed first: what still ran was ended
  std::vector<Text> ended;        // the programs ended then
};

// A started process. It owns the process's handles; whatever is still open when it goes
// away is closed then. Nothing it started is ever ended by it, but by EndAll.
class Process {
 public:
  virtual ~Process() = default;
  // Waits until the process is ready for input, but a few seconds at most; a process without
  // a message queue (a console program) makes this return at once.
  virtual void WaitForInputIdle() = 0;
  virtual void CloseThread() = 0;
  // Returns as soon as the process and every process it started have ended, the window has
  // input, or the deadline passes; costs no processor time meanwhile. Processes it started
  // that still run a bounded time after it ended are no longer waited for.
  virtual WaitResult WaitForExitOrInput(Deadline deadline) = 0;
  // Ends the process and every process it started that still runs, waits a few seconds for
  // them to be gone, and returns their programs.
  virtual std::vector<Text> EndAll() = 0;
  virtual void CloseProcess() = 0;
  virtual Ending Ended() const = 0;
  // True when users other than SYSTEM, the administrators, TrustedInstaller and the user this
  // program runs as may change the program's file or its folder: any of them could have
  // replaced it before it was started.
  virtual bool OthersCanReplace() const = 0;
};

// A session the platform could not tell.
inline constexpr std::uint32_t kUnknownSession = 0xFFFFFFFFu;

// A running process and its program file.
struct RunningProgram {
  std::uint32_t id = 0;
  Text path;
  std::uint32_t session = 0;  // the Terminal Services session it runs in
  Text user;                  // DOMAIN\user it runs as ("?" when it cannot be read)
  // Why its program file could not be read (it could not be opened, say): `path` is then only
  // the name the list of processes gives, and whether it runs from the folder is not known.
  std::optional<Error> unreadable = std::nullopt;
};

// A session's connection, as Terminal Services reports it.
enum class Connection { Active, Connected, Disconnected, Other, Unknown };

// Held while it lives: this program may open every process of the computer, other users' too
// (where its token holds the right to, as an administrator's and SYSTEM's do).
class ProcessReach {
 public:
  virtual ~ProcessReach() = default;
};

// What became of a program asked to close.
enum class Closing {
  Closed,     // it ended by itself (or was gone already)
  Ended,      // it was ended
  Untouched,  // it could be neither asked nor ended (not this program's to end): still running
};

class Processes {
 public:
  virtual ~Processes() = default;
  // Lets this program open other users' processes until the returned owner goes (Windows
  // grants an administrator other users' processes only with the debug privilege enabled).
  virtual std::unique_ptr<ProcessReach> ReachAllProcesses() = 0;
  // The processes running now whose program file lies in the folder or below it, this
  // program itself left out; and every process whose program file could not be read, marked
  // `unreadable`.
  virtual std::vector<RunningProgram> RunningFrom(const Text& folder) = 0;
  // Asks the programs to close: WM_CLOSE to each top-level window of theirs that this
  // program can reach; waits up to `grace` for them to end, calling `pump` whenever the
  // window has input; then ends those still running and, at once, those without such a
  // window, unless `told` (their user was told by a notice: they are waited for too). For
  // each, in order, what became of it.
  virtual std::vector<Closing> Close(const std::vector<RunningProgram>& programs,
                                     std::chrono::milliseconds grace,
                                     const std::function<void()>& pump, bool told) = 0;
  // The session this program runs in.
  virtual std::uint32_t OwnSession() = 0;
  // Shows the user of the session a message box (OK only, never a question) without waiting
  // for it to be closed; the box goes by itself after `timeout`. Why not, when it could not
  // be shown.
  virtual std::optional<Error> Notify(std::uint32_t session, const Text& title, const Text& text,
                                      std::chrono::seconds timeout) = 0;
  // Whether a user is connected to the session (a disconnected one sees no notice).
  virtual Connection ConnectionOf(std::uint32_t session) = 0;
  // Starts the program (a full path, never searched for) with the command line and the
  // window-show code for its first window, at normal priority, inheriting none of this
  // program's handles but the NUL device as its standard handles (an agent's pipes, and any
  // other handle an agent let this program inherit, must not keep the agent reading while a
  // helper it leaves runs), in the system folder, with this program's environment but for TEMP
  // and TMP, which name a folder only administrators may change. The program's file is opened
  // first, without following links and without write or delete sharing, and held until the
  // process runs, so nobody can swap it in between. Nothing when it is a link, or the platform
  // refuses; nor, with `administratorsOnly`, when users other than those the program trusts
  // may change it or its folder (in a folder made the administrators' for this run, such a
  // program was put there since).
  virtual std::unique_ptr<Process> Start(const Text& program, const Text& commandLine,
                                         std::uint8_t show, bool administratorsOnly) = 0;
  // True when a file (not a folder) is at the path.
  virtual bool IsFile(const Text& path) = 0;
  // The text with its %VARIABLE% references replaced by the environment's values.
  virtual Text ExpandEnvironment(const Text& text) = 0;
  // The system folder as this program sees it (System32, or SysWOW64 for a 32-bit program
  // on 64-bit Windows, which the platform redirects to), without a trailing backslash.
  virtual Text SystemFolder() = 0;
  // True when the platform redirects that folder for this program (a 32-bit program on 64-bit
  // Windows): 64-bit Windows' own is then reached as Sysnative, and what this program starts
  // from it runs from SysWOW64.
  virtual bool SystemFolderRedirected() = 0;
  // True for a 64-bit build of this program (the stand-in for the shipped 32-bit one on hosts
  // that run no 32-bit code).
  virtual bool SixtyFourBitProgram() = 0;
};

}  // namespace platform
