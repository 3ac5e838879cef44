#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "hostkit/nvo_mps.h"
#include "rt/error.h"
#include "rt/object.h"
#include "rt/text.h"

using hostkit::nvo_mps;

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

std::int32_t rotl(std::int32_t x, int s) {
  const auto u = static_cast<std::uint32_t>(x);
  return static_cast<std::int32_t>((u << s) | (u >> (32 - s)));
}

// Runs f and returns the number of the runtime error it raised (0 if none).
template <class F>
int error_of(F f) {
  try {
    f();
  } catch (const rt::RuntimeError& e) {
    return e.number();
  }
  return 0;
}

class TextDigestTest : public ::testing::Test {
 protected:
  rt::Ref<nvo_mps> mps = rt::create<nvo_mps>();
  std::string digest(const std::string& text) { return *mps->of_es(text); }
};

TEST_F(TextDigestTest, RfcTestSuite) {
  EXPECT_EQ(digest(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(digest("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(digest("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(digest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(digest("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(digest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  std::string digits;
  for (int i = 0; i < 8; ++i) digits += "1234567890";
  EXPECT_EQ(digest(digits), "57edf4a22be3c955ac49da2e2107b67a");
}

TEST_F(TextDigestTest, NullTextGivesTheStartingState) {
  rt::String result = mps->of_es(rt::String(rt::null));
  ASSERT_FALSE(result.is_null());
  EXPECT_EQ(*result, "0123456789abcdeffedcba9876543210");
}

TEST_F(TextDigestTest, ChineseTextHasItsOwnStableDigest) {
  const std::string text = rt::gbk("岚舟商业管理软件 能龙 abc");
  const std::string first = digest(text);
  rt::Ref<nvo_mps> other = rt::create<nvo_mps>();
  EXPECT_EQ(*other->of_es(text), first);
  EXPECT_EQ(first.size(), 32u);
  // Not the MD5 of the text's GBK bytes: the characters enter as their
  // UTF-16 codes under code page 936. The value is the same on every
  // platform that converts through that code page.
  EXPECT_NE(first, "3592fc5c8d4a925820d6f679a438b7ce");
  EXPECT_EQ(first, "a3de1494eb1ca8b9fd5be482d8fcc007");
  EXPECT_NE(first, digest(rt::gbk("岚舟商业管理软件 能龙 abd")));
}

TEST_F(TextDigestTest, WordArrayOfAsciiText) {
  nvo_mps::WordArray words;
  EXPECT_EQ(*mps->of_converttowordarray(std::string(), words), 1);
  ASSERT_EQ(words.size(), 16u);
  EXPECT_EQ(*words[0], 128);
  for (std::size_t i = 1; i < 16; ++i) EXPECT_EQ(*words[i], 0) << i;

  // The caller's array is replaced, not extended.
  words.assign(40, rt::Long(7));
  mps->of_converttowordarray(std::string("abc"), words);
  ASSERT_EQ(words.size(), 16u);
  EXPECT_EQ(*words[0], static_cast<std::int32_t>(0x80636261u));
  for (std::size_t i = 1; i < 14; ++i) EXPECT_EQ(*words[i], 0) << i;
  EXPECT_EQ(*words[14], 24);
  EXPECT_EQ(*words[15], 0);

  // A NULL text gives no words at all.
  mps->of_converttowordarray(rt::String(rt::null), words);
  EXPECT_TRUE(words.empty());
}

TEST_F(TextDigestTest, WordArrayOfChineseTextTakesTheUtf16Codes) {
  nvo_mps::WordArray words;
  // One character (two bytes): its code 0x4E2D, then the end mark at byte 1.
  mps->of_converttowordarray(rt::gbk("中"), words);
  ASSERT_EQ(words.size(), 16u);
  EXPECT_EQ(*words[0], 0xCE2D);
  EXPECT_EQ(*words[14], 8);
  // A code of 0x8000 or more is sign-extended before its shift: 0x80FD at
  // byte 1 sets every bit above it.
  mps->of_converttowordarray(rt::gbk("a能"), words);
  EXPECT_EQ(*words[0], static_cast<std::int32_t>(0xFF80FD61u));
  EXPECT_EQ(*words[14], 16);
  mps->of_converttowordarray(rt::gbk("龙a"), words);
  EXPECT_EQ(*words[0], static_cast<std::int32_t>(0xFFFFFF99u));
}

TEST_F(TextDigestTest, UnicodeOfACharacter) {
  EXPECT_EQ(*mps->of_getunicode(std::string("A")), 65);
  EXPECT_EQ(*mps->of_getunicode(std::string()), 0);
  EXPECT_EQ(*mps->of_getunicode(rt::gbk("中")), 0x4E2D);
  EXPECT_EQ(*mps->of_getunicode(rt::gbk("能")), -32515);
  EXPECT_EQ(*mps->of_getunicode(rt::gbk("中文字")), 0x4E2D);
  rt::Int of_null = mps->of_getunicode(rt::String(rt::null));
  ASSERT_FALSE(of_null.is_null());
  EXPECT_EQ(*of_null, 0);
}

TEST_F(TextDigestTest, WideCharConversionFillsTheReceivingLong) {
  rt::String text = rt::gbk("中A");
  rt::Long out = 0;
  EXPECT_EQ(*mps->multibytetowidechar(0, 0, text, 3, out, 6), 2);
  EXPECT_EQ(*out, static_cast<std::int32_t>(0x00414E2Du));
  // One unit leaves the high half as it was.
  out = static_cast<std::int32_t>(0x12340000u);
  EXPECT_EQ(*mps->multibytetowidechar(0, 0, text, 1 + 1, out, 4), 1);
  EXPECT_EQ(*out, static_cast<std::int32_t>(0x12344E2Du));
  // Room 0 asks for the count only; too little room writes nothing.
  out = 0;
  EXPECT_EQ(*mps->multibytetowidechar(0, 0, text, 3, out, 0), 2);
  EXPECT_EQ(*mps->multibytetowidechar(0, 0, text, 3, out, 1), 0);
  EXPECT_EQ(*out, 0);
  // -1 converts through the terminating NUL, which it counts.
  rt::String ascii = std::string("x");
  EXPECT_EQ(*mps->multibytetowidechar(0, 0, ascii, -1, out, 4), 2);
  EXPECT_EQ(*out, 'x');
  // A text longer than two units: only the first two are kept.
  rt::String longer = std::string("abcdef");
  EXPECT_EQ(*mps->multibytetowidechar(0, 0, longer, 6, out, 12), 6);
  EXPECT_EQ(*out, 0x00620061);
  // Only the system ANSI code page is offered; bad counts fail.
  EXPECT_EQ(*mps->multibytetowidechar(65001, 0, text, 3, out, 6), 0);
  EXPECT_EQ(*mps->multibytetowidechar(0, 0, text, 0, out, 6), 0);
  EXPECT_EQ(*mps->multibytetowidechar(0, 0, text, 3, out, -2), 0);
}

TEST_F(TextDigestTest, AdditionWraps) {
  EXPECT_EQ(*mps->of_addunsigned(2147483647, 1), kMin);
  EXPECT_EQ(*mps->of_addunsigned(-1, 1), 0);
  EXPECT_TRUE(mps->of_addunsigned(rt::null, 1).is_null());
}

TEST_F(TextDigestTest, PowersAndMasks) {
  EXPECT_EQ(*mps->of_m2power(0), 1);
  EXPECT_EQ(*mps->of_m2power(30), 1073741824);
  EXPECT_EQ(*mps->of_m2power(31), 0);
  EXPECT_EQ(*mps->of_m2power(-1), 0);
  EXPECT_EQ(*mps->of_m2power(rt::null), 0);
  EXPECT_EQ(*mps->of_monbits(0), 1);
  EXPECT_EQ(*mps->of_monbits(30), 2147483647);
  EXPECT_EQ(*mps->of_monbits(31), 0);
}

TEST_F(TextDigestTest, ShiftsAtTheirBounds) {
  EXPECT_EQ(*mps->of_lshift(3, 30), -1073741824);
  for (std::int32_t count : {31, 32, -1}) EXPECT_EQ(*mps->of_lshift(1, count), 0) << count;
  EXPECT_EQ(*mps->of_lshift(1, rt::null), 0);
  EXPECT_TRUE(mps->of_lshift(rt::null, 3).is_null());

  EXPECT_EQ(*mps->of_rshift(-1, 0), -1);
  EXPECT_EQ(*mps->of_rshift(kMin, 30), 2);
  EXPECT_TRUE(mps->of_rshift(rt::null, 3).is_null());
  // A count outside 0 to 30 is a division by zero.
  for (std::int32_t count : {31, 32, -1}) {
    EXPECT_EQ(error_of([&] { mps->of_rshift(-1, count); }), rt::kErrDivideByZero) << count;
  }
  EXPECT_EQ(error_of([&] { mps->of_rshift(5, rt::null); }), rt::kErrDivideByZero);

  EXPECT_EQ(*mps->of_rotateleft(static_cast<std::int32_t>(0x80000001u), 4), 24);
  EXPECT_EQ(*mps->of_rotateleft(-12345, 32), -12345);
  EXPECT_EQ(*mps->of_rotateleft(-12345, 31), *mps->of_rshift(-12345, 1));
  for (std::int32_t count : {0, 1, 33, -3}) {
    EXPECT_EQ(error_of([&] { mps->of_rotateleft(7, count); }), rt::kErrDivideByZero) << count;
  }
}

TEST_F(TextDigestTest, ShiftsAndRotationsMatchTheBitPatterns) {
  std::mt19937 gen(99);
  std::uniform_int_distribution<std::int32_t> any(kMin, std::numeric_limits<std::int32_t>::max());
  std::vector<std::int32_t> values = {kMin, -1, 0, 1, 2147483647};
  for (int i = 0; i < 60; ++i) values.push_back(any(gen));
  // Negative values whose magnitudes have every digit count from 1 to 31,
  // at both ends of each count and between them.
  for (int digits = 1; digits <= 31; ++digits) {
    const std::int32_t low = std::int32_t{1} << (digits - 1);
    const std::int32_t high = static_cast<std::int32_t>((std::uint32_t{1} << digits) - 1u);
    values.insert(values.end(), {-low, -high, -std::uniform_int_distribution<std::int32_t>(low, high)(gen)});
  }
  for (std::int32_t x : values) {
    const auto u = static_cast<std::uint32_t>(x);
    for (int s = 0; s <= 30; ++s) {
      ASSERT_EQ(*mps->of_lshift(x, s), static_cast<std::int32_t>(u << s)) << x << " << " << s;
      ASSERT_EQ(*mps->of_rshift(x, s), static_cast<std::int32_t>(u >> s)) << x << " >> " << s;
      if (s >= 2) {
        ASSERT_EQ(*mps->of_rotateleft(x, s), rotl(x, s)) << x << " <<< " << s;
      }
    }
  }
}

TEST_F(TextDigestTest, WordToHexWritesBytesLeastSignificantFirst) {
  EXPECT_EQ(*mps->of_wordtohex(0), "00000000");
  EXPECT_EQ(*mps->of_wordtohex(0x67452301), "01234567");
  EXPECT_EQ(*mps->of_wordtohex(10), "0a000000");
  EXPECT_EQ(*mps->of_wordtohex(-1), "ffffffff");
  EXPECT_EQ(*mps->of_wordtohex(static_cast<std::int32_t>(0x89abcdefu)), "efcdab89");
  // NULL has no digits.
  EXPECT_EQ(*mps->of_wordtohex(rt::null), "");
}

TEST_F(TextDigestTest, RoundFunctions) {
  const std::int32_t y = 0x5A5A1234, z = static_cast<std::int32_t>(0xC3C3F00Fu);
  EXPECT_EQ(*mps->of_f(-1, y, z), y);
  EXPECT_EQ(*mps->of_f(0, y, z), z);
  EXPECT_EQ(*mps->of_g(y, z, -1), y);
  EXPECT_EQ(*mps->of_g(y, z, 0), z);
  EXPECT_EQ(*mps->of_h(y, y, z), z);
  EXPECT_EQ(*mps->of_i(0, y, 0), ~y);
  EXPECT_TRUE(mps->of_f(rt::null, y, z).is_null());
  EXPECT_TRUE(mps->of_i(1, y, rt::null).is_null());

}

TEST_F(TextDigestTest, OwnedNumericalObject) {
  ASSERT_TRUE(mps->inv_numerical);
  EXPECT_EQ(mps->inv_numerical->class_name(), "nvo_dnum");
  // Without it every bit operation is a null object reference.
  rt::destroy(mps->inv_numerical);
  EXPECT_EQ(error_of([&] { mps->of_lshift(1, 2); }), rt::kErrNullObject);
  EXPECT_EQ(error_of([&] { mps->of_f(1, 2, 3); }), rt::kErrNullObject);
  EXPECT_EQ(error_of([&] { mps->of_es(std::string("abc")); }), rt::kErrNullObject);
}

TEST(TextDigestClass, CreatedByClassName) {
  rt::Ref<rt::Object> obj = rt::create_object("nvo_mps");
  ASSERT_TRUE(obj);
  auto* mps = dynamic_cast<nvo_mps*>(obj.get());
  ASSERT_NE(mps, nullptr);
  ASSERT_TRUE(mps->inv_numerical);
  EXPECT_EQ(*mps->of_es(std::string("abc")), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
