// LeerClavesReg and ValorClaveReg over a fake registry.
#include <gtest/gtest.h>

#include "fakes.h"
#include "registry/LeerClavesReg.h"
#include "registry/ValorClaveReg.h"

namespace {

using LeerClavesReg::EnumerateSubkeys;
using LeerClavesReg::HiveName;
using ValorClaveReg::CutAtNul;
using ValorClaveReg::ReadRegistryString;

constexpr auto kHklm = platform::kHkeyLocalMachine;
const Text kKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

platform::HiveHandle Hive(std::uint32_t value) { return static_cast<platform::HiveHandle>(value); }

TEST(HiveName, NamesThePredefinedRootsAndNothingElse) {
  EXPECT_EQ(HiveName(Hive(0x80000000)), u"HKEY_CLASSES_ROOT");
  EXPECT_EQ(HiveName(Hive(0x80000001)), u"HKEY_CURRENT_USER");
  EXPECT_EQ(HiveName(Hive(0x80000002)), u"HKEY_LOCAL_MACHINE");
  EXPECT_EQ(HiveName(Hive(0x80000003)), u"HKEY_USERS");
  EXPECT_EQ(HiveName(Hive(0x80000005)), u"HKEY_CURRENT_CONFIG");
  EXPECT_EQ(HiveName(Hive(0x80000006)), u"HKEY_DYN_DATA");
  for (std::uint32_t unnamed : {0x80000004u, 0x80000007u, 0u, 2u, 0x7FFFFFFFu}) {
    EXPECT_EQ(HiveName(Hive(unnamed)), u"") << std::hex << unnamed;
  }
}

class EnumerateSubkeysTest : public ::testing::Test {
 protected:
  fake::Journal journal;
  fake::Registry registry{journal};
};

TEST_F(EnumerateSubkeysTest, KeepsTheProvidersOrderWithFullPaths) {
  registry.names = std::vector<Text>{u"zeta", u"Alfa", u"{1234-ABCD}"};
  const auto list = EnumerateSubkeys(registry, kHklm, kKey);
  EXPECT_EQ(list.Count, 3);
  EXPECT_EQ(list.Names, (std::vector<Text>{u"zeta", u"Alfa", u"{1234-ABCD}"}));
  EXPECT_EQ(list.FullPaths,
            (std::vector<Text>{u"HKEY_LOCAL_MACHINE\\" + kKey + u"\\zeta",
                               u"HKEY_LOCAL_MACHINE\\" + kKey + u"\\Alfa",
                               u"HKEY_LOCAL_MACHINE\\" + kKey + u"\\{1234-ABCD}"}));
}

TEST_F(EnumerateSubkeysTest, UnnamedHiveLeavesTheFullPathStartingWithTheBackslash) {
  registry.names = std::vector<Text>{u"a"};
  const auto list = EnumerateSubkeys(registry, Hive(0x80000004), u"Clave\\Sub");
  ASSERT_EQ(list.Count, 1);
  EXPECT_EQ(list.FullPaths[0], u"\\Clave\\Sub\\a");
}

TEST_F(EnumerateSubkeysTest, StopsAtTheFirstEmptyName) {
  registry.names = std::vector<Text>{u"uno", u"dos", u"", u"tres"};
  const auto list = EnumerateSubkeys(registry, kHklm, kKey);
  EXPECT_EQ(list.Count, 2);
  EXPECT_EQ(list.Names, (std::vector<Text>{u"uno", u"dos"}));
  EXPECT_EQ(list.FullPaths.size(), 2u);

  registry.names = std::vector<Text>{u"", u"uno"};
  const auto none = EnumerateSubkeys(registry, kHklm, kKey);
  EXPECT_EQ(none.Count, 0);
  EXPECT_TRUE(none.Names.empty());
  EXPECT_TRUE(none.FullPaths.empty());
}

TEST_F(EnumerateSubkeysTest, NoNamesGiveTheEmptyRecord) {
  // A missing key, a key without subkeys and an unreachable provider all hand over nothing.
  const auto list = EnumerateSubkeys(registry, kHklm, u"SOFTWARE\\NoExiste");
  EXPECT_EQ(list.Count, 0);
  EXPECT_TRUE(list.Names.empty());
  EXPECT_TRUE(list.FullPaths.empty());
}

TEST_F(EnumerateSubkeysTest, CountStopsAt32767) {
  std::vector<Text> names;
  for (int i = 0; i < 33000; ++i) {
    const std::string digits = std::to_string(i);
    names.push_back(u"k" + Text(digits.begin(), digits.end()));
  }
  names[32766] = u"the last one counted";
  names[32767] = u"the first one left out";
  registry.names = names;
  const auto list = EnumerateSubkeys(registry, kHklm, kKey);
  EXPECT_EQ(list.Count, 32767);
  ASSERT_EQ(list.Names.size(), 32767u);
  ASSERT_EQ(list.FullPaths.size(), 32767u);
  EXPECT_EQ(list.Names.back(), u"the last one counted");
  EXPECT_EQ(list.FullPaths.back(), u"HKEY_LOCAL_MACHINE\\" + kKey + u"\\the last one counted");
}

TEST(CutAtNul, KeepsWhatComesBeforeTheFirstNul) {
  EXPECT_EQ(CutAtNul(Text(u"AB\0CD", 5)), u"AB");
  EXPECT_EQ(CutAtNul(Text(u"\0AB", 3)), u"");
  EXPECT_EQ(CutAtNul(u"sin nulo"), u"sin nulo");
  EXPECT_EQ(CutAtNul(u""), u"");
}

class ReadRegistryStringTest : public ::testing::Test {
 protected:
  Text Read(const std::vector<std::uint8_t>& data) {
    registry.AddKey(kKey, u"Prueba")[u"VALOR"] = data;
    return ReadRegistryString(registry, kHklm, kKey + u"\\Prueba", u"Valor");
  }
  fake::Journal journal;
  fake::Registry registry{journal};
};

TEST_F(ReadRegistryStringTest, StringsComeBackWholeUpToTheLongestCommandLine) {
  EXPECT_EQ(Read(fake::Registry::Sz(u"C:\\Kavro\\quitar.exe /s")), u"C:\\Kavro\\quitar.exe /s");
  const Text long4000 = Text(3998, u'a') + u"ñ€";
  EXPECT_EQ(Read(fake::Registry::Sz(long4000)), long4000);
  EXPECT_EQ(Read(fake::Registry::Sz(u"")), u"");
  EXPECT_EQ(Read({}), u"");
  // Anyone may write a value of any length in their own list: it is cut, and said to be.
  registry.AddKey(kKey, u"Largo")[u"VALOR"] = fake::Registry::Sz(Text(32767, u'b') + u"cd");
  const ValorClaveReg::RegistryText cut =
      ValorClaveReg::ReadRegistryText(registry, kHklm, kKey + u"\\Largo", u"Valor");
  EXPECT_EQ(cut.text, Text(32767, u'b'));
  EXPECT_TRUE(cut.cut);
  EXPECT_EQ(Read(fake::Registry::Sz(Text(32767, u'e'))).size(), 32767u);
}

TEST_F(ReadRegistryStringTest, DataWithoutTerminatorIsNotFollowedByAnything) {
  EXPECT_EQ(Read({'a', 0, 'b', 0}), u"ab");
  EXPECT_EQ(Read({'a', 0, 'b'}), u"ab");  // an odd last byte stands alone
}

TEST_F(ReadRegistryStringTest, OtherTypesAreTakenAsTextUpToTheFirstNul) {
  // A multi-string gives its first string; a 32-bit number 1 gives the character 1 and 0
  // gives nothing.
  EXPECT_EQ(Read({'u', 0, 'n', 0, 'o', 0, 0, 0, 'd', 0, 'o', 0, 's', 0, 0, 0, 0, 0}), u"uno");
  EXPECT_EQ(Read({1, 0, 0, 0}), Text(1, u'\x01'));
  EXPECT_EQ(Read({0, 0, 0, 0}), u"");
}

TEST_F(ReadRegistryStringTest, MissingKeyOrValueGivesTheEmptyText) {
  registry.AddProgram(u"Existe", Text(u"Kavro"), std::nullopt);
  EXPECT_EQ(ReadRegistryString(registry, kHklm, kKey + u"\\NoExiste", u"DisplayName"), u"");
  EXPECT_EQ(ReadRegistryString(registry, kHklm, kKey + u"\\Existe", u"UninstallString"), u"");
  EXPECT_EQ(ReadRegistryString(registry, kHklm, kKey + u"\\Existe", u"DisplayName"), u"Kavro");
}

}  // namespace
