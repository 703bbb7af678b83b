// The built program's identity, read back with the platform's own functions: the version
// block, the icon images and the application manifest.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "main/resource.h"

namespace {

std::wstring ProgramPath() {
  const wchar_t* path = _wgetenv(L"KAVRO_PROGRAM");
  return path ? path : L"";
}

std::wstring VersionString(const std::vector<char>& block, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\0c0a04b0\\") + name;
  if (!::VerQueryValueW(block.data(), query.c_str(), &value, &length) || !value) return L"<none>";
  return static_cast<const wchar_t*>(value);
}

TEST(ProgramResources, VersionBlockNamesTheProgram) {
  const std::wstring path = ProgramPath();
  ASSERT_FALSE(path.empty()) << "KAVRO_PROGRAM is not set";
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);

  struct Translation {
    WORD language, codePage;
  }* translation = nullptr;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, sizeof(Translation));
  EXPECT_EQ(translation->language, 0x0C0A);  // Spanish (Spain)
  EXPECT_EQ(translation->codePage, 1200);    // Unicode

  EXPECT_EQ(VersionString(block, L"ProductName"), L"DesinstalaKavro");
  EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.00");
  // The product version names the commit too (windres takes it through a bare definition).
  EXPECT_EQ(VersionString(block, L"ProductVersion"), L"1.00 (commit " KAVRO_COMMIT_TEXT ")");
  EXPECT_EQ(VersionString(block, L"InternalName"), L"DesinstalaKavro1");
  EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"DesinstalaKavro1.exe");
}

class ProgramModule : public ::testing::Test {
 protected:
  void SetUp() override {
    module = ::LoadLibraryExW(ProgramPath().c_str(), nullptr,
                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
  }
  void TearDown() override { ::FreeLibrary(module); }
  HMODULE module = nullptr;
};

TEST_F(ProgramModule, IconHasSixteenThirtyTwoAndFortyEightPixelImages) {
  HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  auto* directory = static_cast<BYTE*>(::LockResource(::LoadResource(module, group)));
  ASSERT_NE(directory, nullptr);
  for (int size : {16, 32, 48}) {
    SCOPED_TRACE(size);
    const int id = ::LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    ASSERT_GT(id, 0);
    HRSRC image = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
    ASSERT_NE(image, nullptr);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(::LockResource(::LoadResource(module, image)));
    EXPECT_EQ(header->biWidth, size);       // an image of exactly this size, not a scaled one
    EXPECT_EQ(header->biHeight, 2 * size);  // colour and mask
    EXPECT_EQ(header->biBitCount, 32);
  }
}

TEST_F(ProgramModule, ManifestAsksForVisualStylesPerMonitorDpiAndAdministratorRights) {
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(found, nullptr);
  const auto* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
  const std::string manifest(data, ::SizeofResource(module, found));
  for (const char* needed :
       {"Microsoft.Windows.Common-Controls", "PerMonitorV2", "true/pm", "requireAdministrator",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(manifest.find(needed), std::string::npos) << needed;
  }
}

}  // namespace
