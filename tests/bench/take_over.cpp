// Baseline of the take-over benchmark: gives a folder and everything in it the owner and the
// protected DACL the take-over gives, with the fewest calls that do it through handles without
// following a link: the folder opened once; each entry opened relative to its folder's handle
// without following it (FILE_OPEN_REPARSE_POINT), its security set on that handle alone
// (SetKernelObjectSecurity), a folder's entries read through its handle. It judges nothing and
// removes nothing (its trees hold no link). Prints the milliseconds it took. With `checked`,
// each entry is also asked, in one query, what the take-over must know before it sets anything
// (its attributes, its number of names and its own name: links, hard links, and under Wine a
// link to a file, which opens as its target): the floor of a take-over that checks.
//
//   kavro_take_over FOLDER [checked]
#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "by_handle.h"
#include "timed.h"

namespace {

using bench::Entry;
using bench::EntriesOf;
using bench::Open;

PSECURITY_DESCRIPTOR Descriptor(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR made = nullptr;
  ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &made, nullptr);
  return made;
}

const PSECURITY_DESCRIPTOR kFolder = Descriptor(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
const PSECURITY_DESCRIPTOR kFile = Descriptor(L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)");

bool checkedEntries = false;
std::vector<LONGLONG> all(2048);

void Take(HANDLE entry, bool folder) {
  if (checkedEntries) {
    IO_STATUS_BLOCK io{};
    ::NtQueryInformationFile(entry, &io, all.data(), static_cast<ULONG>(all.size() * sizeof(LONGLONG)),
                             static_cast<FILE_INFORMATION_CLASS>(18));  // FileAllInformation
  }
  ::SetKernelObjectSecurity(entry, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            folder ? kFolder : kFile);
  if (!folder) return;
  for (const Entry& child : EntriesOf(entry)) {
    const bool isFolder = child.attributes & FILE_ATTRIBUTE_DIRECTORY;
    HANDLE opened = Open(entry, child.name,
                         WRITE_DAC | WRITE_OWNER |
                             (isFolder ? FILE_LIST_DIRECTORY | FILE_TRAVERSE : 0),
                         0);
    if (opened == INVALID_HANDLE_VALUE) continue;
    Take(opened, isFolder);
    ::CloseHandle(opened);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) return 2;
  checkedEntries = argc == 3 && std::wstring(argv[2]) == L"checked";
  return bench::PrintMilliseconds([&] {
    HANDLE folder = Open(nullptr, std::wstring(L"\\??\\") + argv[1],
                         WRITE_DAC | WRITE_OWNER | FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                         FILE_DIRECTORY_FILE);
    if (folder == INVALID_HANDLE_VALUE) return 1;
    Take(folder, true);
    ::CloseHandle(folder);
    return 0;
  });
}
