#include "platform/text.h"

#include <gtest/gtest.h>

TEST(UpperCase, BasicLatinAndLatin1LettersOnly) {
  EXPECT_EQ(UpperCase(u"Kavro ii-2.exe"), u"KAVRO II-2.EXE");
  EXPECT_EQ(UpperCase(u"año ÷ ÿ"), u"AÑO ÷ ÿ");  // ÷ is no letter; ÿ has no Latin-1 capital
  EXPECT_EQ(UpperCase(u"ΚΑΒΡΟ kavro"), u"ΚΑΒΡΟ KAVRO");
  EXPECT_EQ(UpperCase(u""), u"");
}

TEST(WildcardMatch, MatchesWholeNameIgnoringCase) {
  EXPECT_TRUE(WildcardMatch(u"*.exe", u"setup.exe"));
  EXPECT_TRUE(WildcardMatch(u"*.exe", u"Update.EXE"));
  EXPECT_TRUE(WildcardMatch(u"*.exe", u".exe"));
  EXPECT_TRUE(WildcardMatch(u"*.exe", u"a.b.exe"));
  EXPECT_FALSE(WildcardMatch(u"*.exe", u"setup.exe1"));
  EXPECT_FALSE(WildcardMatch(u"*.exe", u"setup.exee"));
  EXPECT_FALSE(WildcardMatch(u"*.exe", u"setup.ex"));
  EXPECT_FALSE(WildcardMatch(u"*.exe", u"exe"));
  EXPECT_TRUE(WildcardMatch(u"k?vro.*", u"KAVRO.dll"));
  EXPECT_TRUE(WildcardMatch(u"*", u""));
  EXPECT_FALSE(WildcardMatch(u"?", u""));
  EXPECT_TRUE(WildcardMatch(u"*a*b*c", u"xxaYYbZZc"));
  EXPECT_FALSE(WildcardMatch(u"*a*b*c", u"xxaYYbZZ"));
}
