// A program outside the tree that uses the installed hostkit package.
// Arguments: a scratch folder, then the class names the library exports.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <hostkit/hostkit.h>
#include <hostkit/nvo_dnum.h>
#include <hostkit/nvo_mdll.h>
#include <hostkit/nvo_mps.h>
#include <hostkit/nvo_sizeof.h>
#include <hostkit/uo_file_time.h>
#include <rt/ui.h>

namespace {
int failures = 0;

void check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  if (!ok) ++failures;
}

// The program's own message-box service: keeps the title of every box.
class BoxTitles : public rt::UiServices {
 public:
  int MessageBox(const std::string& title, const std::string&, rt::Icon, rt::Buttons) override {
    titles.push_back(title);
    return 1;
  }
  void Beep() override {}
  rt::Pointer SetPointer(rt::Pointer p) override { return p; }

  std::vector<std::string> titles;
};
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string scratch = argv[1];
  std::vector<std::string> expected(argv + 2, argv + argc);

  // Every class by name, through the library and through the runtime's
  // registry, which is the library's.
  for (const std::string& name : expected) {
    auto obj = hostkit::create(name);
    check(obj && obj->class_name() == name, "hostkit::create(\"" + name + "\")");
    auto again = rt::create_object(name);
    check(again && again->class_name() == name, "rt::create_object(\"" + name + "\")");
  }
  check(hostkit::class_names() == expected, "class_names lists the exported classes");
  check(!hostkit::create("no_such_class"), "unknown class gives nothing");

  // Classes used from their own headers.
  const std::string file = scratch + "/abc.txt";
  std::ofstream(file, std::ios::binary) << "abc";
  auto md = rt::create<hostkit::nvo_mdll>();
  check(*md->of_file_md5(file) == "90150983CD24FB0D6963F7D28E17F72", "nvo_mdll digest of abc");

  auto ft = rt::create<hostkit::uo_file_time>();
  rt::DateTime c, a, w;
  check(rt::test(ft->of_file_get_times(file, c, a, w)) && !w.is_null(), "uo_file_time reads the times");

  auto dnum = rt::create<hostkit::nvo_dnum>();
  check(*dnum->of_bitwiseand(rt::Long(12), rt::Long(10)) == 8, "nvo_dnum AND");
  auto mps = rt::create<hostkit::nvo_mps>();
  check(!mps->of_es(std::string("abc")).is_null(), "nvo_mps digest of a text");

  // The library's message box reaches the services the program installs.
  BoxTitles ui;
  rt::ScopedUi scoped(&ui);
  auto obj = hostkit::create("nvo_sizeof");
  auto* sizer = dynamic_cast<hostkit::nvo_sizeof*>(obj.get());
  check(sizer != nullptr, "nvo_sizeof from its class name");
  if (sizer) {
    check(*sizer->sizeof_(hostkit::systemtime()) == 16, "size of systemtime");
    check(*sizer->sizeof_(hostkit::security_attributes()) == -1 && ui.titles.size() == 1 &&
              ui.titles[0] == "SizeOf error",
          "one SizeOf error box for a boolean member");
  }

  std::printf("%s\n", failures ? "consumer: FAILED" : "consumer: all checks passed");
  return failures ? 1 : 0;
}
