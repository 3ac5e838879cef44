#include "upgrade/pack_loader.h"

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

// The pack as the loader reads it: the fewest block reads that cover its
// length as the file system reports it, at least one, made one at a time.
// The file closes after the last read; closing early makes the reads not
// yet made first, so that a run that stops early reads the same bytes.
class PackBlocks {
 public:
  explicit PackBlocks(const rt::String& path) {
    length_ = rt::file_length(path).value_or(0);
    if (length_ < 0) length_ = 0;
    handle_ = rt::file_open(path, rt::FileMode::Stream, rt::Access::Read, rt::Lock::Read);
    const std::int64_t block = rt::kStreamBlock;
    blocks_ = length_ <= block ? 1 : (length_ + block - 1) / block;
  }
  ~PackBlocks() { Close(); }
  PackBlocks(const PackBlocks&) = delete;
  PackBlocks& operator=(const PackBlocks&) = delete;

  std::int64_t length() const { return length_; }
  std::int64_t blocks() const { return blocks_; }

  // The next block into *out: empty when the read fails. False when every
  // read has been made.
  bool Read(std::string* out) {
    if (read_ == blocks_) return false;
    ++read_;
    rt::String b;
    const rt::Long n = rt::file_read(handle_, b);
    if (n.is_null() || *n <= 0 || b.is_null())
      out->clear();
    else
      *out = std::move(*b);
    if (read_ == blocks_) Close();
    return true;
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    std::string rest;
    while (Read(&rest)) {
    }
    rt::file_close(handle_);
  }

 private:
  std::int64_t length_ = 0;
  std::int64_t blocks_ = 0;
  std::int64_t read_ = 0;
  rt::Int handle_;
  bool closed_ = false;
};

// The record loop: `next(&record)` gives each record in turn and then End
// or Incomplete. `stop()` runs before the messages of a run that ends at a
// refused definition.
template <class Next, class Stop>
bool run_records(rt::transaction& sqlca, Next&& next, Stop&& stop) {
  const bool odbc = rt::upper(sqlca.DBMS).value_or("") == "ODBC";
  const std::string_view kind_marker = odbc ? "ANY5" : "MS";

  // Each record's drop and CREATE statement form one transaction.
  AutoCommitRestore restore(sqlca);
  sqlca.SetAutoCommit(false);

  pack::Record rec;
  for (;;) {
    const pack::Step step = next(&rec);
    if (step == pack::Step::End) break;
    if (step != pack::Step::Record) {
      show_incomplete();
      return false;
    }
    // A record without a body head has no name, so no kind marker either.
    if (!rec.has_body_head || rec.name.find(kind_marker) == std::string_view::npos) continue;

    const std::string ls_file(rec.name);
    rt::String ls_create = rt::reverse(std::string(rec.body));
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
      stop();
      show_refused(ls_file, errtext);
      return false;
    }
  }

  rt::messagebox(gs_appname, rt::gbk("更新成功！"));
  return true;
}

}  // namespace

PackFile read_pack_file(const rt::String& path) {
  PackFile f;
  if (!rt::test(rt::file_exists(path))) return f;
  f.exists = true;
  PackBlocks blocks(path);
  f.length = blocks.length();
  f.blocks = blocks.blocks();
  f.text.reserve(static_cast<std::size_t>(f.length));
  std::string b;
  while (blocks.Read(&b)) f.text += b;  // a failed read leaves the text short
  return f;
}

bool cb_put_clicked(rt::transaction& sqlca, const rt::String& is_runpath) {
  rt::set_pointer(rt::Pointer::HourGlass);

  const rt::String path = is_runpath + std::string(pack::kFileName);
  if (!rt::test(rt::file_exists(path))) {
    show_incomplete();
    return false;
  }
  // The pack is taken in its blocks as the records need them: however
  // large the pack, only the record being cut and one block are held.
  PackBlocks blocks(path);
  pack::PieceReader reader;
  std::string block;
  auto next = [&](pack::Record* rec) {
    for (;;) {
      const pack::Step step = reader.Next(rec);
      if (step != pack::Step::More) return step;
      if (blocks.Read(&block))
        reader.Append(block);
      else
        reader.Finish();
    }
  };
  return run_records(sqlca, next, [&] { blocks.Close(); });
}

bool load_pack_text(rt::transaction& sqlca, std::string_view text) {
  pack::Reader reader(text);
  return run_records(sqlca, [&](pack::Record* rec) { return reader.Next(rec); }, [] {});
}

}  // namespace upgrade
