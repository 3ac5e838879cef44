// Control texts, colour values and the list box's directory listing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "rt/window/control.h"
#include "rt/window/look.h"
#include "support/scoped.h"
#include "support/temp_dir.h"

namespace {

TEST(Look, AcceleratorsAndShownText) {
  EXPECT_EQ(rt::display_text("Exit(&E)"), "Exit(E)");
  EXPECT_EQ(rt::accelerator("Exit(&E)"), 'E');
  EXPECT_EQ(rt::display_text("Proc&&Trigger"), "Proc&Trigger");
  EXPECT_EQ(rt::accelerator("Proc&&Trigger"), 0);
  EXPECT_EQ(rt::display_text("&&&u"), "&u");
  EXPECT_EQ(rt::accelerator("&&&u"), 'U');
  EXPECT_EQ(rt::display_text("end&"), "end");
  EXPECT_EQ(rt::accelerator("end&"), 0);
  // GBK text around the marker is kept byte for byte.
  std::string gbk = rt::gbk("退出(&E)");
  EXPECT_EQ(rt::display_text(gbk), rt::gbk("退出(E)"));
  EXPECT_EQ(rt::accelerator(gbk), 'E');
}

TEST(Look, ColourValues) {
  // The byte above red, green and blue carries no colour.
  EXPECT_EQ(rt::rgb_of(30330830), (rt::Rgb{206, 207, 206}));
  EXPECT_FALSE(rt::system_colour(30330830).has_value());
  EXPECT_EQ(rt::system_colour(33554432), rt::SystemColour::WindowText);
  EXPECT_EQ(rt::system_colour(67108864), rt::SystemColour::ButtonFace);
}

class DirList : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  rt::ListBox lb;
};

TEST_F(DirList, ListsOrdinaryMatchingFilesInNameOrder) {
  dir.write("pr_b.sql", "b");
  dir.write("pr_a.sql", "a");
  dir.write("TR_C.SQL", "c");
  dir.write("notes.txt", "n");
  dir.write("pr_a.sql.bak", "x");
  std::filesystem::create_directory(dir.path() + "/folder.sql");
  std::string ro = dir.write("readonly.sql", "r");
  ::chmod(ro.c_str(), 0444);

  ASSERT_TRUE(*lb.dir_list(dir.path() + "/*.sql", rt::UInt(0)));
  EXPECT_EQ(lb.items(), (std::vector<std::string>{"TR_C.SQL", "pr_a.sql", "pr_b.sql"}));
  EXPECT_EQ(*lb.total_items(), 3);
  EXPECT_EQ(*lb.item_text(rt::Int(2)), "pr_a.sql");
  EXPECT_EQ(*lb.item_text(rt::Int(4)), "");
  EXPECT_EQ(*lb.item_text(rt::Int(0)), "");
  EXPECT_TRUE(lb.item_text(rt::Int(rt::null)).is_null());

  // A relative pattern lists the current folder.
  testing_support::ScopedCwd cwd(dir.path());
  ASSERT_TRUE(*lb.dir_list(std::string("pr_*.sql")));
  EXPECT_EQ(lb.items(), (std::vector<std::string>{"pr_a.sql", "pr_b.sql"}));
}

TEST_F(DirList, ReplacesItemsAndRefusesWhatItCannotList) {
  lb.add_item(std::string("old"));
  ASSERT_TRUE(*lb.dir_list(dir.path() + "/*.sql"));
  EXPECT_EQ(*lb.total_items(), 0);  // an empty folder empties the list

  lb.add_item(std::string("kept"));
  EXPECT_FALSE(*lb.dir_list(rt::String(rt::null)));
  EXPECT_FALSE(*lb.dir_list(dir.path() + "/*.sql", rt::UInt(16)));
  EXPECT_EQ(lb.items(), (std::vector<std::string>{"kept"}));

  ASSERT_TRUE(*lb.dir_list(dir.path() + "/missing/*.sql"));
  EXPECT_EQ(*lb.total_items(), 0);
}

TEST_F(DirList, SortedAndUnsortedInsertion) {
  EXPECT_EQ(*lb.add_item(std::string("m")), 1);
  EXPECT_EQ(*lb.add_item(std::string("c")), 1);
  EXPECT_EQ(*lb.add_item(std::string("x")), 3);
  lb.set_sorted(false);
  EXPECT_EQ(*lb.add_item(std::string("a")), 4);
  EXPECT_EQ(lb.items(), (std::vector<std::string>{"c", "m", "x", "a"}));
  lb.reset();
  EXPECT_EQ(*lb.total_items(), 0);
}

}  // namespace
