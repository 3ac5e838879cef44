#include <gtest/gtest.h>

#include "hostkit/hostkit.h"
#include "hostkit/nvo_sizeof.h"
#include "hostkit/uo_file_time.h"
#include "rt/error.h"
#include "rt/reflect.h"
#include "rt/testing/recording_ui.h"

using hostkit::nvo_sizeof;
namespace types = rt::types;

namespace {

// A record value of a given definition.
struct Record : rt::Structure {
  explicit Record(std::shared_ptr<const rt::ClassDefinition> d) : def(std::move(d)) {}
  std::shared_ptr<const rt::ClassDefinition> class_definition() const override { return def; }
  std::shared_ptr<const rt::ClassDefinition> def;
};

Record record(std::vector<rt::VariableDefinition> members) {
  return Record(rt::define_structure("s_test", std::move(members)));
}

class RecordSizes : public ::testing::Test {
 protected:
  // The size and the boxes shown while it was taken.
  std::pair<std::int32_t, std::vector<rt::RecordingUi::Event>> measure(const rt::Structure& r) {
    ui.clear();
    rt::Long n = sizer.sizeof_(r);
    EXPECT_FALSE(n.is_null());
    return {*n, ui.boxes()};
  }
  void expect_refused(const rt::Structure& r) {
    auto [n, boxes] = measure(r);
    EXPECT_EQ(n, -1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "SizeOf error");
    EXPECT_EQ(boxes[0].text, "Type is not supported, possibly variable sized or object type!");
    EXPECT_EQ(static_cast<int>(boxes[0].icon), 1);
    EXPECT_EQ(static_cast<int>(boxes[0].buttons), 0);
  }
  std::int32_t size_without_box(const rt::Structure& r) {
    auto [n, boxes] = measure(r);
    EXPECT_TRUE(boxes.empty());
    return n;
  }

  rt::RecordingUi ui;
  rt::ScopedUi scoped{&ui};
  nvo_sizeof sizer;
};

TEST_F(RecordSizes, SingleValuesHaveFixedSizesAlsoWhenNull) {
  EXPECT_EQ(*sizer.sizeof_(rt::Long(5)), 4);
  EXPECT_EQ(*sizer.sizeof_(rt::ULong(5u)), 4);
  EXPECT_EQ(*sizer.sizeof_(rt::Int(std::int16_t{5})), 2);
  EXPECT_EQ(*sizer.sizeof_(rt::UInt(std::uint16_t{5})), 2);
  EXPECT_EQ(*sizer.sizeof_(rt::Char('x')), 1);
  EXPECT_EQ(*sizer.sizeof_(rt::String(std::string(1000, 'x'))), 4);
  EXPECT_EQ(*sizer.sizeof_(rt::Bool(true)), 1);
  EXPECT_EQ(*sizer.sizeof_(rt::Long(rt::null)), 4);
  EXPECT_EQ(*sizer.sizeof_(rt::String(rt::null)), 4);
  EXPECT_EQ(*sizer.sizeof_(rt::Bool(rt::null)), 1);
}

TEST_F(RecordSizes, ArraysOfValuesCountSupportedElementsOnly) {
  EXPECT_EQ(*sizer.sizeof_(std::vector<rt::Any>{}), 0);
  EXPECT_EQ(*sizer.sizeof_(std::vector<rt::Any>{rt::Long(1), rt::String(std::string("long text")), rt::Bool(false),
                                               rt::Double(1.5)}),
            4 + 4 + 1 + 0);
  EXPECT_EQ(*sizer.sizeof_(std::vector<rt::Any>{rt::ULong(1u), rt::Int(rt::null), rt::UInt(std::uint16_t{1}),
                                               rt::Char('c'), rt::Any(), rt::Date(rt::DateValue()),
                                               rt::Any(static_cast<const rt::Object*>(&sizer))}),
            4 + 2 + 2 + 1);
  EXPECT_TRUE(ui.boxes().empty());
}

TEST_F(RecordSizes, MembersArePackedWithoutGaps) {
  EXPECT_EQ(size_without_box(record({rt::member("c", types::character()), rt::member("l", types::long_()),
                                     rt::member("s", types::string()), rt::member("i", types::integer(), {10})})),
            29);
  EXPECT_EQ(size_without_box(record({rt::member("c", types::character()), rt::member("l", types::long_())})), 5);
  EXPECT_EQ(size_without_box(record({})), 0);  // only the leading entry
  EXPECT_EQ(size_without_box(record({rt::member("l", types::long_(), {10})})), 40);
  EXPECT_EQ(size_without_box(record({rt::member("u", types::uinteger()), rt::member("ul", types::ulong())})), 6);
}

TEST_F(RecordSizes, ArrayMembersCountEveryElement) {
  EXPECT_EQ(size_without_box(record({rt::member("grid", types::long_(), {2, 3})})), 24);
  EXPECT_EQ(size_without_box(record({rt::member_with_bounds("z", types::integer(), {rt::ArrayBounds{0, 9}})})), 20);
  expect_refused(record({rt::member("l", types::long_()), rt::unbounded_member("open", types::long_())}));
}

TEST_F(RecordSizes, UnsupportedMembersShowOneBoxAndGiveMinusOne) {
  for (auto type : {types::boolean(), types::double_(), types::date(), types::blob(), types::decimal()}) {
    SCOPED_TRACE(type->name());
    expect_refused(record({rt::member("l", types::long_()), rt::member("x", type), rt::member("s", types::string())}));
  }
  auto object_class = rt::define_class("n_some_object", {});
  expect_refused(record({rt::member("o", object_class)}));
}

TEST_F(RecordSizes, NestedStructuresAddTheirOwnMembers) {
  auto inner = rt::define_structure("s_inner", {rt::member("c", types::character()), rt::member("l", types::long_())});
  EXPECT_EQ(size_without_box(record({rt::member("a", types::integer()), rt::member("in", inner)})), 2 + 5);
  EXPECT_EQ(size_without_box(record({rt::member("in", inner, {3})})), 15);

  auto middle = rt::define_structure("s_middle", {rt::member("in", inner, {2}), rt::member("s", types::string())});
  EXPECT_EQ(size_without_box(record({rt::member("m", middle, {2}), rt::member("c", types::character())})),
            2 * (2 * 5 + 4) + 1);

  // An unsupported member two levels down: one box, no partial size.
  auto bad_inner = rt::define_structure("s_bad", {rt::member("l", types::long_()), rt::member("b", types::boolean())});
  auto bad_middle = rt::define_structure("s_bad_middle", {rt::member("c", types::character()),
                                                          rt::member("in", bad_inner, {4})});
  expect_refused(record({rt::member("l", types::long_()), rt::member("m", bad_middle)}));
}

TEST_F(RecordSizes, ATotalThatALongCannotHoldIsRefused) {
  // 2^30 longs are 2^32 bytes: no wrapped size, but the box and -1.
  expect_refused(record({rt::member("l", types::long_(), {1073741824})}));
  expect_refused(record({rt::member("l", types::long_(), {536870912})}));
  // Totals that would wrap to a negative size, or to exactly -1.
  expect_refused(record({rt::member("c", types::character(), {2147483647}), rt::member("l", types::long_())}));
  expect_refused(record({rt::member("l", types::long_(), {1073741823}), rt::member("i", types::integer()),
                         rt::member("c", types::character())}));
  // Through a structure member: 2^20 elements of 2^11 bytes each.
  auto big = rt::define_structure("s_big", {rt::member("c", types::character(), {2048})});
  expect_refused(record({rt::member("b", big, {1048576})}));
  // Up to the largest long, the size is given.
  EXPECT_EQ(size_without_box(record({rt::member("c", types::character(), {2147483646}),
                                     rt::member("b", big, {0})})),
            2147483646);
  EXPECT_EQ(size_without_box(record({rt::member("c", types::character(), {2147483643}),
                                     rt::member("l", types::long_())})),
            2147483647);
}

// A structure whose members nest `levels` structures deep, each level one
// char next to the level below. The definitions are released from the
// outside in, so that no destructor recurses through all levels.
class NestedStructures {
 public:
  explicit NestedStructures(int levels) {
    defs_.push_back(rt::define_structure("s_level", {rt::member("c", types::character())}));
    for (int i = 1; i < levels; ++i)
      defs_.push_back(rt::define_structure("s_level", {rt::member("c", types::character()),
                                                       rt::member("in", defs_.back())}));
  }
  ~NestedStructures() {
    while (!defs_.empty()) defs_.pop_back();
  }
  std::shared_ptr<const rt::ClassDefinition> outermost() const { return defs_.back(); }

 private:
  std::vector<std::shared_ptr<const rt::ClassDefinition>> defs_;
};

TEST_F(RecordSizes, NestingDeeperThanAThousandLevelsIsRefused) {
  {
    NestedStructures levels(1000);
    EXPECT_EQ(size_without_box(record({rt::member("top", levels.outermost())})), 1000);
  }
  {
    NestedStructures levels(1001);
    expect_refused(record({rt::member("top", levels.outermost())}));
  }
  {
    NestedStructures levels(10000);
    expect_refused(record({rt::member("top", levels.outermost())}));
  }
}

TEST_F(RecordSizes, TheFileTimeRecords) {
  EXPECT_EQ(size_without_box(hostkit::systemtime()), 16);
  EXPECT_EQ(size_without_box(hostkit::filetime()), 8);
  EXPECT_EQ(size_without_box(hostkit::win32_find_data()), 4 + 3 * 8 + 4 * 4 + 260 + 14);
  // Its boolean member is refused, although it travels as a 32-bit word.
  expect_refused(hostkit::security_attributes());
  EXPECT_EQ(*rt::class_name(hostkit::win32_find_data()), "win32_find_data");
}

// An object class that describes its own variables.
class n_described : public rt::Object, public rt::Reflected {
 public:
  std::string class_name() const override { return "n_described"; }
  std::shared_ptr<const rt::ClassDefinition> class_definition() const override {
    static const auto def =
        rt::define_class("n_described", {rt::member("id", types::long_()), rt::member("code", types::character(), {8})});
    return def;
  }
};

TEST_F(RecordSizes, ObjectsAreMeasuredByTheirClassDefinition) {
  n_described obj;
  ui.clear();
  EXPECT_EQ(*sizer.sizeof_(static_cast<const rt::Object*>(&obj)), 12);
  EXPECT_EQ(*sizer.sizeof_(static_cast<const rt::Object*>(&sizer)), 0);  // no variables described
  try {
    sizer.sizeof_(static_cast<const rt::Object*>(nullptr));
    ADD_FAILURE() << "a null object was measured";
  } catch (const rt::RuntimeError& e) {
    EXPECT_EQ(e.number(), rt::kErrNullObject);
  }
  EXPECT_TRUE(ui.boxes().empty());
}

TEST_F(RecordSizes, VariableListsDirectly) {
  EXPECT_EQ(*sizer.vardef({}), 0);
  auto def = rt::define_structure("s", {rt::member("l", types::long_())});
  EXPECT_EQ(*sizer.vardef(def->variable_list()), 4);
  // A list's first entry is never counted, whatever it describes.
  std::vector<rt::VariableDefinition> list = {rt::member("first", types::long_()), rt::member("second", types::long_())};
  EXPECT_EQ(*sizer.vardef(list), 4);
}

TEST(RecordSizesByName, CreatedThroughTheLibraryWithItsBoxGoingToTheProcessServices) {
  rt::RecordingUi ui;
  rt::ScopedUi scoped(&ui);
  auto obj = hostkit::create("nvo_sizeof");
  ASSERT_TRUE(obj);
  // One class registry: the runtime's own lookup gives the same class.
  auto same = rt::create_object("NVO_SIZEOF");
  ASSERT_TRUE(same);
  EXPECT_EQ(same->class_name(), "nvo_sizeof");
  EXPECT_FALSE(hostkit::create("n_described"));
  auto* sizer = dynamic_cast<nvo_sizeof*>(obj.get());
  ASSERT_NE(sizer, nullptr);
  EXPECT_EQ(*sizer->sizeof_(hostkit::security_attributes()), -1);
  EXPECT_EQ(ui.boxes().size(), 1u);
}

}  // namespace
