#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "hostkit/hostkit.h"
#include "hostkit/nvo_mdll.h"
#include "platform.h"
#include "support/forwarding_platform.h"
#include "support/temp_dir.h"

using hostkit::Advapi32;
using hostkit::Kernel32;
using hostkit::nvo_mdll;
using testing_support::TempDir;

namespace {

std::string random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

std::string openssl_md5(const std::string& data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(data.data(), data.size(), out, &len, EVP_md5(), nullptr);
  return std::string(reinterpret_cast<char*>(out), len);
}

// The digest text as the class builds it: each byte through of_long2hex.
std::string rendered(const std::string& digest) {
  nvo_mdll m;
  std::string s;
  for (unsigned char b : digest) s += *m.of_long2hex(rt::Long(static_cast<std::int32_t>(b)));
  return s;
}

TEST(FileDigest, HexTextOfANumber) {
  nvo_mdll m;
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, ""},     {1, "1"},     {10, "A"},           {15, "F"},        {16, "10"}, {255, "FF"},
      {256, "100"}, {0xABCDEF, "ABCDEF"}, {2147483647, "7FFFFFFF"}, {-1, ""},  {-2147483647 - 1, ""}};
  for (const auto& [n, text] : cases) EXPECT_EQ(*m.of_long2hex(n), text) << n;
  rt::String from_null = m.of_long2hex(rt::Long(rt::null));
  ASSERT_FALSE(from_null.is_null());
  EXPECT_EQ(*from_null, "");
}

TEST(FileDigest, KnownDigestsAndTheirShortenedText) {
  TempDir dir;
  auto obj = hostkit::create("nvo_mdll");
  auto* m = dynamic_cast<nvo_mdll*>(obj.get());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(*m->of_file_md5(dir.write("abc", "abc")), "90150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(*m->of_file_md5(dir.write("md", "message digest")), "F96B697D7CB7938D525A2F31AAF161D0");
  // d4 1d 8c d9 8f 00 b2 04 e9 80 09 98 ec f8 42 7e: the zero byte gives no digit.
  EXPECT_EQ(*m->of_file_md5(dir.write("empty", "")), "D41D8CD98FB24E980998ECF8427E");
}

TEST(FileDigest, NamesThatGiveNothing) {
  TempDir dir;
  nvo_mdll m;
  EXPECT_EQ(*m.of_file_md5(std::string()), "");
  EXPECT_EQ(*m.of_file_md5(std::string("/tmp/hk_md5_does_not_exist/x")), "");
  rt::String from_null = m.of_file_md5(rt::String(rt::null));
  ASSERT_FALSE(from_null.is_null());
  EXPECT_EQ(*from_null, "");
}

TEST(FileDigest, BlockBoundariesAndLargeFilesMatchOpenSsl) {
  TempDir dir;
  nvo_mdll m;
  unsigned seed = 1;
  for (std::size_t size : {std::size_t{1}, std::size_t{32767}, std::size_t{32768}, std::size_t{32769},
                           std::size_t{65536}, std::size_t{5 * 1024 * 1024 + 123}}) {
    std::string data = random_bytes(size, seed++);
    std::string f = dir.write(std::to_string(size) + ".bin", data);
    EXPECT_EQ(*m.of_file_md5(f), rendered(openssl_md5(data))) << size;
  }
}

TEST(FileDigest, ZeroDigestBytesAreSkippedNotTheEndOfTheValue) {
  // Look for content whose digest has a zero byte before its last byte.
  std::string data, digest;
  for (int i = 0;; ++i) {
    data = "content " + std::to_string(i);
    digest = openssl_md5(data);
    std::size_t zero = digest.find('\0');
    if (zero != std::string::npos && zero < 15) break;
  }
  TempDir dir;
  nvo_mdll m;
  std::string text = *m.of_file_md5(dir.write("z", data));
  EXPECT_EQ(text, rendered(digest));  // the bytes after the zero are there too
}

// Runs `fn` in a child process under the unprivileged user "nobody" and
// returns what it printed; nullopt when the switch is not possible.
std::optional<std::string> as_nobody(const std::function<std::string()>& fn) {
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string out = "<no switch>";
    if (::getuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0)) out = fn();
    (void)!::write(fds[1], out.data(), out.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (out == "<no switch>") return std::nullopt;
  return out;
}

TEST(FileDigest, UnreadableFileGivesNothing) {
  TempDir dir;
  std::string locked = dir.write("locked", "secret");
  std::string open = dir.write("open", "abc");
  ASSERT_EQ(::chmod(locked.c_str(), 0000), 0);
  ASSERT_EQ(::chmod(open.c_str(), 0644), 0);
  auto out = as_nobody([&] {
    nvo_mdll m;
    return *m.of_file_md5(locked) + "|" + *m.of_file_md5(open);
  });
  if (!out) GTEST_SKIP() << "cannot run as an unprivileged user here";
  EXPECT_EQ(*out, "|90150983CD24FB0D6963F7D28E17F72");
}

// --- the service calls, their order and their failures --------------------

// Forwards to the platform's functions, counts handles and injects failures.
class ScriptedKernel32 : public hostkit_test::ForwardingKernel32 {
 public:
  int opens = 0, closes = 0;
  std::vector<std::int32_t> read_sizes;  // bytes delivered by each read
  bool fail_open = false;
  int fail_read_at = -1;

  rt::Long CreateFileA(const rt::String& n, const rt::ULong& access, const rt::ULong& share,
                       const hostkit::security_attributes* sa, const rt::ULong& disp, const rt::ULong& flags,
                       const rt::ULong& tmpl) override {
    if (fail_open) return -1;
    EXPECT_EQ(access.value_or(0), Kernel32::kGenericRead);
    EXPECT_EQ(share.value_or(0), Kernel32::kFileShareRead);
    EXPECT_EQ(disp.value_or(0), Kernel32::kOpenExisting);
    rt::Long h = real.CreateFileA(n, access, share, sa, disp, flags, tmpl);
    if (test(h >= rt::Long(1))) ++opens;
    return h;
  }
  rt::Long ReadFile(const rt::Long& h, std::string& b, const rt::Long& n, rt::Long& r,
                    const rt::ULong& o) override {
    EXPECT_EQ(*n, 32768);
    EXPECT_EQ(b.size(), 32768u);
    if (static_cast<int>(read_sizes.size()) == fail_read_at) {
      read_sizes.push_back(-1);
      return 0;
    }
    rt::Long ret = real.ReadFile(h, b, n, r, o);
    read_sizes.push_back(*r);
    return ret;
  }
  rt::Bool CloseHandle(const rt::ULong& h) override {
    rt::Bool r = real.CloseHandle(h);
    if (test(r)) ++closes;
    return r;
  }
};

class ScriptedAdvapi32 : public hostkit_test::ForwardingAdvapi32 {
 public:
  std::vector<std::string> calls;
  int acquire_failures = 0;  // how many acquisitions fail first
  bool fail_create = false;
  int fail_hash_at = -1;
  int hashes = 0;
  bool fail_size = false, fail_value = false;
  int contexts_open = 0, hashes_open = 0;

  rt::ULong CryptAcquireContextA(rt::ULong& prov, const rt::String& c, const rt::String& p, const rt::ULong& type,
                                 const rt::ULong& flags) override {
    calls.push_back("acquire " + std::to_string(flags.value_or(0)));
    EXPECT_TRUE(c.is_null());
    EXPECT_TRUE(p.is_null());
    EXPECT_EQ(type.value_or(0), 1u);
    if (acquire_failures > 0) {
      --acquire_failures;
      return 0u;
    }
    rt::ULong r = real.CryptAcquireContextA(prov, c, p, type, flags);
    if (*r) ++contexts_open;
    return r;
  }
  rt::ULong CryptReleaseContext(const rt::ULong& prov, const rt::ULong& flags) override {
    calls.push_back("release");
    rt::ULong r = real.CryptReleaseContext(prov, flags);
    if (*r) --contexts_open;
    return r;
  }
  rt::ULong CryptCreateHash(const rt::ULong& prov, const rt::ULong& alg, const rt::ULong& key, const rt::ULong& flags,
                            rt::ULong& hash) override {
    calls.push_back("createhash");
    EXPECT_EQ(alg.value_or(0), 32771u);
    if (fail_create) return 0u;
    rt::ULong r = real.CryptCreateHash(prov, alg, key, flags, hash);
    if (*r) ++hashes_open;
    return r;
  }
  rt::ULong CryptDestroyHash(const rt::ULong& hash) override {
    calls.push_back("destroyhash");
    rt::ULong r = real.CryptDestroyHash(hash);
    if (*r) --hashes_open;
    return r;
  }
  rt::ULong CryptHashData(const rt::ULong& hash, const std::string& data, const rt::ULong& len,
                          const rt::ULong& flags) override {
    if (hashes++ == fail_hash_at) return 0u;
    return real.CryptHashData(hash, data, len, flags);
  }
  rt::Bool CryptGetHashParam(const rt::ULong& hash, const rt::ULong& param, rt::String& data, rt::ULong& len,
                             const rt::ULong& flags) override {
    calls.push_back("value");
    if (fail_value) return false;
    return real.CryptGetHashParam(hash, param, data, len, flags);
  }
  rt::Bool CryptGetHashParam(const rt::ULong& hash, const rt::ULong& param, rt::ULong& data, rt::ULong& len,
                             const rt::ULong& flags) override {
    calls.push_back("size");
    if (fail_size) return false;
    return real.CryptGetHashParam(hash, param, data, len, flags);
  }
};

class FileDigestScripted : public ::testing::Test {
 protected:
  void SetUp() override {
    hostkit::set_kernel32(&k);
    hostkit::set_advapi32(&a);
  }
  void TearDown() override {
    hostkit::set_kernel32(nullptr);
    hostkit::set_advapi32(nullptr);
    // Whatever happened, nothing stays open.
    EXPECT_EQ(k.opens, k.closes);
    EXPECT_EQ(a.contexts_open, 0);
    EXPECT_EQ(a.hashes_open, 0);
  }
  ScriptedKernel32 k;
  ScriptedAdvapi32 a;
  TempDir dir;
  nvo_mdll m;
};

TEST_F(FileDigestScripted, ReadsBlocksUntilAReadDeliversNothing) {
  EXPECT_EQ(*m.of_file_md5(dir.write("a", std::string(32768, 'x'))), rendered(openssl_md5(std::string(32768, 'x'))));
  EXPECT_EQ(k.read_sizes, (std::vector<std::int32_t>{32768, 0}));
  k.read_sizes.clear();
  std::string data = random_bytes(32769, 7);
  EXPECT_EQ(*m.of_file_md5(dir.write("b", data)), rendered(openssl_md5(data)));
  EXPECT_EQ(k.read_sizes, (std::vector<std::int32_t>{32768, 1, 0}));
  EXPECT_EQ(a.calls, (std::vector<std::string>{"acquire 0", "createhash", "size", "value", "destroyhash", "release",
                                               "acquire 0", "createhash", "size", "value", "destroyhash", "release"}));
}

TEST_F(FileDigestScripted, NothingIsAskedOfTheServiceForAnEmptyOrMissingName) {
  EXPECT_EQ(*m.of_file_md5(std::string()), "");
  EXPECT_EQ(*m.of_file_md5(std::string("/tmp/hk_md5_missing/none")), "");
  EXPECT_TRUE(a.calls.empty());
}

TEST_F(FileDigestScripted, SecondAcquisitionAsksForANewKeySet) {
  a.acquire_failures = 1;
  EXPECT_EQ(*m.of_file_md5(dir.write("abc", "abc")), "90150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(a.calls.front(), "acquire 0");
  EXPECT_EQ(a.calls[1], "acquire 8");

  a.calls.clear();
  a.acquire_failures = 2;  // no third attempt; the context is released anyway
  EXPECT_EQ(*m.of_file_md5(dir.write("abc", "abc")), "");
  EXPECT_EQ(a.calls, (std::vector<std::string>{"acquire 0", "acquire 8", "release"}));
}

TEST_F(FileDigestScripted, EveryFailureGivesNothingAndReleasesInReverseOrder) {
  std::string f = dir.write("data", random_bytes(100000, 3));

  a.fail_create = true;
  EXPECT_EQ(*m.of_file_md5(f), "");
  EXPECT_EQ(a.calls, (std::vector<std::string>{"acquire 0", "createhash", "release"}));
  a.fail_create = false;

  a.calls.clear();
  k.fail_open = true;  // missing, locked or not permitted
  EXPECT_EQ(*m.of_file_md5(f), "");
  EXPECT_EQ(a.calls, (std::vector<std::string>{"acquire 0", "createhash", "destroyhash", "release"}));
  k.fail_open = false;

  a.calls.clear();
  k.fail_read_at = 2;  // after two blocks were hashed
  EXPECT_EQ(*m.of_file_md5(f), "");
  EXPECT_EQ(a.calls, (std::vector<std::string>{"acquire 0", "createhash", "destroyhash", "release"}));
  k.fail_read_at = -1;

  a.calls.clear();
  a.hashes = 0;
  a.fail_hash_at = 1;
  EXPECT_EQ(*m.of_file_md5(f), "");
  EXPECT_EQ(a.calls, (std::vector<std::string>{"acquire 0", "createhash", "destroyhash", "release"}));
  a.fail_hash_at = -1;

  a.calls.clear();
  a.fail_size = true;
  EXPECT_EQ(*m.of_file_md5(f), "");
  EXPECT_EQ(a.calls, (std::vector<std::string>{"acquire 0", "createhash", "size", "destroyhash", "release"}));
  a.fail_size = false;

  a.calls.clear();
  a.fail_value = true;
  EXPECT_EQ(*m.of_file_md5(f), "");
  EXPECT_EQ(a.calls,
            (std::vector<std::string>{"acquire 0", "createhash", "size", "value", "destroyhash", "release"}));
}

// --- the POSIX service itself ---------------------------------------------

TEST(FileDigestService, HashObjectsFollowTheWindowsRules) {
  Advapi32& s = hostkit::platform_advapi32();
  rt::ULong prov = 0u, hash = 0u;
  ASSERT_NE(*s.CryptAcquireContextA(prov, rt::null, rt::null, 1u, 0u), 0u);
  EXPECT_EQ(*s.CryptCreateHash(prov, 0x8004u, 0u, 0u, hash), 0u);  // only MD5
  ASSERT_NE(*s.CryptCreateHash(prov, 0x8003u, 0u, 0u, hash), 0u);
  std::string data = "abc";
  ASSERT_NE(*s.CryptHashData(hash, data, 3u, 0u), 0u);
  EXPECT_EQ(*s.CryptHashData(hash, data, 4u, 0u), 0u);  // longer than the data

  rt::ULong size = 0u, len = 4u;
  ASSERT_TRUE(test(s.CryptGetHashParam(hash, 4u, size, len, 0u)));
  EXPECT_EQ(*size, 16u);
  rt::String small = std::string(8, ' ');
  rt::ULong small_len = 8u;
  EXPECT_FALSE(test(s.CryptGetHashParam(hash, 2u, small, small_len, 0u)));
  EXPECT_EQ(*small_len, 16u);  // the room it needs
  rt::String value = std::string(16, ' ');
  len = 16u;
  ASSERT_TRUE(test(s.CryptGetHashParam(hash, 2u, value, len, 0u)));
  EXPECT_EQ(*value, openssl_md5("abc"));
  EXPECT_EQ(*s.CryptHashData(hash, data, 3u, 0u), 0u);  // finished
  EXPECT_NE(*s.CryptDestroyHash(hash), 0u);
  EXPECT_EQ(*s.CryptDestroyHash(hash), 0u);
  EXPECT_NE(*s.CryptReleaseContext(prov, 0u), 0u);
  EXPECT_EQ(*s.CryptReleaseContext(prov, 0u), 0u);
}

}  // namespace
