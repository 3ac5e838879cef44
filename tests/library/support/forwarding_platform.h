// Platform functions that forward every call to the platform's own; test
// doubles derive from them and override only the calls they watch or fail.
#pragma once

#include "platform.h"

namespace hostkit_test {

using namespace hostkit;

class ForwardingKernel32 : public Kernel32 {
 public:
  Kernel32& real = platform_kernel32();

  rt::ULong FindFirstFileA(const rt::String& n, win32_find_data& d) override { return real.FindFirstFileA(n, d); }
  rt::Bool FindClose(const rt::ULong& h) override { return real.FindClose(h); }
  rt::Bool FileTimeToLocalFileTime(const filetime& f, filetime& l) override {
    return real.FileTimeToLocalFileTime(f, l);
  }
  rt::Bool LocalFileTimeToFileTime(const filetime& l, filetime& f) override {
    return real.LocalFileTimeToFileTime(l, f);
  }
  rt::Bool FileTimeToSystemTime(const filetime& f, systemtime& s) override { return real.FileTimeToSystemTime(f, s); }
  rt::Bool SystemTimeToFileTime(const systemtime& s, filetime& f) override { return real.SystemTimeToFileTime(s, f); }
  rt::Long CreateFileA(const rt::String& n, const rt::ULong& access, const rt::ULong& share,
                       const security_attributes* sa, const rt::ULong& disp, const rt::ULong& flags,
                       const rt::ULong& tmpl) override {
    return real.CreateFileA(n, access, share, sa, disp, flags, tmpl);
  }
  rt::Long ReadFile(const rt::Long& h, std::string& b, const rt::Long& n, rt::Long& r, const rt::ULong& o) override {
    return real.ReadFile(h, b, n, r, o);
  }
  rt::Bool GetFileTime(const rt::ULong& h, filetime& c, filetime& a, filetime& w) override {
    return real.GetFileTime(h, c, a, w);
  }
  rt::Bool SetFileTime(const rt::ULong& h, const filetime& c, const filetime& a, const filetime& w) override {
    return real.SetFileTime(h, c, a, w);
  }
  rt::Bool CloseHandle(const rt::ULong& h) override { return real.CloseHandle(h); }
  rt::ULong GetLastError() override { return real.GetLastError(); }
};

class ForwardingAdvapi32 : public Advapi32 {
 public:
  Advapi32& real = platform_advapi32();

  rt::ULong CryptAcquireContextA(rt::ULong& prov, const rt::String& c, const rt::String& p, const rt::ULong& type,
                                 const rt::ULong& flags) override {
    return real.CryptAcquireContextA(prov, c, p, type, flags);
  }
  rt::ULong CryptReleaseContext(const rt::ULong& prov, const rt::ULong& flags) override {
    return real.CryptReleaseContext(prov, flags);
  }
  rt::ULong CryptCreateHash(const rt::ULong& prov, const rt::ULong& alg, const rt::ULong& key, const rt::ULong& flags,
                            rt::ULong& hash) override {
    return real.CryptCreateHash(prov, alg, key, flags, hash);
  }
  rt::ULong CryptDestroyHash(const rt::ULong& hash) override { return real.CryptDestroyHash(hash); }
  rt::ULong CryptHashData(const rt::ULong& hash, const std::string& data, const rt::ULong& len,
                          const rt::ULong& flags) override {
    return real.CryptHashData(hash, data, len, flags);
  }
  rt::Bool CryptGetHashParam(const rt::ULong& hash, const rt::ULong& param, rt::String& data, rt::ULong& len,
                             const rt::ULong& flags) override {
    return real.CryptGetHashParam(hash, param, data, len, flags);
  }
  rt::Bool CryptGetHashParam(const rt::ULong& hash, const rt::ULong& param, rt::ULong& data, rt::ULong& len,
                             const rt::ULong& flags) override {
    return real.CryptGetHashParam(hash, param, data, len, flags);
  }
};

}  // namespace hostkit_test
