#pragma once
// What the baselines that work through handles share: an entry opened relative to its folder's
// handle without following it, and a folder's entries read through its handle.
#include <windows.h>
#include <winternl.h>

#include <string>
#include <vector>

namespace bench {

// NtCreateFile of `name` in `parent` (a full NT path without one), FILE_OPEN_REPARSE_POINT,
// synchronous; INVALID_HANDLE_VALUE when it fails.
inline HANDLE Open(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options) {
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
  DWORD attributes;
};

inline std::vector<Entry> EntriesOf(HANDLE folder) {
  std::vector<Entry> entries;
  std::vector<ULONGLONG> buffer(8192);
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
       ::GetFileInformationByHandleEx(folder, kind, buffer.data(),
                                      static_cast<DWORD>(buffer.size() * 8));
       kind = FileIdBothDirectoryInfo) {
    for (auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
      std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") entries.push_back({name, record->FileAttributes});
      if (!record->NextEntryOffset) break;
      bytes += record->NextEntryOffset;
    }
  }
  return entries;
}

}  // namespace bench
