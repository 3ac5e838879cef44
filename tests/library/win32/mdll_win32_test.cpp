// The file digest on Windows: the digest comes from CryptoAPI and is checked
// against known digests and against the library's own text digest, which
// computes MD5 without the platform.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "hostkit/hostkit.h"
#include "hostkit/nvo_mdll.h"
#include "hostkit/nvo_mps.h"
#include "platform.h"
#include "rt/object.h"
#include "support/forwarding_platform.h"
#include "support/temp_dir.h"

using hostkit::nvo_mdll;
using hostkit::nvo_mps;
using testing_support::TempDir;

namespace {

// The file digest's text for a digest given in lower-case hex: each byte
// through of_long2hex, so a byte below 0x10 gives one digit and 0 none.
std::string rendered(const std::string& hex) {
  nvo_mdll m;
  std::string s;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    s += *m.of_long2hex(rt::Long(static_cast<std::int32_t>(std::stoi(hex.substr(i, 2), nullptr, 16))));
  return s;
}

std::string random_ascii(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> byte(1, 127);
  std::string s(n, ' ');
  for (char& c : s) c = static_cast<char>(byte(gen));
  return s;
}

TEST(Win32FileDigest, KnownDigestsFromTheCryptographicService) {
  TempDir dir;
  nvo_mdll m;
  const std::pair<const char*, const char*> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  int n = 0;
  for (const auto& [text, hex] : vectors)
    EXPECT_EQ(*m.of_file_md5(dir.write("v" + std::to_string(n++), text)), rendered(hex)) << text;
  EXPECT_EQ(*m.of_file_md5(dir.write("abc", "abc")), "90150983CD24FB0D6963F7D28E17F72");
}

TEST(Win32FileDigest, BlockBoundariesAgreeWithTheTextDigest) {
  TempDir dir;
  nvo_mdll m;
  rt::Ref<nvo_mps> mps = rt::create<nvo_mps>();
  // Around one read block (32768 bytes) and across two.
  for (std::size_t size : {std::size_t{55}, std::size_t{64}, std::size_t{32767}, std::size_t{32768},
                           std::size_t{32769}, std::size_t{65537}}) {
    std::string text = random_ascii(size, static_cast<unsigned>(size));
    EXPECT_EQ(*m.of_file_md5(dir.write("b" + std::to_string(size), text)), rendered(*mps->of_es(text))) << size;
  }
}

TEST(Win32FileDigest, NamesAndFilesThatGiveNothing) {
  TempDir dir;
  nvo_mdll m;
  EXPECT_EQ(*m.of_file_md5(std::string()), "");
  EXPECT_EQ(*m.of_file_md5(dir.path() + "\\missing.bin"), "");
  EXPECT_EQ(*m.of_file_md5(rt::String(rt::null)), "");

  // Held open by another program that shares nothing: it cannot be read.
  std::string f = dir.write("locked", "abc");
  HANDLE h = ::CreateFileA(f.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(*m.of_file_md5(f), "");
  ::CloseHandle(h);
  EXPECT_EQ(*m.of_file_md5(f), "90150983CD24FB0D6963F7D28E17F72");
}

// A key container that does not exist yet is refused until it is created:
// the reason for the second acquisition with CRYPT_NEWKEYSET.
TEST(Win32FileDigest, AKeyContainerMustBeCreatedBeforeItCanBeUsed) {
  hostkit::Advapi32& crypt = hostkit::platform_advapi32();
  const std::string name = "hostkit_test_" + std::to_string(::GetCurrentProcessId());
  rt::ULong prov = 0u;
  EXPECT_EQ(*crypt.CryptAcquireContextA(prov, name, rt::String(rt::null), 1u, 0u), 0u);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(NTE_BAD_KEYSET));
  ASSERT_EQ(*crypt.CryptAcquireContextA(prov, name, rt::String(rt::null), 1u, 8u), 1u);

  rt::ULong hash = 0u;
  ASSERT_EQ(*crypt.CryptCreateHash(prov, 0x8003u, 0u, 0u, hash), 1u);
  EXPECT_EQ(*crypt.CryptHashData(hash, std::string("abc"), 3u, 0u), 1u);
  EXPECT_EQ(*crypt.CryptHashData(hash, std::string("ab"), 3u, 0u), 0u);  // more than the buffer holds
  rt::ULong size = 0u, size_len = 4u;
  ASSERT_TRUE(test(crypt.CryptGetHashParam(hash, 4u, size, size_len, 0u)));
  EXPECT_EQ(*size, 16u);
  rt::String value = std::string(8, ' ');
  rt::ULong value_len = 16u;  // room beyond the text is not offered
  EXPECT_FALSE(test(crypt.CryptGetHashParam(hash, 2u, value, value_len, 0u)));
  EXPECT_EQ(*value_len, 16u);
  value = std::string(16, ' ');
  ASSERT_TRUE(test(crypt.CryptGetHashParam(hash, 2u, value, value_len, 0u)));
  EXPECT_EQ(*value, std::string("\x90\x01\x50\x98\x3c\xd2\x4f\xb0\xd6\x96\x3f\x7d\x28\xe1\x7f\x72", 16));
  EXPECT_EQ(*crypt.CryptDestroyHash(hash), 1u);
  EXPECT_EQ(*crypt.CryptReleaseContext(prov, 0u), 1u);

  HCRYPTPROV gone = 0;
  ::CryptAcquireContextA(&gone, name.c_str(), nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

// Records the flags of every acquisition and forwards to the real service.
class RecordingAdvapi32 : public hostkit_test::ForwardingAdvapi32 {
 public:
  std::vector<std::uint32_t> flags;
  rt::ULong CryptAcquireContextA(rt::ULong& prov, const rt::String& c, const rt::String& p, const rt::ULong& type,
                                 const rt::ULong& f) override {
    flags.push_back(f.value_or(0));
    return real.CryptAcquireContextA(prov, c, p, type, f);
  }
};

TEST(Win32FileDigest, WithoutADefaultKeySetTheSecondAcquisitionMakesIt) {
  TempDir dir;
  std::string f = dir.write("abc", "abc");
  // A machine whose default key container was never made.
  HCRYPTPROV gone = 0;
  ::CryptAcquireContextA(&gone, nullptr, nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET);

  RecordingAdvapi32 crypt;
  hostkit::set_advapi32(&crypt);
  nvo_mdll m;
  rt::String first = m.of_file_md5(f);
  std::vector<std::uint32_t> first_flags = crypt.flags;
  crypt.flags.clear();
  // Now the container exists and the first acquisition succeeds.
  rt::String second = m.of_file_md5(f);
  hostkit::set_advapi32(nullptr);

  EXPECT_EQ(first_flags, (std::vector<std::uint32_t>{0u, 8u}));
  EXPECT_EQ(*first, "90150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(crypt.flags, (std::vector<std::uint32_t>{0u}));
  EXPECT_EQ(*second, "90150983CD24FB0D6963F7D28E17F72");
}

}  // namespace
