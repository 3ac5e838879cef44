#include "upgrade/encryption_rewrite.h"

namespace upgrade {

bool wf_get_sql_go(rt::String& as_create, rt::String& as_drop) {
  using rt::Long;
  using rt::String;
  if (as_create.is_null()) return false;

  // The script without surrounding blanks, and a lower-cased copy of its
  // first 200 bytes to search in.
  const String ls_source = rt::trim(as_create);
  String ls_tmp = rt::lower(rt::left(ls_source, kCreateSearchWindow));

  Long li_pos = rt::pos(ls_tmp, "create ");
  if (*li_pos <= 0) return false;

  as_create = rt::mid(ls_source, li_pos);

  // The header runs from "create " to the byte before the first "begin";
  // a "begin" inside a name counts too.
  const Long li_pos_begin = rt::pos(rt::lower(as_create), "begin");
  if (*li_pos_begin <= 0) return false;
  String ls_encryption = rt::left(as_create, *li_pos_begin - 1);

  // Distances from the first letter of the header's last "as" and last
  // "for" to the header's end, found in the reversed header.
  const String reversed = rt::reverse(rt::lower(ls_encryption));
  const std::int32_t li_pos_as = *rt::pos(reversed, "sa") + 2 - 1;
  if (li_pos_as <= 1) return false;
  const std::int32_t li_pos_for = *rt::pos(reversed, "rof") + 3 - 1;

  // A "for" anywhere in the header wins over "as".
  const std::int32_t tail = li_pos_for > 2 ? li_pos_for : li_pos_as;
  const std::int32_t header_len = *rt::len(ls_encryption);
  ls_encryption = rt::left(ls_encryption, header_len - tail) + kEncryptionClause + rt::right(ls_encryption, tail);

  as_create = ls_encryption + rt::mid(as_create, li_pos_begin);

  // The drop part ends at the CR LF of the first line that begins with
  // "go" before "create ".
  ls_tmp = rt::left(ls_tmp, *li_pos - 1);
  li_pos = *rt::pos(ls_tmp, "\r\ngo") - 1;
  if (*li_pos <= 0) return false;

  as_drop = rt::left(ls_source, li_pos);
  return true;
}

}  // namespace upgrade
