// schemalift_pack: builds the script pack "db.dat" in the current directory
// from the "*.sql" scripts of the developer's script folder
// (SCHEMALIFT_SQL_DIR), with the builder behind the developer build's "get"
// button, for machines without a display. Its messages go to standard
// error. Exit code 0 when the pack was written, 1 when the build was
// refused, 2 for arguments (it takes none).
#include <cstdio>
#include <string>

#include "rt/env.h"
#include "rt/file.h"
#include "rt/text.h"
#include "rt/ui.h"
#include "upgrade/pack_builder.h"

namespace {

// Message boxes as lines on standard error, in UTF-8.
class ConsoleUi : public rt::UiServices {
 public:
  int MessageBox(const std::string& title, const std::string& text, rt::Icon, rt::Buttons) override {
    std::fprintf(stderr, "%s: %s\n", rt::utf8(title).c_str(), rt::utf8(text).c_str());
    return 1;
  }
  void Beep() override {}
  rt::Pointer SetPointer(rt::Pointer p) override { return p; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    std::fprintf(stderr, "usage: SCHEMALIFT_SQL_DIR=<script folder> %s\n", argv[0]);
    return 2;
  }
  ConsoleUi ui;
  rt::ScopedUi scoped(&ui);
  const rt::String runpath = rt::current_directory() + std::string(1, rt::Env::Default()->PathSeparator());
  upgrade::MemoryListBox lb_1;
  if (!upgrade::cb_get_clicked(runpath, lb_1)) return 1;
  std::printf("db.dat: %d script(s) from %s\n", lb_1.TotalItems(), upgrade::script_folder()->c_str());
  return 0;
}
