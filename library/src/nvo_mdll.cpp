#include "hostkit/nvo_mdll.h"

#include "platform.h"
#include "rt/file.h"

namespace hostkit {

namespace {
rt::RegisterClass<nvo_mdll> g_register("nvo_mdll");
}  // namespace

rt::String nvo_mdll::of_file_md5(const rt::String& as_filename) {
  Advapi32& crypt = advapi32();
  Kernel32& kernel = kernel32();

  rt::String ls_md5 = std::string();
  rt::String ls_temp = std::string();
  rt::ULong ll_hctx = 0u, ll_hhash = 0u, ul_null = 0u, ul_hashlen = 0u, ul_size = 0u;
  rt::String ls_container = std::string(), ls_provider = std::string();
  rt::Long ll_read = 0, ll_bytetoreead = 32768, ll_filenum = 0, ll_ret = 0;

  // Ending A releases the context; ending B destroys the hash object first.
  auto ending_a = [&]() -> rt::String {
    crypt.CryptReleaseContext(ll_hctx, 0u);
    return ls_md5;
  };
  auto ending_b = [&]() -> rt::String {
    crypt.CryptDestroyHash(ll_hhash);
    return ending_a();
  };

  if (test(rt::equal(as_filename, rt::String(std::string())))) return ls_md5;
  if (test(!rt::file_exists(as_filename))) return ls_md5;

  ls_container = rt::null;
  ls_provider = rt::null;
  ll_ret = rt::convert<std::int32_t>(
      crypt.CryptAcquireContextA(ll_hctx, ls_container, ls_provider, rt::convert<std::uint32_t>(prov_rsa_full), 0u));
  if (test(ll_ret == 0)) {
    ll_ret = rt::convert<std::int32_t>(crypt.CryptAcquireContextA(ll_hctx, ls_container, ls_provider,
                                                                  rt::convert<std::uint32_t>(prov_rsa_full),
                                                                  rt::convert<std::uint32_t>(crypt_newkeyset)));
  }
  if (test(ll_ret == 0)) return ending_a();

  ll_ret = rt::convert<std::int32_t>(
      crypt.CryptCreateHash(ll_hctx, rt::convert<std::uint32_t>(calg_md5), 0u, 0u, ll_hhash));
  if (test(ll_ret == 0)) return ending_a();

  ll_filenum = kernel.CreateFileA(as_filename, generic_read, file_share_read, nullptr, open_existing, 0u, 0u);
  if (!test(ll_filenum >= rt::Long(1))) return ending_b();

  // Blocks of 32768 bytes, each hashed right after it is read; the loop ends
  // on a read that delivers nothing, a failed read or a failed hash step.
  for (;;) {
    ul_null = rt::null;
    std::string lbread(static_cast<std::size_t>(*ll_bytetoreead), ' ');
    ll_ret = kernel.ReadFile(ll_filenum, lbread, ll_bytetoreead, ll_read, ul_null);
    if (!test(ll_ret >= rt::Long(1))) break;
    if (ll_read.is_null() || *ll_read < 1) break;
    ll_ret = rt::convert<std::int32_t>(crypt.CryptHashData(ll_hhash, lbread, rt::convert<std::uint32_t>(ll_read), 0u));
    if (test(ll_ret == 0)) break;
  }
  kernel.CloseHandle(rt::convert<std::uint32_t>(ll_filenum));

  // A failure part-way through the file gives "", never a partial digest.
  if (ll_ret.is_null() || *ll_ret == 0 || *ll_ret < 0) return ending_b();

  ul_size = 4u;
  rt::Bool breturn =
      crypt.CryptGetHashParam(ll_hhash, rt::convert<std::uint32_t>(hp_hashsize), ul_hashlen, ul_size, 0u);
  if (!test(breturn)) return ending_b();

  ls_temp = rt::space(rt::convert<std::int32_t>(ul_hashlen));
  breturn = crypt.CryptGetHashParam(ll_hhash, rt::convert<std::uint32_t>(hp_hashval), ls_temp, ul_hashlen, 0u);
  if (!test(breturn)) return ending_b();

  // Every byte up to the reported length, zero bytes included: the value is
  // kept as bytes and not cut at its first zero byte.
  ll_read = rt::convert<std::int32_t>(ul_hashlen);
  if (ls_temp.is_null() || ll_read.is_null() || static_cast<std::size_t>(*ll_read) > ls_temp->size())
    return ending_b();
  for (std::int32_t ll_i = 1; ll_i <= *ll_read; ++ll_i) {
    auto byte = static_cast<unsigned char>((*ls_temp)[static_cast<std::size_t>(ll_i - 1)]);
    ls_md5 = ls_md5 + of_long2hex(rt::Long(static_cast<std::int32_t>(byte)));
  }
  return ending_b();
}

rt::String nvo_mdll::of_long2hex(const rt::Long& ps_long) {
  static const char* const kLetters[] = {"a", "b", "c", "d", "e", "f"};
  rt::String ls_rtn = std::string();
  rt::Long ll_temp = ps_long;
  const rt::Long sixteen = 16;
  while (!ll_temp.is_null() && *ll_temp > 0) {
    rt::Long d = rt::mod(ll_temp, sixteen);
    rt::String digit = *d < 10 ? rt::string_of(d) : rt::String(std::string(kLetters[*d - 10]));
    ls_rtn = digit + ls_rtn;
    ll_temp = ll_temp / sixteen;
  }
  return rt::upper(ls_rtn);
}

}  // namespace hostkit
