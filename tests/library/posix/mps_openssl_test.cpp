#include <gtest/gtest.h>
#include <iconv.h>
// MD5's compression function on its own (MD5_Transform) is kept by OpenSSL 3
// only as a deprecated interface.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/md5.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "hostkit/nvo_mps.h"
#include "rt/object.h"
#include "rt/text.h"

using hostkit::nvo_mps;

namespace {

std::string hex_of(const unsigned char* bytes, std::size_t size) {
  static const char* const kHex = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    hex += kHex[bytes[i] >> 4];
    hex += kHex[bytes[i] & 15];
  }
  return hex;
}

std::string openssl_md5(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr), 1);
  return hex_of(digest, size);
}

// The UTF-16 units of a GBK text, converted by iconv on its own.
std::u16string gbk_to_utf16(const std::string& gbk) {
  iconv_t cd = iconv_open("UTF-16LE", "GBK");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string out(gbk.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(gbk.data());
  std::size_t left = gbk.size();
  char* dst = out.data();
  std::size_t room = out.size();
  EXPECT_NE(iconv(cd, &src, &left, &dst, &room), static_cast<std::size_t>(-1)) << "not GBK";
  iconv_close(cd);
  out.resize(out.size() - room);
  std::u16string units(out.size() / 2, u'\0');
  std::memcpy(units.data(), out.data(), out.size());
  return units;
}

// The digest written independently of the class: the padded word array
// built straight from the characters' UTF-16 codes (sign-extended and
// shifted into their byte of the word, unmasked), and OpenSSL's MD5
// compression over it. For ASCII text it is the MD5 of the bytes.
std::string reference_digest(const std::string& gbk) {
  // The text's characters: a GBK lead byte and its trail byte are one.
  std::vector<std::string> chars;
  for (std::size_t i = 0; i < gbk.size();) {
    const auto lead = static_cast<unsigned char>(gbk[i]);
    std::size_t size = 1;
    if (lead >= 0x81 && lead <= 0xFE && i + 1 < gbk.size()) {
      const auto trail = static_cast<unsigned char>(gbk[i + 1]);
      if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) size = 2;
    }
    chars.push_back(gbk.substr(i, size));
    i += size;
  }
  const std::uint64_t n = chars.size();
  const std::size_t words = static_cast<std::size_t>((n + 8) / 64 + 1) * 16;
  std::vector<std::uint32_t> w(words, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::u16string units = gbk_to_utf16(chars[i]);
    const auto code = static_cast<std::int32_t>(static_cast<std::int16_t>(units.empty() ? 0 : units[0]));
    w[i / 4] |= static_cast<std::uint32_t>(code) << (8 * (i % 4));
  }
  w[n / 4] |= 0x80u << (8 * (n % 4));
  w[words - 2] |= static_cast<std::uint32_t>(n * 8);
  w[words - 1] |= static_cast<std::uint32_t>(n >> 29);

  MD5_CTX ctx;
  MD5_Init(&ctx);
  unsigned char block[64];
  for (std::size_t b = 0; b < words; b += 16) {
    for (std::size_t k = 0; k < 16; ++k)
      for (std::size_t j = 0; j < 4; ++j) block[4 * k + j] = static_cast<unsigned char>(w[b + k] >> (8 * j));
    MD5_Transform(&ctx, block);
  }
  unsigned char digest[16];
  const std::uint32_t state[4] = {ctx.A, ctx.B, ctx.C, ctx.D};
  for (int k = 0; k < 4; ++k)
    for (int j = 0; j < 4; ++j) digest[4 * k + j] = static_cast<unsigned char>(state[k] >> (8 * j));
  return hex_of(digest, 16);
}

std::string random_ascii(std::mt19937& gen, std::size_t length) {
  std::uniform_int_distribution<int> byte(1, 127);
  std::string s(length, ' ');
  for (char& c : s) c = static_cast<char>(byte(gen));
  return s;
}

// `length` characters, about one in `every` of them Chinese (GB2312 hanzi,
// two bytes each), the rest ASCII.
std::string random_gbk(std::mt19937& gen, std::size_t length, int every) {
  std::uniform_int_distribution<int> ascii(32, 126), lead(0xB0, 0xF7), trail(0xA1, 0xFE), pick(1, every);
  std::string s;
  for (std::size_t i = 0; i < length; ++i) {
    if (pick(gen) == 1) {
      int l = lead(gen);
      if (l == 0xD7) l = 0xD8;  // the one row of GB2312 hanzi with unassigned places
      s += static_cast<char>(l);
      s += static_cast<char>(trail(gen));
    } else {
      s += static_cast<char>(ascii(gen));
    }
  }
  return s;
}

class TextDigestAgainstOpenSsl : public ::testing::Test {
 protected:
  rt::Ref<nvo_mps> mps = rt::create<nvo_mps>();
  std::string digest(const std::string& text) { return *mps->of_es(text); }
};

TEST_F(TextDigestAgainstOpenSsl, AsciiTextOfEveryShortLengthIsTheMd5OfItsBytes) {
  std::mt19937 gen(1321);
  for (std::size_t length = 0; length <= 300; ++length) {
    const std::string text = random_ascii(gen, length);
    ASSERT_EQ(digest(text), openssl_md5(text)) << "length " << length;
  }
}

TEST_F(TextDigestAgainstOpenSsl, LongAsciiTextsAreTheMd5OfTheirBytes) {
  std::mt19937 gen(4096);
  // Past 131,071 characters the word indexes no longer fit 16 bits.
  for (std::size_t length : {std::size_t{65536}, std::size_t{204800}}) {
    const std::string text = random_ascii(gen, length);
    EXPECT_EQ(digest(text), openssl_md5(text)) << "length " << length;
  }
}

TEST_F(TextDigestAgainstOpenSsl, ReferenceIsTheMd5OfAsciiBytes) {
  // The reference digest itself, checked where MD5 of the bytes applies.
  std::mt19937 gen(64);
  for (std::size_t length : {0, 1, 55, 56, 64, 119, 120, 1000}) {
    const std::string text = random_ascii(gen, length);
    EXPECT_EQ(reference_digest(text), openssl_md5(text)) << "length " << length;
  }
}

TEST_F(TextDigestAgainstOpenSsl, ChineseTextAroundTheBlockBoundaries) {
  std::mt19937 gen(936);
  // Character counts on either side of the 55/56 and 119/120 limits and of
  // whole blocks; all Chinese, half Chinese and a few Chinese characters.
  for (int every : {1, 2, 7}) {
    for (std::size_t length : {1, 2, 3, 4, 5, 54, 55, 56, 57, 63, 64, 65, 118, 119, 120, 121, 127, 128, 129, 1000}) {
      const std::string text = random_gbk(gen, length, every);
      ASSERT_EQ(digest(text), reference_digest(text)) << "length " << length << ", one in " << every;
    }
  }
}

TEST_F(TextDigestAgainstOpenSsl, ChineseTextsOfTheSystem) {
  for (const char* utf8 : {"中", "能", "龙", "岚舟商业管理软件 能龙 abc", "门店库升级完成。", "数据库：门店 版本 2008"}) {
    const std::string text = rt::gbk(utf8);
    EXPECT_EQ(digest(text), reference_digest(text)) << utf8;
  }
}

TEST_F(TextDigestAgainstOpenSsl, LongChineseTexts) {
  std::mt19937 gen(2104);
  for (std::size_t length : {std::size_t{20000}, std::size_t{131071}}) {
    const std::string text = random_gbk(gen, length, 1);
    EXPECT_EQ(digest(text), reference_digest(text)) << "length " << length;
  }
  const std::string mixed = random_gbk(gen, 70000, 3);
  EXPECT_EQ(digest(mixed), reference_digest(mixed));
}

}  // namespace
