#include "upgrade/pack_builder.h"

#include <cstdlib>

#include "rt/env.h"
#include "rt/file.h"
#include "rt/ui.h"
#include "upgrade/globals.h"
#include "upgrade/script_pack.h"

namespace upgrade {

namespace {

constexpr const char* kDefaultScriptFolder = "e:\\G\\tandrel\\sql\\pr_tr\\";
constexpr std::string_view kTempSuffix = ".tmp";

bool is_separator(char c) { return c == '\\' || c == '/'; }

// Why a build stops. Each message names what it is about and says that the
// old pack was kept.
void refuse(const std::string& what, const char* reason_utf8) {
  rt::messagebox(gs_appname, what + rt::gbk(reason_utf8) + rt::gbk("打包已取消，原有的 db.dat 保持不变。"));
}

void refuse_script(const std::string& name, pack::ScriptProblem p, std::size_t bytes) {
  const std::string what = rt::gbk("脚本 ") + name;
  switch (p) {
    case pack::ScriptProblem::Empty:
      return refuse(what, " 是空文件。");
    case pack::ScriptProblem::HoldsRecordEnd:
      return refuse(what, " 含有“####”，脚本包不能容纳这样的脚本。");
    case pack::ScriptProblem::StartsWithHash:
      return refuse(what, " 以“#”开头，脚本包不能容纳这样的脚本。");
    case pack::ScriptProblem::NotGbk:
      return refuse(what, " 不是有效的 GBK 文本。");
    case pack::ScriptProblem::BadName:
      return refuse(what, " 的文件名含有“^^^^”或“####”，或以“^”结尾。");
    case pack::ScriptProblem::RecordTooLong:
      return refuse(what + rt::gbk(" 的文件名和内容共 ") + std::to_string(bytes) + rt::gbk(" 字节，"),
                    "超过了 32756 字节的上限。");
    case pack::ScriptProblem::Ok:
      return;
  }
}

enum class ReadResult { Ok, Unreadable, Empty, TooLong };

// One read of at most 32,765 bytes; a second read tells whether the file
// held more.
ReadResult read_script(const rt::String& path, std::string* text) {
  const rt::Int li_handle = rt::file_open(path, rt::FileMode::Stream, rt::Access::Read);
  if (li_handle.is_null() || *li_handle <= 0) return ReadResult::Unreadable;
  rt::String ls_source;
  const rt::Long n = rt::file_read(li_handle, ls_source);
  ReadResult r = ReadResult::Ok;
  if (n.is_null() || *n == -1) {
    r = ReadResult::Unreadable;
  } else if (*n == rt::kFileEof) {
    r = ReadResult::Empty;
  } else {
    rt::String more;
    const rt::Long m = rt::file_read(li_handle, more);
    if (m.is_null() || *m == -1)
      r = ReadResult::Unreadable;
    else if (*m > 0)
      r = ReadResult::TooLong;
    else
      *text = std::move(*ls_source);
  }
  rt::file_close(li_handle);
  return r;
}

bool write_all(const rt::Int& handle, const std::string& bytes) {
  if (bytes.empty()) return true;  // nothing would reach the file
  const rt::Long n = rt::file_write(handle, bytes);
  return !n.is_null() && *n == static_cast<std::int32_t>(bytes.size());
}

}  // namespace

bool list_files(const std::string& pattern, int file_type, std::vector<std::string>* names) {
  names->clear();
  if (file_type != 0) return false;  // only ordinary files are listed here
  std::size_t cut = pattern.find_last_of("\\/");
  std::string dir = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
  std::string name_pattern = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
  rt::Env* env = rt::Env::Default();
  if (!env->DirectoryExists(dir.empty() ? std::string(".") : dir)) return false;
  *names = env->ListFiles(dir, name_pattern);
  return true;
}

bool MemoryListBox::DirList(const rt::String& pattern, int file_type) {
  if (pattern.is_null()) return false;
  return list_files(*pattern, file_type, &items_);
}

rt::String MemoryListBox::Text(int index) {
  if (index < 1 || index > TotalItems()) return std::string();
  return items_[static_cast<std::size_t>(index - 1)];
}

rt::String script_folder() {
  const char* v = std::getenv("SCHEMALIFT_SQL_DIR");
  if (!v || !*v) return std::string(kDefaultScriptFolder);
  std::string dir = v;
  if (!is_separator(dir.back())) dir += rt::Env::Default()->PathSeparator();
  return dir;
}

bool cb_get_clicked(const rt::String& is_runpath, FileListBox& lb_1, const rt::String& ls_sql_dir) {
  rt::set_pointer(rt::Pointer::HourGlass);
  if (is_runpath.is_null() || ls_sql_dir.is_null()) return false;

  const std::string ls_out_file = *is_runpath + std::string(pack::kFileName);
  const std::string temp_file = ls_out_file + std::string(kTempSuffix);

  // A folder that is not there would list no scripts and make an empty
  // pack out of a mistyped setting: refused, whatever the list box does.
  if (!rt::Env::Default()->DirectoryExists(*ls_sql_dir) || !lb_1.DirList(ls_sql_dir + "*.sql", 0)) {
    refuse(rt::gbk("脚本目录 ") + *ls_sql_dir,
           " 不存在或不能列出（可用环境变量 SCHEMALIFT_SQL_DIR 指定脚本目录）。");
    return false;
  }

  const rt::Int li_w_handle =
      rt::file_open(temp_file, rt::FileMode::Stream, rt::Access::Write, rt::Lock::Write, rt::WriteMode::Replace);
  if (li_w_handle.is_null() || *li_w_handle <= 0) {
    refuse(rt::gbk("不能创建文件 ") + temp_file, "。");
    return false;
  }
  // Stops a build that cannot finish: the temporary file goes, db.dat stays.
  auto abandon = [&] {
    rt::file_close(li_w_handle);
    rt::Env::Default()->RemoveFile(temp_file);
    return false;
  };
  auto write_failed = [&] {
    refuse(rt::gbk("写入文件 ") + temp_file, " 失败。");
    return abandon();
  };

  std::string ls_target;
  for (int i = 1; i <= lb_1.TotalItems(); ++i) {
    const std::string ls_file = lb_1.Text(i).value_or("");
    std::string ls_source;
    switch (read_script(*ls_sql_dir + ls_file, &ls_source)) {
      case ReadResult::Ok:
        break;
      case ReadResult::Unreadable:
        refuse(rt::gbk("脚本 ") + ls_file, " 不能读取。");
        return abandon();
      case ReadResult::Empty:
        refuse_script(ls_file, pack::ScriptProblem::Empty, 0);
        return abandon();
      case ReadResult::TooLong:
        refuse(rt::gbk("脚本 ") + ls_file, " 超过 32765 字节，一次读不完。");
        return abandon();
    }
    const pack::ScriptProblem problem = pack::check_script(ls_file, ls_source);
    if (problem != pack::ScriptProblem::Ok) {
      refuse_script(ls_file, problem, ls_file.size() + ls_source.size());
      return abandon();
    }

    // Written between records only, so the file is the plain concatenation
    // of the records whatever the flushes were.
    if (ls_target.size() + ls_source.size() > pack::kFlushThreshold) {
      if (!write_all(li_w_handle, ls_target)) return write_failed();
      ls_target.clear();
    }
    pack::append_record(ls_target, ls_file, ls_source);
  }
  ls_target += pack::kEndMarker;
  if (!write_all(li_w_handle, ls_target)) return write_failed();
  if (*rt::file_close(li_w_handle) != 1) {
    refuse(rt::gbk("写入文件 ") + temp_file, " 失败。");
    rt::Env::Default()->RemoveFile(temp_file);
    return false;
  }

  if (!rt::Env::Default()->RenameFile(temp_file, ls_out_file)) {
    refuse(rt::gbk("不能用新的脚本包替换 ") + ls_out_file, "。");
    rt::Env::Default()->RemoveFile(temp_file);
    return false;
  }
  return true;
}

}  // namespace upgrade
