// The registry under Wine: the WMI listing and the value reading against the real registry, in
// a sandbox key that each test makes and removes.
#include "platform/win32/registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/bounded.h"
#include "platform/win32/unique.h"
#include "platform/win32/wide.h"
#include "handles.h"
#include "registry/LeerClavesReg.h"
#include "registry/ValorClaveReg.h"

namespace {

constexpr auto kHklm = platform::kHkeyLocalMachine;
constexpr auto k32 = platform::RegistryView::ThirtyTwoBit;
constexpr auto k64 = platform::RegistryView::SixtyFourBit;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox = L"SOFTWARE\\KavroPruebas\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
              std::to_wstring(::GetTickCount());
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, sandbox.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    key.reset();
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      win32::UniqueKey root;
      if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | view, root.put()) ==
          ERROR_SUCCESS) {
        ::RegDeleteTreeW(root.get(), sandbox.substr(9).c_str());
      }
    }
  }
  void SetValue(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }
  void SetString(const wchar_t* name, const std::wstring& value) {
    SetValue(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  void AddSubkey(const std::wstring& name, REGSAM view = KEY_WOW64_32KEY) {
    win32::UniqueKey sub;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (sandbox + L"\\" + name).c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | view, nullptr, sub.put(), nullptr),
              ERROR_SUCCESS);
  }
  Text Read(const wchar_t* name) {
    return ValorClaveReg::ReadRegistryString(registry, kHklm, Path(), win32::ToText(name));
  }
  Text Path() const { return win32::ToText(sandbox); }

  win32::Registry registry;
  std::wstring sandbox;
  win32::UniqueKey key;
};

TEST_F(RegistryTest, StringValuesOfAnyLengthAreReadWhole) {
  for (std::size_t length : {0u, 1u, 254u, 255u, 256u, 300u, 4000u}) {
    SCOPED_TRACE(length);
    std::wstring value(length, L'x');
    if (length) value.back() = L'z';
    SetString(L"Valor", value);
    EXPECT_EQ(Read(L"Valor"), win32::ToText(value));
  }
}

TEST_F(RegistryTest, CharactersOutsideTheAnsiCodePageSurvive) {
  const std::wstring value = L"C:\\Programas\\Compañía\\Análisis Ω 漢\\quitar.exe /x";
  SetString(L"UninstallString", value);
  EXPECT_EQ(Read(L"UninstallString"), win32::ToText(value));
}

TEST_F(RegistryTest, MissingKeyOrValueGivesTheEmptyText) {
  EXPECT_EQ(Read(L"NoExiste"), u"");
  EXPECT_EQ(ValorClaveReg::ReadRegistryString(registry, kHklm, Path() + u"\\NoExiste", u"Valor"), u"");
  EXPECT_FALSE(registry.QueryValue(kHklm, Path() + u"\\NoExiste", u"Valor", k32).has_value());
}

TEST_F(RegistryTest, OtherValueTypesAreTakenAsTextWithoutInterpretation) {
  const DWORD one = 1, zero = 0;
  SetValue(L"Uno", REG_DWORD, &one, sizeof one);
  SetValue(L"Cero", REG_DWORD, &zero, sizeof zero);
  const wchar_t multi[] = L"uno\0dos\0";
  SetValue(L"Multi", REG_MULTI_SZ, multi, sizeof multi);
  const wchar_t expand[] = L"%SystemRoot%\\quitar.exe";
  SetValue(L"Expandible", REG_EXPAND_SZ, expand, sizeof expand);
  const wchar_t unterminated[] = {L'a', L'b', L'c'};
  SetValue(L"SinFin", REG_SZ, unterminated, sizeof unterminated);

  EXPECT_EQ(Read(L"Uno"), Text(1, u'\x01'));
  EXPECT_EQ(Read(L"Cero"), u"");
  EXPECT_EQ(Read(L"Multi"), u"uno");
  EXPECT_EQ(Read(L"Expandible"), u"%SystemRoot%\\quitar.exe");
  EXPECT_EQ(Read(L"SinFin"), u"abc");
}

TEST_F(RegistryTest, SubkeysComeInTheRegistrysOwnOrder) {
  for (const wchar_t* name : {L"zeta", L"Alfa", L"beta", L"{0F1E-22}", L"Ñandú"}) AddSubkey(name);
  std::vector<Text> expected;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    expected.push_back(win32::ToText(name, length));
  }
  ASSERT_EQ(expected.size(), 5u);
  EXPECT_EQ(registry.EnumKey(kHklm, Path(), k32), expected);
  EXPECT_EQ(registry.EnumKeyDirect(kHklm, Path(), k32), expected);

  const auto list = LeerClavesReg::EnumerateSubkeys(registry, kHklm, Path());
  EXPECT_EQ(list.Count, 5);
  EXPECT_EQ(list.Names, expected);
  EXPECT_EQ(list.FullPaths[0], u"HKEY_LOCAL_MACHINE\\" + Path() + u"\\" + expected[0]);
}

TEST_F(RegistryTest, NoSubkeysAndNoKeyBothGiveNoNames) {
  // Wine's provider reports a key without subkeys as a failed call, Windows' as no names;
  // either way the listing is empty.
  EXPECT_TRUE(registry.EnumKey(kHklm, Path(), k32).value_or(std::vector<Text>{}).empty());
  EXPECT_TRUE(registry.EnumKeyDirect(kHklm, Path(), k32).empty());
  // The provider's EnumKey fails on a missing key; the registry functions find none either.
  EXPECT_FALSE(registry.EnumKey(kHklm, Path() + u"\\NoExiste", k32).has_value());
  EXPECT_TRUE(registry.EnumKeyDirect(kHklm, Path() + u"\\NoExiste", k32).empty());
  EXPECT_EQ(LeerClavesReg::EnumerateSubkeys(registry, kHklm, Path() + u"\\NoExiste").Count, 0);
}

TEST_F(RegistryTest, EachViewSeesItsOwnKeysWhateverTheListing) {
  ASSERT_TRUE(registry.HasSixtyFourBitView());  // the test prefixes are 64-bit Windows
  AddSubkey(L"solo32", KEY_WOW64_32KEY);
  AddSubkey(L"solo64", KEY_WOW64_64KEY);
  {
    win32::UniqueKey only64;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (sandbox + L"\\solo64").c_str(), 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, only64.put()),
              ERROR_SUCCESS);
    const wchar_t value[] = L"64";
    ::RegSetValueExW(only64.get(), L"Valor", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
  }
  EXPECT_EQ(registry.EnumKey(kHklm, Path(), k32), std::vector<Text>{u"solo32"});
  EXPECT_EQ(registry.EnumKeyDirect(kHklm, Path(), k32), std::vector<Text>{u"solo32"});
  EXPECT_FALSE(registry.QueryValue(kHklm, Path() + u"\\solo64", u"Valor", k32).has_value());
  EXPECT_FALSE(registry.KeyExists(kHklm, Path() + u"\\solo64", k32));

  // The 64-bit view holds its own copy of SOFTWARE: the sandbox there has only solo64.
  EXPECT_EQ(registry.EnumKey(kHklm, Path(), k64), std::vector<Text>{u"solo64"});
  EXPECT_EQ(registry.EnumKeyDirect(kHklm, Path(), k64), std::vector<Text>{u"solo64"});
  EXPECT_TRUE(registry.KeyExists(kHklm, Path() + u"\\solo64", k64));
  EXPECT_EQ(ValorClaveReg::ReadRegistryString(registry, kHklm, Path() + u"\\solo64", u"Valor", k64), u"64");
}

TEST_F(RegistryTest, NoHandleIsLeftOpen) {
  SetString(L"Valor", L"x");
  AddSubkey(L"sub");
  Read(L"Valor");  // the first calls may set up what later calls reuse
  registry.EnumKey(kHklm, Path(), k64);
  const long before = testing_win32::LowestFreeHandleSlot();
  for (int i = 0; i < 300; ++i) {
    Read(L"Valor");
    Read(L"NoExiste");
    ValorClaveReg::ReadRegistryString(registry, kHklm, Path() + u"\\NoExiste", u"Valor");
  }
  for (int i = 0; i < 30; ++i) {
    registry.EnumKey(kHklm, Path(), k32);
    registry.EnumKey(kHklm, Path() + u"\\NoExiste", k64);
    registry.EnumKeyDirect(kHklm, Path(), k64);
    registry.KeyExists(kHklm, Path() + u"\\sub", k32);
  }
  // One leaked handle per call would move the slot by hundreds. (The provider's calls run on
  // threads of their own, which may still be closing theirs a moment after answering.)
  ::Sleep(1000);
  EXPECT_LE(testing_win32::LowestFreeHandleSlot(), before + 4);
}

}  // namespace

namespace {

// A provider that hangs is given up on after its bound, and the run goes on.
TEST(WithinBoundTest, AnAnswerInTimeIsKeptAndNoneInTimeIsGivenUp) {
  EXPECT_EQ(win32::WithinBound<int>([] { return 7; }, std::chrono::seconds(5)), 7);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(win32::WithinBound<int>(
                [] {
                  ::Sleep(3000);
                  return 7;
                },
                std::chrono::milliseconds(200)),
            std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
