// The cryptographic service of hostkit on POSIX systems, with OpenSSL's
// libcrypto computing the digests.
//
// There are no key containers here: a context of type PROV_RSA_FULL on the
// default provider is always available, with or without CRYPT_NEWKEYSET.
// Hash objects compute MD5. Once the hash value has been read, the object
// keeps it and accepts no more data, as on Windows.
//
// A program that loads hostkit often computes one digest and exits, so the
// digest goes through libcrypto's MD5 functions themselves (MD5_Init,
// MD5_Update, MD5_Final): they need no initialisation of the library, no
// configuration file and no provider, whose set-up would cost a fresh
// process more than the digest of a small file. They are the same MD5 code
// that OpenSSL's default provider runs. (OpenSSL 3 marks them deprecated in
// favour of its providers; they remain part of its API.)
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform.h"
#include "win_errors.h"

namespace hostkit {

namespace {

using posix::set_last_error;

constexpr std::uint32_t kCryptVerifyContext = 0xF0000000u;
constexpr std::uint32_t kCryptSilent = 0x40;
constexpr std::uint32_t kHpAlgId = 1;

struct HashObject {
  MD5_CTX ctx;
  bool finished = false;
  unsigned char value[MD5_DIGEST_LENGTH] = {};
};

class PosixAdvapi32 : public Advapi32 {
 public:
  rt::ULong CryptAcquireContextA(rt::ULong& prov, const rt::String&, const rt::String& provider,
                                 const rt::ULong& prov_type, const rt::ULong& flags) override {
    if (!provider.is_null()) return fail(posix::kNteKeysetNotDef);  // only the default provider
    if (prov_type.value_or(0) != kProvRsaFull) return fail(posix::kNteBadType);
    std::uint32_t f = flags.value_or(0) & ~kCryptSilent;
    if (f != 0 && f != kCryptNewKeyset && f != kCryptVerifyContext) return fail(posix::kNteBadFlags);
    std::lock_guard<std::mutex> lock(m_);
    std::uint32_t h = next_handle();
    contexts_[h] = true;
    prov = h;
    return 1u;
  }

  rt::ULong CryptReleaseContext(const rt::ULong& prov, const rt::ULong& flags) override {
    if (flags.value_or(0) != 0) return fail(posix::kNteBadFlags);
    std::lock_guard<std::mutex> lock(m_);
    if (!contexts_.erase(prov.value_or(0))) return fail(posix::kNteBadUid);
    return 1u;
  }

  rt::ULong CryptCreateHash(const rt::ULong& prov, const rt::ULong& alg_id, const rt::ULong& key,
                            const rt::ULong& flags, rt::ULong& hash) override {
    if (alg_id.value_or(0) != kCalgMd5) return fail(posix::kNteBadAlgid);
    if (key.value_or(0) != 0 || flags.value_or(0) != 0) return fail(posix::kNteBadFlags);
    auto obj = std::make_unique<HashObject>();
    if (MD5_Init(&obj->ctx) != 1) return fail(posix::kErrorGenFailure);
    std::lock_guard<std::mutex> lock(m_);
    if (!contexts_.count(prov.value_or(0))) return fail(posix::kNteBadUid);
    std::uint32_t h = next_handle();
    hashes_[h] = std::move(obj);
    hash = h;
    return 1u;
  }

  rt::ULong CryptDestroyHash(const rt::ULong& hash) override {
    std::lock_guard<std::mutex> lock(m_);
    if (!hashes_.erase(hash.value_or(0))) return fail(posix::kNteBadHash);
    return 1u;
  }

  rt::ULong CryptHashData(const rt::ULong& hash, const std::string& data, const rt::ULong& data_len,
                          const rt::ULong& flags) override {
    if (flags.value_or(0) != 0) return fail(posix::kNteBadFlags);
    std::size_t n = data_len.value_or(0);
    if (n > data.size()) return fail(posix::kErrorInvalidParameter);
    HashObject* obj = find(hash);
    if (!obj) return fail(posix::kNteBadHash);
    if (obj->finished) return fail(posix::kNteBadHashState);
    if (MD5_Update(&obj->ctx, data.data(), n) != 1) return fail(posix::kErrorGenFailure);
    return 1u;
  }

  rt::Bool CryptGetHashParam(const rt::ULong& hash, const rt::ULong& param, rt::String& data, rt::ULong& data_len,
                             const rt::ULong& flags) override {
    if (flags.value_or(0) != 0) return refuse(posix::kNteBadFlags);
    HashObject* obj = find(hash);
    if (!obj) return refuse(posix::kNteBadHash);
    unsigned char bytes[MD5_DIGEST_LENGTH];
    std::size_t size = 0;
    switch (param.value_or(0)) {
      case kHpHashVal:
        if (!finish(*obj)) return refuse(posix::kErrorGenFailure);
        std::memcpy(bytes, obj->value, sizeof obj->value);
        size = sizeof obj->value;
        break;
      case kHpHashSize:
      case kHpAlgId: {
        std::uint32_t v = param.value_or(0) == kHpHashSize ? std::uint32_t{MD5_DIGEST_LENGTH} : kCalgMd5;
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(v >> (8 * i));
        size = 4;
        break;
      }
      default:
        return refuse(posix::kNteBadType);
    }
    if (data.is_null()) {  // a size query
      data_len = static_cast<std::uint32_t>(size);
      return true;
    }
    std::size_t room = std::min<std::size_t>(data_len.value_or(0), data->size());
    if (room < size) {
      data_len = static_cast<std::uint32_t>(size);
      return refuse(posix::kErrorMoreData);
    }
    (*data).replace(0, size, reinterpret_cast<const char*>(bytes), size);
    data_len = static_cast<std::uint32_t>(size);
    return true;
  }

  rt::Bool CryptGetHashParam(const rt::ULong& hash, const rt::ULong& param, rt::ULong& data, rt::ULong& data_len,
                             const rt::ULong& flags) override {
    // A 32-bit number: the text form into four bytes, read little-endian.
    rt::String bytes = std::string(4, '\0');
    rt::ULong len = data_len;
    if (!test(CryptGetHashParam(hash, param, bytes, len, flags))) {
      data_len = len;
      return false;
    }
    if (*len != 4) {
      data_len = len;
      return refuse(posix::kErrorMoreData);
    }
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>((*bytes)[static_cast<std::size_t>(i)]);
    data = v;
    data_len = len;
    return true;
  }

 private:
  static rt::ULong fail(std::uint32_t code) {
    set_last_error(code);
    return 0u;
  }
  static rt::Bool refuse(std::uint32_t code) {
    set_last_error(code);
    return false;
  }

  std::uint32_t next_handle() {
    do {
      next_ += 4;
      if (next_ > 0x7FFFFFF0u) next_ = 0x100;
    } while (contexts_.count(next_) || hashes_.count(next_));
    return next_;
  }

  HashObject* find(const rt::ULong& hash) {
    std::lock_guard<std::mutex> lock(m_);
    auto it = hashes_.find(hash.value_or(0));
    return it == hashes_.end() ? nullptr : it->second.get();
  }

  static bool finish(HashObject& obj) {
    if (obj.finished) return true;
    if (MD5_Final(obj.value, &obj.ctx) != 1) return false;
    obj.finished = true;
    return true;
  }

  std::mutex m_;
  std::map<std::uint32_t, bool> contexts_;
  std::map<std::uint32_t, std::unique_ptr<HashObject>> hashes_;
  std::uint32_t next_ = 0x1000;
};

}  // namespace

Advapi32& platform_advapi32() {
  static PosixAdvapi32 a;
  return a;
}

}  // namespace hostkit
