// Feeds arbitrary scripts to the encryption rewrite and checks what it
// promises: an accepted script gives a drop part that begins the trimmed
// script and a CREATE statement that is the script's tail from "create "
// with the clause put in once.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rt/text.h"
#include "upgrade/encryption_rewrite.h"

namespace {
void check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string script(reinterpret_cast<const char*>(data), size);
  rt::String create = script;
  rt::String drop = std::string("\x01untouched");
  const bool ok = upgrade::wf_get_sql_go(create, drop);

  const std::string trimmed = *rt::trim(script);
  const std::size_t at = rt::lower(trimmed.substr(0, 200))->find("create ");
  const std::string clause = upgrade::kEncryptionClause;
  check(!create.is_null());

  if (at == std::string::npos || at + 7 > 200) {
    check(!ok && *create == script && *drop == "\x01untouched");
    return 0;
  }
  const std::string tail = trimmed.substr(at);
  if (!ok) {
    check(*drop == "\x01untouched");
    check(*create == tail || create->size() == tail.size() + clause.size());
  }
  if (create->size() == tail.size() + clause.size()) {
    // The clause sits at one place and everything else is the tail.
    bool found = false;
    for (std::size_t k = create->find(clause); k != std::string::npos && !found; k = create->find(clause, k + 1))
      found = create->compare(0, k, tail, 0, k) == 0 && create->compare(k + clause.size(), std::string::npos, tail, k) == 0;
    check(found);
  } else {
    check(!ok && *create == tail);
  }
  if (ok) {
    check(!drop->empty() && drop->size() < at);
    check(trimmed.compare(0, drop->size(), *drop) == 0);
    check(trimmed.compare(drop->size(), 2, "\r\n") == 0);
  }
  return 0;
}
