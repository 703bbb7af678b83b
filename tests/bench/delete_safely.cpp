// Baseline of the sweep benchmark: removes what the clean-up removes from an install folder
// (its datos folder and every executable at its top but kavro.exe) with the fewest calls that
// keep the clean-up's guarantees: the folder opened once without following it; each entry
// opened relative to its folder's handle without following it (FILE_OPEN_REPARSE_POINT), judged
// a link by the listing or by its own handle's name (Wine follows links on open and shows a
// link to a file as a plain file: only the name tells), and deleted through that handle; a
// folder's entries read through its handle. Prints the milliseconds it took.
//
//   kavro_delete_safely FOLDER
#include <windows.h>

#include <string>
#include <vector>

#include "by_handle.h"
#include "timed.h"

namespace {

using bench::Entry;
using bench::EntriesOf;
using bench::Open;

std::wstring NameOf(HANDLE handle) {
  std::vector<DWORD> buffer(2048);
  auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
  if (!::GetFileInformationByHandleEx(handle, FileNameInfo, info,
                                      static_cast<DWORD>(buffer.size() * sizeof(DWORD))))
    return {};
  return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
}

void Remove(HANDLE parent, const std::wstring& parentName, const Entry& listed) {
  const bool folder = listed.attributes & FILE_ATTRIBUTE_DIRECTORY;
  const bool link = listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT;
  HANDLE entry = Open(parent, listed.name, DELETE | (folder && !link ? FILE_LIST_DIRECTORY : 0), 0);
  if (entry == INVALID_HANDLE_VALUE) return;
  const std::wstring name = link ? std::wstring() : NameOf(entry);
  if (!link && name == parentName + L"\\" + listed.name) {  // not a link the open followed
    if (folder)
      for (const Entry& child : EntriesOf(entry)) Remove(entry, name, child);
    FILE_DISPOSITION_INFO disposition{TRUE};
    ::SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition);
  } else if (link) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    ::SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition);
  }
  ::CloseHandle(entry);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  return bench::PrintMilliseconds([&] {
    HANDLE install = Open(nullptr, std::wstring(L"\\??\\") + argv[1],
                          FILE_LIST_DIRECTORY | FILE_TRAVERSE, FILE_DIRECTORY_FILE);
    if (install == INVALID_HANDLE_VALUE) return 1;
    const std::wstring name = NameOf(install);
    for (const Entry& entry : EntriesOf(install)) {
      const bool executable =
          entry.name.size() > 4 && _wcsicmp(entry.name.c_str() + entry.name.size() - 4, L".exe") == 0;
      if (_wcsicmp(entry.name.c_str(), L"datos") == 0 ||
          (executable && !(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           _wcsicmp(entry.name.c_str(), L"kavro.exe") != 0)) {
        Remove(install, name, entry);
      }
    }
    ::CloseHandle(install);
    return 0;
  });
}
