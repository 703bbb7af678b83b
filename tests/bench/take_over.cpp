// Baseline of the take-over benchmark: gives a folder and everything in it the owner and the
// protected DACL the take-over gives, with the fewest calls that do it through handles without
// following a link: the folder opened once; each entry opened relative to its folder's handle
// without following it (FILE_OPEN_REPARSE_POINT), its security set on that handle alone
// (SetKernelObjectSecurity), a folder's entries read through its handle. It judges nothing and
// removes nothing (its trees hold no link). Prints the milliseconds it took.
//
//   kavro_take_over FOLDER
#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

HANDLE Open(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options) {
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name.c_str());
  text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS status =
      ::NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, 7, 1,
                     options | FILE_OPEN_REPARSE_POINT | 0x20 /* synchronous */, nullptr, 0);
  return status == 0 ? handle : INVALID_HANDLE_VALUE;
}

struct Entry {
  std::wstring name;
  bool folder;
};

std::vector<Entry> EntriesOf(HANDLE folder) {
  std::vector<Entry> entries;
  std::vector<ULONGLONG> buffer(8192);
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
       ::GetFileInformationByHandleEx(folder, kind, buffer.data(),
                                      static_cast<DWORD>(buffer.size() * 8));
       kind = FileIdBothDirectoryInfo) {
    for (auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
      std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..")
        entries.push_back({name, (record->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
      if (!record->NextEntryOffset) break;
      bytes += record->NextEntryOffset;
    }
  }
  return entries;
}

PSECURITY_DESCRIPTOR Descriptor(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR made = nullptr;
  ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &made, nullptr);
  return made;
}

const PSECURITY_DESCRIPTOR kFolder =
    Descriptor(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;AU)");
const PSECURITY_DESCRIPTOR kFile =
    Descriptor(L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)(A;;0x1200a9;;;AU)");

void Take(HANDLE entry, bool folder) {
  ::SetKernelObjectSecurity(entry, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            folder ? kFolder : kFile);
  if (!folder) return;
  for (const Entry& child : EntriesOf(entry)) {
    HANDLE opened = Open(entry, child.name,
                         READ_CONTROL | WRITE_DAC | WRITE_OWNER |
                             (child.folder ? FILE_LIST_DIRECTORY | FILE_TRAVERSE : 0),
                         0);
    if (opened == INVALID_HANDLE_VALUE) continue;
    Take(opened, child.folder);
    ::CloseHandle(opened);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  HANDLE folder = Open(nullptr, std::wstring(L"\\??\\") + argv[1],
                       READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                       FILE_DIRECTORY_FILE);
  if (folder == INVALID_HANDLE_VALUE) return 1;
  Take(folder, true);
  ::CloseHandle(folder);
  ::QueryPerformanceCounter(&end);
  std::printf("%.1f\n", static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                            static_cast<double>(frequency.QuadPart));
  return 0;
}
