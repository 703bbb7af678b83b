#pragma once
// The run's log on Windows: UTF-8 text (with a byte-order mark when the file is new), CRLF
// line ends, one entry a line in the layout of configuration-management logs (local time,
// bias, date, severity and thread), appended, so that Notepad and the log viewers of
// deployment tools read it as it is.
//
// The program runs with administrator or SYSTEM rights, often in folders other users can
// write to, so the log is never written through a link, at any step of its path, nor into a
// file someone else could rewrite afterwards: a path that is a link, a file with more than
// one name, or one owned by another user, is left alone, and a fresh file of a name nobody
// can guess is made beside it instead; without one there is no log.
#include <optional>
#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/log.h"
#include "platform/win32/unique.h"

namespace win32 {

struct Walked;

// The administrators' log folder, %SystemRoot%\Logs\Software (where deployment toolkits keep
// their logs), walked to without links, made when missing (writable by administrators only),
// and checked that no account but those the program trusts may change it: 0 and its path, or
// why it cannot be had.
DWORD AdministratorsLogFolder(Walked& folder, std::wstring& path);

// A log file another program (msiexec) appends to: the file `path`, in a folder reached without
// links, made new with SYSTEM's and the administrators' permissions only, or the plain file of
// ours already there (as the run's own log is opened); 0, or why not.
DWORD MakeLog(const std::wstring& path);

class LogFile final : public platform::LogFile {
 public:
  // The given file (where it cannot be used at all, the default one instead: see refused); by
  // default %SystemRoot%\Logs\Software\DesinstalaKavro1.log (the folders
  // made when missing, writable by administrators only), else %TEMP%\DesinstalaKavro1.log.
  explicit LogFile(const std::optional<Text>& path);
  void Append(const Text& text, platform::Severity severity) override;
  // The file actually written (a fresh name where the one asked for was someone else's);
  // empty when there is none.
  const Text& Path() const { return path_; }
  // The file asked for with /log, and why it could not be used, when the log went elsewhere.
  const std::optional<std::pair<Text, platform::Error>>& refused() const { return refused_; }

 private:
  UniqueFile file_;
  Text path_;
  std::optional<std::pair<Text, platform::Error>> refused_;
};

}  // namespace win32
