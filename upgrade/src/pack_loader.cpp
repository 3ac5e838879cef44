#include "upgrade/pack_loader.h"

#include <cstdint>

#include "rt/env.h"
#include "rt/file.h"
#include "rt/ui.h"
#include "upgrade/encryption_rewrite.h"
#include "upgrade/globals.h"
#include "upgrade/script_pack.h"

namespace upgrade {

namespace {

void show_incomplete() {
  rt::messagebox(gs_appname, rt::gbk("数据库升级程序不全，升级操作被中断。"));
}

// The two boxes and the beep of a definition the server refused.
void show_refused(const std::string& ls_file, const std::string& errtext) {
  rt::messagebox(ls_file, errtext);
  rt::beep(1);
  const std::string ls_msg = rt::gbk("更新") + rt::gbk("失败！(错误信息：") + errtext + ")";
  rt::messagebox(gs_appname, ls_msg);
}

// Puts back the autocommit setting found when the loader began.
class AutoCommitRestore {
 public:
  explicit AutoCommitRestore(rt::transaction& sqlca) : sqlca_(sqlca), found_(sqlca.AutoCommit()) {}
  ~AutoCommitRestore() { sqlca_.SetAutoCommit(found_); }
  AutoCommitRestore(const AutoCommitRestore&) = delete;
  AutoCommitRestore& operator=(const AutoCommitRestore&) = delete;

 private:
  rt::transaction& sqlca_;
  rt::Bool found_;
};

}  // namespace

PackFile read_pack_file(const rt::String& path) {
  PackFile f;
  if (!rt::test(rt::file_exists(path))) return f;
  f.exists = true;
  f.length = rt::file_length(path).value_or(0);
  if (f.length < 0) f.length = 0;

  const rt::Int li_handle = rt::file_open(path, rt::FileMode::Stream, rt::Access::Read, rt::Lock::Read);
  const std::int64_t block = rt::kStreamBlock;
  f.blocks = f.length <= block ? 1 : (f.length + block - 1) / block;
  // One buffer of the pack's length; every block goes through the same `b`,
  // whose storage the reads take turns with.
  f.text.reserve(static_cast<std::size_t>(f.length));
  // Fresh memory that the reads touch page by page: large pages, where the
  // platform has them, cost one page fault for every 2 MB instead of 4 KB.
  rt::Env::Default()->AdviseLargeBuffer(f.text.data(), f.text.capacity());
  rt::String b;
  for (std::int64_t i = 0; i < f.blocks; ++i) {
    const rt::Long n = rt::file_read(li_handle, b);
    if (n.is_null() || *n <= 0 || b.is_null()) continue;  // the text stays short
    f.text += *b;
  }
  rt::file_close(li_handle);
  return f;
}

bool cb_put_clicked(rt::transaction& sqlca, const rt::String& is_runpath) {
  rt::set_pointer(rt::Pointer::HourGlass);

  const rt::String path = is_runpath + std::string(pack::kFileName);
  if (!rt::test(rt::file_exists(path))) {
    show_incomplete();
    return false;
  }
  const PackFile packed = read_pack_file(path);
  return load_pack_text(sqlca, packed.text);
}

bool load_pack_text(rt::transaction& sqlca, std::string_view text) {
  const bool odbc = rt::upper(sqlca.DBMS).value_or("") == "ODBC";
  const std::string_view kind_marker = odbc ? "ANY5" : "MS";

  // Each record's drop and CREATE statement form one transaction.
  AutoCommitRestore restore(sqlca);
  sqlca.SetAutoCommit(false);

  pack::Reader reader(text);
  pack::Record rec;
  for (;;) {
    const pack::Reader::Step step = reader.Next(&rec);
    if (step == pack::Reader::Step::End) break;
    if (step == pack::Reader::Step::Incomplete) {
      show_incomplete();
      return false;
    }
    // A record without a body head has no name, so no kind marker either.
    if (!rec.has_body_head || rec.name.find(kind_marker) == std::string_view::npos) continue;

    const std::string ls_file(rec.name);
    rt::String ls_create = rt::reversed(rec.body);
    rt::String ls_drop = std::string();
    if (!wf_get_sql_go(ls_create, ls_drop)) {
      static const std::string kSyntaxError = rt::gbk(" 语法错误！");
      rt::messagebox(gs_appname, ls_file + kSyntaxError);
      continue;
    }

    sqlca.execute_immediate(ls_drop);  // an object that is not there yet is no failure
    sqlca.execute_immediate(ls_create);
    // A refused CREATE statement, or a COMMIT that does not take the new
    // definition into the database, leaves the old one in place.
    if (!failed(sqlca)) sqlca.commit();
    if (failed(sqlca)) {
      const std::string errtext = sqlca.SQLErrText.value_or("");
      sqlca.rollback();
      show_refused(ls_file, errtext);
      return false;
    }
  }

  rt::messagebox(gs_appname, rt::gbk("更新成功！"));
  return true;
}

}  // namespace upgrade
