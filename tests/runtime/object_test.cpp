#include <gtest/gtest.h>

#include "rt/object.h"
#include "rt/testing/recording_ui.h"

using namespace rt;

namespace {
std::vector<std::string> g_log;

class base_obj : public Object {
 public:
  base_obj() { g_log.push_back("base create"); }
  ~base_obj() override { g_log.push_back("base destroy"); }
  std::string class_name() const override { return "base_obj"; }
};

class derived_obj : public base_obj {
 public:
  derived_obj() { g_log.push_back("derived create"); }
  ~derived_obj() override { g_log.push_back("derived destroy"); }
  std::string class_name() const override { return "derived_obj"; }
  void constructor() override { g_log.push_back("constructor"); }
  void destructor() override { g_log.push_back("destructor"); }
};

RegisterClass<derived_obj> reg("derived_obj");
}  // namespace

TEST(Objects, CreateAndDestroyFireEventsInOrder) {
  g_log.clear();
  {
    auto o = create<derived_obj>();
    destroy(o);
    EXPECT_FALSE(o);
  }
  EXPECT_EQ(g_log, (std::vector<std::string>{"base create", "derived create", "constructor", "destructor",
                                             "derived destroy", "base destroy"}));
}

TEST(Objects, RegistryCreatesByClassNameIgnoringCase) {
  g_log.clear();
  auto o = create_object("DERIVED_OBJ");
  ASSERT_TRUE(o);
  EXPECT_EQ(o->class_name(), "derived_obj");
  EXPECT_EQ(g_log.back(), "constructor");
  EXPECT_FALSE(create_object("no_such_class"));
}

TEST(Ui, RecorderKeepsBoxesBeepsAndPointerInOrder) {
  RecordingUi rec;
  ScopedUi scope(&rec);
  Pointer old = set_pointer(Pointer::HourGlass);
  EXPECT_EQ(old, Pointer::Arrow);
  beep();
  messagebox(String("t"), String("x"));
  messagebox(String("SizeOf error"), String("y"), Icon::StopSign, Buttons::Ok);
  ASSERT_EQ(rec.boxes().size(), 2u);
  EXPECT_EQ(rec.boxes()[1].icon, Icon::StopSign);
  EXPECT_EQ(rec.beeps(), 1);
  EXPECT_EQ(rec.events()[1].kind, RecordingUi::Event::Beep);
  EXPECT_EQ(rec.pointer(), Pointer::HourGlass);
}
