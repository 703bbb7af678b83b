// Baseline of the sweep benchmark: removes what the clean-up removes from an install folder
// (its datos folder and every executable at its top but kavro.exe) the plain way, by path: a
// listing per folder, DeleteFileW and RemoveDirectoryW. Prints the milliseconds it took.
//
//   kavro_delete_by_path FOLDER
#include <windows.h>

#include <string>

#include "timed.h"

namespace {

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        ::DeleteFileW(path.c_str());
      }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const std::wstring folder = argv[1];
  return bench::PrintMilliseconds([&] {
    RemoveTree(folder + L"\\datos");
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileExW((folder + L"\\*.exe").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if (_wcsicmp(found.cFileName, L"kavro.exe") != 0)
          ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
      } while (::FindNextFileW(find, &found));
      ::FindClose(find);
    }
    return 0;
  });
}
