#pragma once
// The run's log on Windows: UTF-8 text (with a byte-order mark when the file is new), CRLF
// line ends and a local timestamp on every line, appended, so that Notepad and the log
// viewers of deployment tools read it as it is.
//
// The program runs with administrator or SYSTEM rights and the log's folder (%TEMP%) may be
// one other users can write to, so the log is never written through a link: a path that is a
// symbolic link, junction or other reparse point, or a file with more than one name, is not
// opened; a fresh name beside it is tried instead, and without one there is no log.
#include "platform/log.h"
#include "platform/win32/unique.h"

namespace win32 {

class LogFile final : public platform::LogFile {
 public:
  explicit LogFile(const Text& path);
  void Append(const Text& line) override;
  bool IsOpen() const { return static_cast<bool>(file_); }

 private:
  UniqueFile file_;
};

// %TEMP%\DesinstalaKavro1.log: for a SYSTEM run, the system's temporary folder.
Text DefaultLogPath();

}  // namespace win32
