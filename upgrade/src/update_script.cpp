#include "upgrade/update_script.h"

#include "rt/env.h"
#include "rt/file.h"

namespace upgrade {

rt::String wf_exec_sql(rt::transaction& sqlca) {
  const rt::String ls_filename =
      rt::current_directory() + std::string(1, rt::Env::Default()->PathSeparator()) + "update.sql";
  // A failed open gives a number whose first read fails: nothing runs.
  const rt::Int ll_r = rt::file_open(ls_filename);

  rt::String ls_sql = std::string();
  rt::String ls_temp;
  for (;;) {
    const rt::Long ll_i = rt::file_read(ll_r, ls_temp);
    if (ll_i.is_null() || *ll_i < 0) break;
    if (*ll_i == 2 && !ls_temp.is_null() && *rt::upper(ls_temp) == "GO") {
      sqlca.execute_immediate(ls_sql);
      sqlca.commit();
      ls_sql = std::string();
    } else {
      // Appended in place: a long batch is not copied once per line.
      *ls_sql += '\n';
      *ls_sql += *ls_temp;
    }
  }
  rt::file_close(ll_r);
  return ls_sql;
}

}  // namespace upgrade
