#include "platform/win32/no_follow.h"

#include <winternl.h>

#include <vector>

#include "platform/refusals.h"
#include "platform/take_over.h"
#include "platform/win32/win_error.h"

namespace win32 {
namespace {

constexpr ULONG kSynchronousIo = 0x00000020;  // FILE_SYNCHRONOUS_IO_NONALERT
// What a folder on the way is opened for: to open what is in it, and to read its security.
constexpr ACCESS_MASK kStepAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kOpen = 1;    // FILE_OPEN
constexpr ULONG kOpenIf = 3;  // FILE_OPEN_IF

// A 32-bit program's System32 is SysWOW64, and its Sysnative the real System32: the platform's
// own redirection, in the Windows folder only administrators can change, is no link.
bool IsRedirectedSystemFolder(HANDLE step, const std::wstring& folderName,
                              const std::wstring& name) {
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length < 3 || length >= MAX_PATH ||
      ::CompareStringOrdinal(windows + 2, -1, folderName.c_str(), -1, TRUE) != CSTR_EQUAL)
    return false;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(step, FileAttributeTagInfo, &tag, sizeof tag) ||
      IsLinkTag(tag.FileAttributes, tag.ReparseTag)) {
    return false;
  }
  const std::wstring actual = LeafOf(HandleName(step));
  const auto is = [](const std::wstring& a, const wchar_t* b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
  };
  return (is(name, L"System32") && is(actual, L"SysWOW64")) ||
         (is(name, L"Sysnative") && is(actual, L"System32"));
}

// The step opened is the entry itself, or the system folder the platform redirected it to.
bool IsStepItself(HANDLE step, const std::wstring& folderName, const std::wstring& name) {
  return IsEntryItself(step, folderName, name) || IsRedirectedSystemFolder(step, folderName, name);
}

}  // namespace

namespace {

NTSTATUS Create(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share,
                ULONG disposition, ULONG options, HANDLE& handle, PSECURITY_DESCRIPTOR created) {
  UNICODE_STRING objectName;
  objectName.Buffer = const_cast<wchar_t*>(name.c_str());
  objectName.Length = objectName.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, parent, created);
  IO_STATUS_BLOCK io{};
  handle = INVALID_HANDLE_VALUE;
  return ::NtCreateFile(&handle, access, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                        disposition, options | FILE_OPEN_REPARSE_POINT | FILE_COMPLETE_IF_OPLOCKED,
                        nullptr, 0);
}

}  // namespace

DWORD OpenRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share,
                   ULONG disposition, ULONG options, UniqueFile& opened,
                   PSECURITY_DESCRIPTOR created, LONG* status) {
  HANDLE handle;
  const NTSTATUS result = Create(parent, name, access | SYNCHRONIZE, share, disposition,
                                 options | kSynchronousIo, handle, created);
  if (status) *status = result;
  if (static_cast<std::uint32_t>(result) == platform::kStatusOplockBreakInProgress) {
    ::CloseHandle(handle);
    return kOplockBreakInProgress;
  }
  if (!NT_SUCCESS(result)) return ::RtlNtStatusToDosError(result);
  opened.reset(handle);
  return 0;
}

DWORD OpenForStep(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG options,
                  bool waited, UniqueFile& opened, ULONG share) {
  HANDLE handle;
  const NTSTATUS result =
      Create(parent, name, waited ? access | SYNCHRONIZE : access, share, kOpen,
             waited ? options | kSynchronousIo : options, handle, nullptr);
  if (platform::takeover::OpenFailed(static_cast<std::uint32_t>(result)))
    return ::RtlNtStatusToDosError(result);
  opened.reset(handle);
  return 0;
}

std::wstring HandleName(HANDLE handle) {
  // Most names fit the first buffer; the longest a path can be, the second.
  for (const std::size_t characters : {std::size_t{512}, std::size_t{32768}}) {
    std::vector<DWORD> buffer((sizeof(FILE_NAME_INFO) + characters * sizeof(wchar_t)) / sizeof(DWORD) + 1);
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (::GetFileInformationByHandleEx(handle, FileNameInfo, info,
                                       static_cast<DWORD>(buffer.size() * sizeof(DWORD)))) {
      return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
    }
    if (::GetLastError() != ERROR_MORE_DATA) break;
  }
  return {};
}

namespace {

bool SameName(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool IsEntryItself(HANDLE handle, const std::wstring& folderName, const std::wstring& name) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return ::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
         !IsLinkTag(tag.FileAttributes, tag.ReparseTag) && HasName(handle, folderName, name);
}

namespace {

bool NamedAs(const std::wstring& actual, const std::wstring& folderName, const std::wstring& name) {
  if (actual.empty() || folderName.empty()) return true;
  std::wstring expected = folderName;
  if (expected.back() != L'\\') expected += L'\\';
  return SameName(actual, expected + name);
}

}  // namespace

bool HasName(HANDLE handle, const std::wstring& folderName, const std::wstring& name) {
  return NamedAs(HandleName(handle), folderName, name);
}

DWORD FactsOf(HANDLE handle, const std::wstring& folderName, const std::wstring& name,
              EntryFacts& facts) {
  // One query instead of four (attributes, names, reparse tag, own name): the take-over asks
  // them of every entry of c:\kavro.
  for (const std::size_t characters : {std::size_t{512}, std::size_t{32768}}) {
    std::vector<LONGLONG> buffer(
        (sizeof(FILE_ALL_INFORMATION) + characters * sizeof(wchar_t)) / sizeof(LONGLONG) + 1);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = ::NtQueryInformationFile(
        handle, &io, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)),
        FileAllInformation);
    if (status == static_cast<NTSTATUS>(0x80000005L)) continue;  // STATUS_BUFFER_OVERFLOW
    if (!NT_SUCCESS(status)) return ::RtlNtStatusToDosError(status);
    const auto* all = reinterpret_cast<const FILE_ALL_INFORMATION*>(buffer.data());
    facts.basic.CreationTime = all->BasicInformation.CreationTime;
    facts.basic.LastAccessTime = all->BasicInformation.LastAccessTime;
    facts.basic.LastWriteTime = all->BasicInformation.LastWriteTime;
    facts.basic.ChangeTime = all->BasicInformation.ChangeTime;
    facts.basic.FileAttributes = all->BasicInformation.FileAttributes;
    facts.names = all->StandardInformation.NumberOfLinks;
    facts.directory = all->StandardInformation.Directory;
    FILE_ATTRIBUTE_TAG_INFO tag{facts.basic.FileAttributes, 0};
    if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
      return ::GetLastError();
    const std::wstring actual(all->NameInformation.FileName,
                              all->NameInformation.FileNameLength / sizeof(wchar_t));
    facts.itself =
        !IsLinkTag(tag.FileAttributes, tag.ReparseTag) && NamedAs(actual, folderName, name);
    return 0;
  }
  return ERROR_BUFFER_OVERFLOW;
}

DWORD WalkToFolder(const std::wstring& path, Walked& walked, PSECURITY_DESCRIPTOR create) {
  // The volume's root in NT form, and the steps below it.
  std::wstring rest = path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
  std::wstring root;
  if (path.size() > 4 && path[1] == L'\\' &&
      ::CompareStringOrdinal(rest.c_str(), 4, L"UNC\\", 4, TRUE) == CSTR_EQUAL)
    rest = L"\\" + rest.substr(3);
  if (rest.size() >= 2 && rest[1] == L':' &&
      (rest.size() == 2 || rest[2] == L'\\')) {  // "C:" is its root too
    root = L"\\??\\" + rest.substr(0, 2) + L"\\";
    rest = rest.size() > 3 ? rest.substr(3) : L"";
  } else if (rest.rfind(L"\\\\", 0) == 0) {
    const std::size_t share = rest.find(L'\\', 2);
    const std::size_t end = share == std::wstring::npos ? share : rest.find(L'\\', share + 1);
    if (share == std::wstring::npos) return ERROR_BAD_PATHNAME;
    root = L"\\??\\UNC\\" + rest.substr(2, end == std::wstring::npos ? end : end - 2) + L"\\";
    rest = end == std::wstring::npos ? L"" : rest.substr(end + 1);
  } else {
    return ERROR_BAD_PATHNAME;
  }
  if (DWORD error = OpenRelative(nullptr, root, kStepAccess, kShareAll, kOpen, FILE_DIRECTORY_FILE,
                                 walked.folder)) {
    return error;
  }
  walked.folderName = HandleName(walked.folder.get());
  for (std::size_t at = 0; at < rest.size();) {
    std::size_t end = rest.find(L'\\', at);
    if (end == std::wstring::npos) end = rest.size();
    const std::wstring step = rest.substr(at, end - at);
    at = end + 1;
    if (step.empty()) continue;
    if (step == L"." || step == L"..") return ERROR_BAD_PATHNAME;
    UniqueFile next;
    if (DWORD error = OpenRelative(walked.folder.get(), step, kStepAccess, kShareAll,
                                   create ? kOpenIf : kOpen, FILE_DIRECTORY_FILE, next, create)) {
      return error;
    }
    if (!IsStepItself(next.get(), walked.folderName, step)) return kReparsePointEncountered;
    walked.folderName = HandleName(next.get());
    walked.folder = std::move(next);
  }
  return 0;
}

DWORD OpenWithoutLinks(const std::wstring& path, ACCESS_MASK access, ULONG share, ULONG options,
                       Walked& walked) {
  const std::wstring leaf = LeafOf(path);
  if (DWORD error = WalkToFolder(ParentOf(path), walked)) return error;
  if (DWORD error =
          OpenRelative(walked.folder.get(), leaf, access, share, kOpen, options, walked.last)) {
    return error;
  }
  return IsEntryItself(walked.last.get(), walked.folderName, leaf) ? 0 : kReparsePointEncountered;
}

bool IsLinkAt(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  UniqueFind find(::FindFirstFileExW(path.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, 0));
  if (!find) return false;
  if (IsLinkTag(entry.dwFileAttributes, entry.dwReserved0))
    return true;  // the tag, for a reparse point
  UniqueFile handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) ThrowLastError();
  FILE_ATTRIBUTE_TAG_INFO tag{};
  ThrowLastErrorIf(!::GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag, sizeof tag));
  // Only this entry's own name is compared: the folders above are taken as opened by path.
  const std::wstring name = HandleName(handle.get());
  return IsLinkTag(tag.FileAttributes, tag.ReparseTag) ||
         (!name.empty() && !SameName(LeafOf(name), entry.cFileName));
}

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  if (slash == 0) return path.substr(0, 1);  // "\x", a handle's name at the volume's root
  // "C:\x" has the parent "C:\", not "C:".
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);
  return path.substr(0, slash);
}

std::wstring LeafOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace win32
