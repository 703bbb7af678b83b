#include "platform/win32/run_mark.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/log_file.h"
#include "platform/win32/no_follow.h"
#include "platform/win32/security.h"
#include "platform/win32/wide.h"
#include "platform/win32/win_error.h"

namespace win32 {
namespace {

constexpr ULONG kOpenIf = 3;  // FILE_OPEN_IF
const Text kUnderWay = u"en curso";

// The lock file's text: "en curso", the start and the step, a line each (UTF-16, as Text is);
// empty once the run reached its end.
std::optional<RunMark::Cut> ReadCut(HANDLE lock) {
  std::vector<char16_t> text(4096);
  DWORD read = 0;
  OVERLAPPED at{};
  if (!::ReadFile(lock, text.data(), static_cast<DWORD>(text.size() * sizeof(char16_t)), &read, &at))
    return std::nullopt;
  const Text state(text.data(), read / sizeof(char16_t));
  std::vector<Text> lines;
  for (std::size_t from = 0; from <= state.size();) {
    const std::size_t end = std::min(state.find(u'\n', from), state.size());
    lines.push_back(state.substr(from, end - from));
    from = end + 1;
  }
  if (lines.size() < 2 || lines[0] != kUnderWay) return std::nullopt;
  return RunMark::Cut{lines[1], lines.size() > 2 ? lines[2] : Text()};
}

}  // namespace

RunMark::RunMark() {
  Walked walked;
  std::wstring folder;
  DWORD error = AdministratorsLogFolder(walked, folder);
  path_ = ToText(folder + L"\\DesinstalaKavro1.lock");
  // The file stays between runs (deleted on closing, any handle left on it, even one that
  // only reads its attributes, would keep it "delete pending" for every later run), and only
  // SYSTEM and the administrators may open it for anything that shares with nobody.
  const UniqueDescriptor lockDescriptor = DescriptorFrom(kSystemAndAdministrators);
  if (!error && !lockDescriptor) error = ERROR_INVALID_SECURITY_DESCR;
  if (!error) {
    error = OpenRelative(walked.folder.get(), L"DesinstalaKavro1.lock",
                         FILE_READ_DATA | FILE_WRITE_DATA | FILE_READ_ATTRIBUTES, 0, kOpenIf,
                         FILE_NON_DIRECTORY_FILE, lock_, lockDescriptor.get());
    if (!error && !IsEntryItself(lock_.get(), walked.folderName, L"DesinstalaKavro1.lock")) {
      lock_.reset();
      error = kReparsePointEncountered;
    }
  }
  if (error == ERROR_SHARING_VIOLATION) {
    found_ = Found::AnotherRun;
  } else if (error) {
    error_ = ErrorFromCode(error);
  } else {
    found_ = Found::Nothing;
    cut_ = ReadCut(lock_.get());
  }
}

void RunMark::Begin(const Text& step) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  wchar_t started[32];
  std::swprintf(started, 32, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  started_ = ToText(started);
  Step(step);
}

void RunMark::Step(const Text& step) {
  if (!started_.empty()) Write(kUnderWay + u'\n' + started_ + u'\n' + step);
}

void RunMark::End() {
  Write(Text());
  started_.clear();
}

// Rewrites the whole file through the held handle (nobody else can open it meanwhile).
void RunMark::Write(const Text& state) {
  if (!lock_) return;
  DWORD written = 0;
  OVERLAPPED at{};
  ::WriteFile(lock_.get(), state.data(), static_cast<DWORD>(state.size() * sizeof(char16_t)),
              &written, &at);
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = written;
  ::SetFileInformationByHandle(lock_.get(), FileEndOfFileInfo, &end, sizeof end);
}

}  // namespace win32
