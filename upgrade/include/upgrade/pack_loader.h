// The loader of the script pack: re-creates the store database's stored
// procedures and triggers from "db.dat", each stored encrypted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rt/text.h"
#include "rt/transaction.h"

namespace upgrade {

// The whole pack as the loader reads it.
struct PackFile {
  bool exists = false;
  std::int64_t length = 0;  // as the file system reports it
  std::int64_t blocks = 0;  // block reads made (32,765 bytes each)
  std::string text;         // the bytes read
};

// Reads the file `path` with the fewest block reads that cover its length,
// at least one, holding it whole in memory. A read that fails leaves the
// text short.
PackFile read_pack_file(const rt::String& path);

// The click handling of the loader ("put"). Reads `is_runpath` + "db.dat"
// and, for each record in file order whose name suits the database kind of
// `sqlca` ("ANY5" in the name for the kind ODBC, "MS" for any other),
// restores the script, splits and rewrites it (wf_get_sql_go) and runs its
// drop part and then its CREATE statement. The two run in one transaction:
// committed when the CREATE statement succeeds, rolled back when the server
// refuses it, so that a refused definition leaves the object as it was.
// The autocommit setting found on entry is restored before returning.
//
// The pack is read whole with read_pack_file, and its file closed, before
// any statement runs or any box appears: the read lock is held only while
// the pack is read, never while the server works.
//
// Messages (titled with the application title unless said otherwise):
// - no pack, or a pack that ends without its end marker (cut, empty,
//   unreadable): "数据库升级程序不全，升级操作被中断。"; nothing more runs;
// - a script the rewrite refuses: name + " 语法错误！", and the next record;
// - a refused CREATE statement: a box titled with the script's name showing
//   the server's text, a beep, "更新失败！(错误信息：" + text + ")"; the
//   loader stops there;
// - every record handled: "更新成功！".
//
// Sets the hourglass pointer and leaves it set. Returns true when the
// success message was shown.
bool cb_put_clicked(rt::transaction& sqlca, const rt::String& is_runpath);

// The record loop of cb_put_clicked over a pack text already in memory,
// with its messages (the pointer and the file are cb_put_clicked's).
bool load_pack_text(rt::transaction& sqlca, std::string_view text);

}  // namespace upgrade
