// The pack builder (developer mode only): writes the "*.sql" scripts of
// the developer's script folder into the script pack "db.dat".
#pragma once

#include <string>
#include <vector>

#include "rt/text.h"

namespace upgrade {

// The three list box operations the builder uses. The window's list box
// implements them; MemoryListBox below is a list box without a window.
class FileListBox {
 public:
  virtual ~FileListBox() = default;
  // Replaces the items with the names (no folder) of the files that match
  // `pattern`, a folder followed by a name pattern ("…\pr_tr\*.sql").
  // File type 0 lists ordinary read-write files: no folders, no drives.
  // False when the folder cannot be listed.
  virtual bool DirList(const rt::String& pattern, int file_type) = 0;
  virtual int TotalItems() = 0;
  // The text of item `index`, counted from 1; the empty text past the end.
  virtual rt::String Text(int index) = 0;
};

// The directory listing behind DirList, through the platform layer: the
// pattern is split at its last "\" or "/" into the folder and the name
// pattern. False (and no names) when the folder does not exist.
bool list_files(const std::string& pattern, int file_type, std::vector<std::string>* names);

class MemoryListBox : public FileListBox {
 public:
  bool DirList(const rt::String& pattern, int file_type) override;
  int TotalItems() override { return static_cast<int>(items_.size()); }
  rt::String Text(int index) override;
  std::vector<std::string>& items() { return items_; }

 private:
  std::vector<std::string> items_;
};

// The developer's script folder, ending with a separator: the folder named
// by the environment variable SCHEMALIFT_SQL_DIR when it is set, else the
// fixed "e:\G\tandrel\sql\pr_tr\".
rt::String script_folder();

// The click handling of the builder ("get"). Lists `ls_sql_dir` + "*.sql"
// into `lb_1` and writes every listed script, in list order, as one record
// of a new pack in `is_runpath` + "db.dat", ended by "@@@@". Output is
// collected in memory and written between records once the buffer and the
// next script together exceed 32,000 bytes.
//
// The pack is written to a temporary file beside "db.dat", which replaces
// "db.dat" only when it is complete: a build that fails leaves the old pack
// as it was. The build is refused, with a message box naming the script
// and the reason, when a script cannot be read, is empty, is longer than
// one read (32,765 bytes), contains "####", begins with "#", is not
// well-formed GBK text, has a name holding "^^^^" or "####" or ending in
// "^", or makes a record (name plus body) longer than 32,756 bytes; also
// when the folder cannot be listed or the pack cannot be written.
//
// Sets the hourglass pointer and leaves it set. Shows nothing when the
// pack was written; returns true then.
bool cb_get_clicked(const rt::String& is_runpath, FileListBox& lb_1,
                    const rt::String& ls_sql_dir = script_folder());

}  // namespace upgrade
