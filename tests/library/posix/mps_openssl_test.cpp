#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>

#include "hostkit/nvo_mps.h"
#include "rt/object.h"

using hostkit::nvo_mps;

namespace {

std::string openssl_md5(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr), 1);
  static const char* const kHex = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string random_ascii(std::mt19937& gen, std::size_t length) {
  std::uniform_int_distribution<int> byte(1, 127);
  std::string s(length, ' ');
  for (char& c : s) c = static_cast<char>(byte(gen));
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

}  // namespace
