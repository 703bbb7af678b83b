// Files, folders and the desktop folder under Wine, in a scratch folder of each test.
#include "platform/win32/unique.h"  // <windows.h> before the interface's DeleteFile
#include "platform/win32/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <shlobj.h>

#include "platform/win32/shell.h"
#include "platform/error.h"
#include "platform/win32/wide.h"

namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    root = fs::path(temp) / (L"files-" + std::to_wstring(::GetCurrentProcessId()));
    Clear(root);
    fs::create_directories(root);
  }
  void TearDown() override { Clear(root); }
  static void Clear(const fs::path& path) {
    std::error_code ignored;
    if (fs::exists(path, ignored)) {
      for (const auto& entry : fs::recursive_directory_iterator(path, ignored))
        ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(path, ignored);
  }
  static void Touch(const fs::path& path) { std::ofstream(path) << "x"; }
  static Text T(const fs::path& path) { return win32::ToText(path.wstring()); }
  // Removes the entry of the scratch folder through the folder held open, as the clean-up does.
  std::optional<platform::Removal> RemoveHeld(const wchar_t* name) {
    platform::HeldFolder held = files.HoldFolder(T(root));
    if (!held.folder) throw std::runtime_error("the scratch folder could not be held");
    for (const platform::Entry& entry : held.folder->Entries())
      if (entry.name == win32::ToText(name)) return held.folder->Remove(entry, false);
    return held.folder->Remove({win32::ToText(name)}, false);
  }

  win32::FileSystem files;
  fs::path root;
};

TEST_F(FilesTest, ExistenceTellsFilesFromFolders) {
  Touch(root / L"a.txt");
  fs::create_directories(root / L"carpeta");
  EXPECT_TRUE(files.FileExists(T(root / L"a.txt")));
  EXPECT_FALSE(files.FolderExists(T(root / L"a.txt")));
  EXPECT_TRUE(files.FolderExists(T(root / L"carpeta")));
  EXPECT_FALSE(files.FileExists(T(root / L"carpeta")));
  EXPECT_FALSE(files.FileExists(T(root / L"no.txt")));
  EXPECT_FALSE(files.FolderExists(T(root / L"no")));
}

TEST_F(FilesTest, DeleteFileRemovesTheFileButNeverAReadOnlyOneWithoutForce) {
  Touch(root / L"quitar ñ.exe");
  files.DeleteFile(T(root / L"quitar ñ.exe"), false);
  EXPECT_FALSE(fs::exists(root / L"quitar ñ.exe"));

  Touch(root / L"fijo.exe");
  ::SetFileAttributesW((root / L"fijo.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  try {
    files.DeleteFile(T(root / L"fijo.exe"), false);
    ADD_FAILURE() << "a read-only file must not be deleted";
  } catch (const platform::Error& error) {
    EXPECT_EQ(error.number, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(error.message.empty());
  }
  EXPECT_TRUE(fs::exists(root / L"fijo.exe"));
}

TEST_F(FilesTest, DeletingAMissingFileFails) {
  EXPECT_THROW(files.DeleteFile(T(root / L"no.exe"), false), platform::Error);
}

TEST_F(FilesTest, DeleteFolderRemovesTheWholeTreeHoweverDeep) {
  fs::path deep = root / L"datos";
  for (int level = 0; level < 12; ++level) {
    deep /= L"nivel " + std::to_wstring(level) + L" con un nombre bastante largo";
    fs::create_directories(deep);
    Touch(deep / L"archivo.dat");
  }
  ASSERT_GT(deep.wstring().size(), static_cast<std::size_t>(MAX_PATH));
  Touch(root / L"datos" / L"raíz.dat");
  EXPECT_EQ(RemoveHeld(L"datos")->files, 13u);
  EXPECT_FALSE(fs::exists(root / L"datos"));
}

TEST_F(FilesTest, AReadOnlyFileStopsTheFolderDeletion) {
  fs::create_directories(root / L"datos" / L"sub");
  Touch(root / L"datos" / L"sub" / L"fijo.dat");
  ::SetFileAttributesW((root / L"datos" / L"sub" / L"fijo.dat").c_str(), FILE_ATTRIBUTE_READONLY);
  try {
    RemoveHeld(L"datos");
    ADD_FAILURE() << "a read-only file must stop the deletion";
  } catch (const platform::Error& error) {
    EXPECT_EQ(error.number, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
  }
  EXPECT_TRUE(fs::exists(root / L"datos" / L"sub" / L"fijo.dat"));
}

TEST_F(FilesTest, AHeldFolderCanBeNeitherRenamedNorDeletedAndAMissingEntryIsNoError) {
  fs::create_directories(root / L"kavro");
  const std::wstring folder = (root / L"kavro").wstring(), moved = (root / L"otra").wstring();
  {
    platform::HeldFolder held = files.HoldFolder(T(root / L"kavro"));
    ASSERT_TRUE(held.folder);
    EXPECT_FALSE(held.folder->Remove({u"no.exe"}, false));
    EXPECT_FALSE(::MoveFileW(folder.c_str(), moved.c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::RemoveDirectoryW(folder.c_str()));
  }
  EXPECT_TRUE(::MoveFileW(folder.c_str(), moved.c_str()));  // once let go
  platform::HeldFolder missing = files.HoldFolder(T(root / L"kavro"));
  EXPECT_FALSE(missing.folder || missing.link || missing.error);
}

TEST(Shell, DesktopFolderIsTheUsersDesktopWithoutTrailingBackslash) {
  win32::Shell shell;
  const Text desktop = shell.DesktopFolder(platform::Desktop::User).value_or(Text());
  ASSERT_FALSE(desktop.empty());
  EXPECT_NE(desktop.back(), u'\\');
  wchar_t expected[MAX_PATH];
  ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, expected), S_OK);
  EXPECT_EQ(desktop, win32::ToText(expected));
  EXPECT_TRUE(win32::FileSystem().FolderExists(desktop));
  ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, expected), S_OK);
  EXPECT_EQ(shell.DesktopFolder(platform::Desktop::Public), win32::ToText(expected));
}

}  // namespace
