#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rt/text.h"

using namespace rt;

namespace {
// "中文" in GBK: D6 D0 CE C4.
const std::string kZhong = "\xD6\xD0";
const std::string kWen = "\xCE\xC4";
}  // namespace

TEST(Text, LiteralsConvertToGbkAndBack) {
  EXPECT_EQ(gbk("中文"), kZhong + kWen);
  EXPECT_EQ(utf8(kZhong + kWen), "中文");
  EXPECT_EQ(gbk("岚舟商业管理软件").size(), 16u);
}

TEST(Text, ByteOperationsCountBytes) {
  String s = "ab" + kZhong + "cd";
  EXPECT_EQ(*len(s), 6);
  EXPECT_EQ(*left(s, 3), "ab\xD6");
  EXPECT_EQ(*right(s, 2), "cd");
  EXPECT_EQ(*mid(s, 3, 2), kZhong);
  EXPECT_EQ(*mid(s, 5), "cd");
  EXPECT_EQ(*mid(s, 7), "");
  EXPECT_EQ(*mid(s, 0), "");
  EXPECT_EQ(*left(s, -1), "");
  EXPECT_EQ(*right(s, 100), *s);
  EXPECT_EQ(*pos(s, String("cd")), 5);
  EXPECT_EQ(*pos(s, String("zz")), 0);
  EXPECT_EQ(*pos(String("abab"), String("ab"), 2), 3);
  EXPECT_EQ(*lastpos(String("abab"), String("ab")), 3);
  EXPECT_EQ(*lastpos(String("abab"), String("x")), 0);
}

TEST(Text, CharacterOperationsCountGbkPairsAsOne) {
  String s = "ab" + kZhong + kWen + "c";
  EXPECT_EQ(*lenw(s), 5);
  EXPECT_EQ(*leftw(s, 3), "ab" + kZhong);
  EXPECT_EQ(*midw(s, 3, 2), kZhong + kWen);
  EXPECT_EQ(*midw(s, 5), "c");
  // Below 0x80 both agree.
  String a = "hello";
  EXPECT_EQ(*lenw(a), *len(a));
  EXPECT_EQ(*midw(a, 2, 3), *mid(a, 2, 3));
}

TEST(Text, CharacterCountAgreesWithTheCharacterStepOnAnyBytes) {
  // Lead and trail bytes at the edges of their ranges, and bytes that are
  // neither, in every text of up to four of them.
  const unsigned char kBytes[] = {0x00, 0x40, 0x41, 0x7E, 0x7F, 0x80, 0x81, 0xA1, 0xFE, 0xFF};
  std::vector<std::string> texts = {""};
  for (int length = 1; length <= 4; ++length) {
    std::vector<std::string> longer;
    for (const std::string& t : texts) {
      if (t.size() + 1 != static_cast<std::size_t>(length)) continue;
      for (unsigned char b : kBytes) longer.push_back(t + static_cast<char>(b));
    }
    texts.insert(texts.end(), longer.begin(), longer.end());
  }
  for (const std::string& t : texts) {
    std::int32_t steps = 0;
    for (std::size_t i = 0; i < t.size(); i += gbk_char_size(t, i)) ++steps;
    ASSERT_EQ(*lenw(String(t)), steps) << ::testing::PrintToString(t);
  }
}

TEST(Text, NullInGivesNullOut) {
  String n = null;
  EXPECT_TRUE(isnull(len(n)));
  EXPECT_TRUE(isnull(n + String("x")));
  EXPECT_TRUE(isnull(mid(String("abc"), Long(null))));
  EXPECT_TRUE(isnull(reverse(n)));
  EXPECT_TRUE(isnull(upper(n)));
  EXPECT_FALSE(test(n == String("")));
}

TEST(Text, CaseChangesAsciiLettersOnlyAndSparesTrailBytes) {
  // 0xC8 0x41 is a GBK pair whose trail byte is 'A'.
  String s = "Ab\xC8\x41z";
  EXPECT_EQ(*lower(s), "ab\xC8\x41z");
  EXPECT_EQ(*upper(s), "AB\xC8\x41Z");
}

TEST(Text, TrimRemovesBlanksOnly) {
  EXPECT_EQ(*trim(String("  \tx \r\n  ")), "\tx \r\n");
  EXPECT_EQ(*trim(String("   ")), "");
  EXPECT_EQ(*space(3), "   ");
  EXPECT_EQ(*repeat(String("ab"), 3), "ababab");
  EXPECT_EQ(*char_of(65), "A");
  EXPECT_EQ(*string_of(Long(-42)), "-42");
  EXPECT_EQ(*asc(String("\xC8")), 0xC8);
}

TEST(Text, ReversalMovesGbkPairsAsUnits) {
  String s = "a" + kZhong + "b" + kWen;
  EXPECT_EQ(*reverse(s), kWen + "b" + kZhong + "a");
  EXPECT_EQ(*reverse(reverse(s)), *s);
  // A script with Chinese comments and CR LF line ends survives the round trip.
  std::string script = gbk("-- 会员积分查询\r\ndrop procedure pr_a\r\ngo\r\ncreate procedure pr_a as begin select '是' end\r\n");
  EXPECT_TRUE(gbk_well_formed(script));
  std::string rev = *reverse(script);
  EXPECT_EQ(rev.substr(0, 2), "\n\r");
  EXPECT_EQ(*reverse(rev), script);
  // A part of a larger text, reversed the same way.
  EXPECT_EQ(reversed(std::string_view(*s).substr(1, 3)), "b" + kZhong);
}

TEST(Text, WellFormedTextHoldsAsciiBytesAndPairsOnly) {
  EXPECT_TRUE(gbk_well_formed(""));
  EXPECT_TRUE(gbk_well_formed("a\x7F" + kZhong + "\x81\x40\xFE\xFE"));
  // 0x80 and 0xFF are neither ASCII nor lead bytes; a lead byte needs a
  // trail byte after it.
  for (const std::string bad : {"\x80", "a\xFF", "\xFF\x41", "a\x81", "\x81\x7F", "\x81\xFF", "\xD6\x30"}) {
    EXPECT_FALSE(gbk_well_formed(bad)) << ::testing::PrintToString(bad);
  }
}

TEST(Text, ReversalOfMalformedTextIsNotItsOwnInverse) {
  String s = std::string("A\x81");
  EXPECT_FALSE(gbk_well_formed(*s));
  EXPECT_EQ(*reverse(s), "\x81" "A");
  // Reversed, 0x81 0x41 forms a pair, which moves as one unit.
  EXPECT_NE(*reverse(reverse(s)), *s);
}

TEST(Text, UnconvertibleGbkBytesAreFoundByOffset) {
  constexpr std::size_t kAll = std::string_view::npos;
  EXPECT_EQ(gbk_unconvertible_at(""), kAll);
  EXPECT_EQ(gbk_unconvertible_at(gbk("update t set a = '升级'")), kAll);
  // Code page 936 takes every byte below 0x81 alone (0x80 is the euro
  // sign, a zero byte is a character too) and a lead byte with any trail.
  EXPECT_EQ(gbk_unconvertible_at(std::string("a\x80\0b\x81\x40\xFE\xFE\x81\x80", 10)), kAll);
  EXPECT_EQ(gbk_unconvertible_at("ab\xFF"), 2u);
  EXPECT_EQ(gbk_unconvertible_at("\xC9\xFD\x81\x7F"), 2u);  // 0x7F is no trail byte
  EXPECT_EQ(gbk_unconvertible_at("x\x81"), 1u);             // the text ends inside a character
  EXPECT_EQ(gbk_unconvertible_at("\x81\x30"), 0u);
  EXPECT_EQ(gbk_unconvertible_at("\xC9\xFD\xFF\xFF"), 2u);  // the first of several
}
