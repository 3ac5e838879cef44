#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "rt/env.h"
#include "rt/text.h"

namespace {

std::string hex_of(const std::string& text) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
    out += ' ';
  }
  return out;
}

// Texts a decoder must convert exactly as the one-shot conversion does:
// ASCII, Chinese characters, bytes that are no GBK character (a lone lead
// byte, a lead byte with a bad trail byte, 0x80, 0xFF), NUL and longer texts.
std::vector<std::string> samples() {
  std::vector<std::string> s = {"", "A", "z", std::string(1, '\0'), "\x80", "\xFF", "\x81", "\x81\x30",
                                "\x81\x7F", "\xFE\xFE", "ab", rt::gbk("中"), rt::gbk("能"), rt::gbk("龙"),
                                rt::gbk("中文字"), rt::gbk("a能b"), "\xB0\xA1\xB0"};
  for (int b = 0; b < 256; ++b) s.push_back(std::string(1, static_cast<char>(b)));
  for (int lead = 0x80; lead < 0x100; lead += 7)
    for (int trail = 0x30; trail < 0x100; trail += 5)
      s.push_back(std::string{static_cast<char>(lead), static_cast<char>(trail)});
  return s;
}

TEST(AnsiDecoder, DecodesAsTheOneShotConversion) {
  rt::Env* env = rt::Env::Default();
  std::unique_ptr<rt::AnsiDecoder> decoder = env->NewAnsiDecoder();
  ASSERT_NE(decoder, nullptr);
  // Twice over, so that texts met before are converted again the same way.
  for (int pass = 0; pass < 2; ++pass)
    for (const std::string& text : samples())
      EXPECT_EQ(decoder->Decode(text), env->AnsiToUtf16(text)) << "pass " << pass << ", " << hex_of(text);
}

// Every two-byte text, in an order that meets each lead byte first with a
// character and then with the bytes that are none, and the other way round.
TEST(AnsiDecoder, EveryPairDecodesAsTheOneShotConversion) {
  rt::Env* env = rt::Env::Default();
  for (bool trail_up : {true, false}) {
    std::unique_ptr<rt::AnsiDecoder> decoder = env->NewAnsiDecoder();
    for (int lead = 0x80; lead < 0x100; ++lead)
      for (int i = 0; i < 256; ++i) {
        const int trail = trail_up ? (0x40 + i) % 256 : 255 - i;
        const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
        ASSERT_EQ(decoder->Decode(pair), env->AnsiToUtf16(pair)) << hex_of(pair);
      }
  }
}

TEST(AnsiDecoder, ChineseCharactersGiveTheirUtf16Codes) {
  std::unique_ptr<rt::AnsiDecoder> decoder = rt::Env::Default()->NewAnsiDecoder();
  EXPECT_EQ(decoder->Decode(rt::gbk("中")), u"中");
  EXPECT_EQ(decoder->Decode(rt::gbk("能")), std::u16string(1, char16_t{0x80FD}));
  EXPECT_EQ(decoder->Decode("A"), u"A");
  EXPECT_EQ(decoder->Decode(rt::gbk("中")), u"中");
}

}  // namespace
