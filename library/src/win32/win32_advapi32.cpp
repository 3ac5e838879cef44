// The cryptographic service of hostkit on Windows: CryptoAPI in advapi32.
// Provider and hash handles travel as 32-bit numbers, which is what they
// are in a 32-bit process. A text passed by value as NULL reaches the
// service as a null pointer (the default key container or provider).
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdint>

#include "platform.h"

namespace hostkit {

namespace {

HCRYPTPROV prov_of(const rt::ULong& v) { return static_cast<HCRYPTPROV>(v.value_or(0)); }
HCRYPTHASH hash_of(const rt::ULong& v) { return static_cast<HCRYPTHASH>(v.value_or(0)); }
const char* text_of(const rt::String& s) { return s.is_null() ? nullptr : s->c_str(); }

class Win32Advapi32 : public Advapi32 {
 public:
  rt::ULong CryptAcquireContextA(rt::ULong& prov, const rt::String& container, const rt::String& provider,
                                 const rt::ULong& prov_type, const rt::ULong& flags) override {
    HCRYPTPROV h = static_cast<HCRYPTPROV>(prov.value_or(0));
    BOOL ok = ::CryptAcquireContextA(&h, text_of(container), text_of(provider), prov_type.value_or(0),
                                     flags.value_or(0));
    if (ok) prov = static_cast<std::uint32_t>(h);
    return ok ? 1u : 0u;
  }

  rt::ULong CryptReleaseContext(const rt::ULong& prov, const rt::ULong& flags) override {
    return ::CryptReleaseContext(prov_of(prov), flags.value_or(0)) ? 1u : 0u;
  }

  rt::ULong CryptCreateHash(const rt::ULong& prov, const rt::ULong& alg_id, const rt::ULong& key,
                            const rt::ULong& flags, rt::ULong& hash) override {
    HCRYPTHASH h = static_cast<HCRYPTHASH>(hash.value_or(0));
    BOOL ok = ::CryptCreateHash(prov_of(prov), static_cast<ALG_ID>(alg_id.value_or(0)),
                                static_cast<HCRYPTKEY>(key.value_or(0)), flags.value_or(0), &h);
    if (ok) hash = static_cast<std::uint32_t>(h);
    return ok ? 1u : 0u;
  }

  rt::ULong CryptDestroyHash(const rt::ULong& hash) override { return ::CryptDestroyHash(hash_of(hash)) ? 1u : 0u; }

  rt::ULong CryptHashData(const rt::ULong& hash, const std::string& data, const rt::ULong& data_len,
                          const rt::ULong& flags) override {
    std::size_t n = data_len.value_or(0);
    if (n > data.size()) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0u;
    }
    return ::CryptHashData(hash_of(hash), reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(n),
                           flags.value_or(0))
               ? 1u
               : 0u;
  }

  rt::Bool CryptGetHashParam(const rt::ULong& hash, const rt::ULong& param, rt::String& data, rt::ULong& data_len,
                             const rt::ULong& flags) override {
    // The room is what the caller says it is, but never beyond the text.
    DWORD len = data_len.value_or(0);
    BYTE* out = nullptr;
    if (!data.is_null()) {
      len = static_cast<DWORD>(std::min<std::size_t>(len, data->size()));
      out = reinterpret_cast<BYTE*>((*data).data());
    }
    BOOL ok = ::CryptGetHashParam(hash_of(hash), param.value_or(0), out, &len, flags.value_or(0));
    // On success the length is the value's; on ERROR_MORE_DATA it is the room needed.
    if (ok || ::GetLastError() == ERROR_MORE_DATA) data_len = static_cast<std::uint32_t>(len);
    return ok != 0;
  }

  rt::Bool CryptGetHashParam(const rt::ULong& hash, const rt::ULong& param, rt::ULong& data, rt::ULong& data_len,
                             const rt::ULong& flags) override {
    DWORD value = data.value_or(0);
    DWORD len = std::min<DWORD>(data_len.value_or(0), sizeof value);
    BOOL ok = ::CryptGetHashParam(hash_of(hash), param.value_or(0), reinterpret_cast<BYTE*>(&value), &len,
                                  flags.value_or(0));
    if (ok || ::GetLastError() == ERROR_MORE_DATA) data_len = static_cast<std::uint32_t>(len);
    if (ok) data = static_cast<std::uint32_t>(value);
    return ok != 0;
  }
};

}  // namespace

Advapi32& platform_advapi32() {
  static Win32Advapi32 a;
  return a;
}

}  // namespace hostkit
