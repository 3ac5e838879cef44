#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "hostkit/nvo_dnum.h"
#include "rt/object.h"
#include "rt/text.h"

using hostkit::DigitText;
using hostkit::nvo_dnum;

namespace {

std::string ones(int n) { return std::string(static_cast<std::size_t>(n), '1'); }
std::string zeros(int n) { return std::string(static_cast<std::size_t>(n), '0'); }

// Random longs with the values at the edges of the range mixed in.
std::vector<std::int32_t> sample_longs(std::size_t count, unsigned seed) {
  std::vector<std::int32_t> v = {std::numeric_limits<std::int32_t>::min(), -1, 0, 1,
                                 std::numeric_limits<std::int32_t>::max(), -2, 15, 16, -16, -17, 255, 256};
  std::mt19937 gen(seed);
  std::uniform_int_distribution<std::int32_t> any(std::numeric_limits<std::int32_t>::min(),
                                                  std::numeric_limits<std::int32_t>::max());
  std::uniform_int_distribution<int> bits(0, 31);
  while (v.size() < count) {
    // Half of them small, so that every digit width occurs.
    std::int32_t x = any(gen);
    if (v.size() % 2 == 0) x = static_cast<std::int32_t>(static_cast<std::uint32_t>(x) >> bits(gen));
    v.push_back(x);
  }
  return v;
}

class DigitTextTest : public ::testing::Test {
 protected:
  rt::Ref<nvo_dnum> dn = rt::create<nvo_dnum>();
};

TEST_F(DigitTextTest, BinaryOfUnsignedAndSignedLongs) {
  EXPECT_EQ(*dn->of_binary(rt::ULong(0u)), "0");
  EXPECT_EQ(*dn->of_binary(rt::ULong(5u)), "101");
  EXPECT_EQ(*dn->of_binary(rt::ULong(2147483648u)), "1" + zeros(31));
  EXPECT_EQ(*dn->of_binary(rt::ULong(4294967295u)), ones(32));

  EXPECT_EQ(*dn->of_binary(rt::Long(0)), "0");
  EXPECT_EQ(*dn->of_binary(rt::Long(-1)), "-1");
  EXPECT_EQ(*dn->of_binary(rt::Long(-5)), "-101");
  EXPECT_EQ(*dn->of_binary(rt::Long(2147483647)), ones(31));
  EXPECT_EQ(*dn->of_binary(rt::Long(std::numeric_limits<std::int32_t>::min())), "-1" + zeros(31));

  EXPECT_TRUE(dn->of_binary(rt::ULong(rt::null)).is_null());
  EXPECT_TRUE(dn->of_binary(rt::Long(rt::null)).is_null());
}

TEST_F(DigitTextTest, DigitsReadBackAsUnsignedAndAsLong) {
  EXPECT_EQ(*dn->of_binarytodecimalunsigned(std::string()), 0u);
  EXPECT_EQ(*dn->of_binarytodecimalunsigned(std::string("0000101")), 5u);
  EXPECT_EQ(*dn->of_binarytodecimalunsigned(ones(32)), 4294967295u);
  EXPECT_EQ(*dn->of_binarytodecimalunsigned("1" + zeros(31)), 2147483648u);
  EXPECT_EQ(*dn->of_decimal(ones(32)), -1);
  EXPECT_EQ(*dn->of_decimal("1" + zeros(31)), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(*dn->of_decimal(std::string()), 0);

  // Any character but a digit, wherever it stands, gives all bits set.
  for (const char* bad : {"-101", "10a", " 1", "1 ", "2"}) {
    EXPECT_EQ(*dn->of_binarytodecimalunsigned(std::string(bad)), 4294967295u) << bad;
    EXPECT_EQ(*dn->of_decimal(std::string(bad)), -1) << bad;
  }
  EXPECT_EQ(*dn->of_decimal(rt::gbk("1中0")), -1);

  // Only the last 32 digits of a longer text count.
  EXPECT_EQ(*dn->of_binarytodecimalunsigned("1" + zeros(32)), 0u);
  EXPECT_EQ(*dn->of_binarytodecimalunsigned("111" + zeros(28) + "101"), 0x80000005u);

  EXPECT_TRUE(dn->of_binarytodecimalunsigned(rt::String(rt::null)).is_null());
  EXPECT_TRUE(dn->of_decimal(rt::String(rt::null)).is_null());
}

TEST_F(DigitTextTest, DecimalUndoesBinaryForNonNegativeLongs) {
  for (std::int32_t x : sample_longs(2000, 7)) {
    if (x < 0) {
      // The sign is a bad character to the reader.
      EXPECT_EQ(*dn->of_decimal(dn->of_binary(rt::Long(x))), -1) << x;
      continue;
    }
    EXPECT_EQ(*dn->of_decimal(dn->of_binary(rt::Long(x))), x);
  }
  // Every unsigned value comes back through its plain digit text.
  for (std::int32_t x : sample_longs(500, 8)) {
    const auto u = static_cast<std::uint32_t>(x);
    EXPECT_EQ(*dn->of_binarytodecimalunsigned(dn->of_binary(rt::ULong(u))), u);
  }
}

TEST_F(DigitTextTest, ComplementHasOneDigitPerCharacter) {
  EXPECT_EQ(*dn->of_bitwisenot(std::string("0101")), "1010");
  EXPECT_EQ(*dn->of_bitwisenot(std::string("1-0")), "001");
  EXPECT_EQ(*dn->of_bitwisenot(std::string()), "");
  // A two-byte character is one position.
  EXPECT_EQ(*dn->of_bitwisenot(rt::gbk("0中1")), "100");
  EXPECT_TRUE(dn->of_bitwisenot(rt::String(rt::null)).is_null());

  // Every length that the in-place texts hold, in whole and partial groups
  // of eight, with characters other than digits anywhere.
  std::mt19937 gen(5);
  const std::string alphabet = "0101-a 9";
  for (std::size_t n = 0; n <= DigitText::kCapacity; ++n) {
    std::string text, expected;
    for (std::size_t i = 0; i < n; ++i) {
      text += alphabet[gen() % alphabet.size()];
      expected += text.back() == '0' ? '1' : '0';
    }
    EXPECT_EQ(*dn->of_bitwisenot(text), expected) << text;
    EXPECT_EQ(dn->of_bitwisenot(DigitText(text)).view(), expected) << text;
  }
}

TEST_F(DigitTextTest, FillSwitchesBetweenSignMagnitudeAndTwosComplement) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"00000101", "00000101"},      // non-negative: unchanged
      {"0000111", "0000111"},        // unchanged, not padded
      {"11110101", "11111011"},      // -5 in 4 digits
      {"11111000", "11111000"},      // -8 is its own two's complement at width 4
      {"11110000", "111100010000"},  // -16: the carry widens the digits
      {"1111101", "11110011"},       // three digits, padded to four
      {"1111", "11110001"},          // no digits at all
      {"000", "11110001"},           // shorter than the prefix
      {"", "11110001"},
      {"10100011", "11111101"},  // any first four characters count as "1111"
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(*dn->of_bitwisefill(in), out) << in;
    EXPECT_EQ(dn->of_bitwisefill(DigitText(in)).view(), out) << in;
  }
  // The first four characters are counted as characters.
  EXPECT_EQ(*dn->of_bitwisefill(rt::gbk("中111100")), "11110100");
  EXPECT_TRUE(dn->of_bitwisefill(rt::String(rt::null)).is_null());

  // Twice gives a sign-magnitude text back (width a multiple of 4, digits not 0).
  for (std::int32_t x : sample_longs(300, 9)) {
    if (x >= 0 || x == std::numeric_limits<std::int32_t>::min()) continue;
    std::string digits = dn->of_binary(rt::Long(x))->substr(1);
    digits.insert(0, (4 - digits.size() % 4) % 4, '0');
    const std::string text = "1111" + digits;
    EXPECT_EQ(*dn->of_bitwisefill(dn->of_bitwisefill(text)), text);
  }
}

TEST_F(DigitTextTest, BitwiseNullAndTheWidenedResult) {
  // -16 needs one digit more than its operands: the fill widens it.
  EXPECT_EQ(*dn->of_bitwiseand(-8, -9), -16);
  EXPECT_EQ(*dn->of_bitwisexor(1, -15), -16);
  for (auto [a, b] : {std::pair<rt::Long, rt::Long>{rt::null, 1}, {1, rt::null}, {rt::null, rt::null}}) {
    EXPECT_TRUE(dn->of_bitwiseand(a, b).is_null());
    EXPECT_TRUE(dn->of_bitwiseor(a, b).is_null());
    EXPECT_TRUE(dn->of_bitwisexor(a, b).is_null());
  }
}

TEST_F(DigitTextTest, BitwiseEqualsTwosComplementOperationsForAnyPair) {
  const std::vector<std::int32_t> values = sample_longs(300, 11);
  for (std::size_t i = 0; i < values.size(); ++i) {
    for (std::size_t j = i; j < values.size(); j += 7) {
      const std::int32_t a = values[i], b = values[j];
      ASSERT_EQ(*dn->of_bitwiseand(a, b), a & b) << a << " & " << b;
      ASSERT_EQ(*dn->of_bitwiseor(a, b), a | b) << a << " | " << b;
      ASSERT_EQ(*dn->of_bitwisexor(a, b), a ^ b) << a << " ^ " << b;
      ASSERT_EQ(*dn->of_bitwisexor(b, a), a ^ b) << b << " ^ " << a;
    }
  }
}

TEST_F(DigitTextTest, BitwiseExactAtEveryDigitWidthAndCarry) {
  // Every width of the digit texts (4 to 32), either sign on either side,
  // and the results -2^w whose fill carries out of the width.
  std::vector<std::int32_t> values = {0, std::numeric_limits<std::int32_t>::min()};
  for (int k = 0; k < 31; ++k) {
    const std::int32_t p = std::int32_t{1} << k;
    for (std::int32_t v : {p, p - 1, p + 1}) {
      values.push_back(v);
      values.push_back(-v);
    }
  }
  for (std::int32_t a : values) {
    for (std::int32_t b : values) {
      ASSERT_EQ(*dn->of_bitwiseand(a, b), a & b) << a << " & " << b;
      ASSERT_EQ(*dn->of_bitwiseor(a, b), a | b) << a << " | " << b;
      ASSERT_EQ(*dn->of_bitwisexor(a, b), a ^ b) << a << " ^ " << b;
    }
  }
}

TEST_F(DigitTextTest, InPlaceRouteAgreesWithTextRoute) {
  for (std::int32_t x : sample_longs(400, 12)) {
    DigitText t;
    dn->of_binary(x, t);
    EXPECT_EQ(t.str(), *dn->of_binary(rt::Long(x)));
    dn->of_binary(static_cast<std::uint32_t>(x), t);
    EXPECT_EQ(t.str(), *dn->of_binary(rt::ULong(static_cast<std::uint32_t>(x))));
    EXPECT_EQ(dn->of_decimal(t), x);
    EXPECT_EQ(dn->of_bitwisenot(t).str(), *dn->of_bitwisenot(t.str()));
  }
  // A text that would outgrow its room raises an array-bounds error
  // instead of running past its buffer.
  DigitText full(std::string(DigitText::kCapacity, '1'));
  try {
    full.push_back('0');
    FAIL() << "no error raised";
  } catch (const rt::RuntimeError& e) {
    EXPECT_EQ(e.number(), rt::kErrArrayBounds);
  }
}

TEST(DigitTextClass, CreatedByClassName) {
  rt::Ref<rt::Object> obj = rt::create_object("nvo_dnum");
  ASSERT_TRUE(obj);
  EXPECT_EQ(obj->class_name(), "nvo_dnum");
  auto* dn = dynamic_cast<nvo_dnum*>(obj.get());
  ASSERT_NE(dn, nullptr);
  EXPECT_EQ(*dn->of_bitwiseand(-8, -9), -16);
}

}  // namespace
