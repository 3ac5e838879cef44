// Uses the shared library from outside: classes created by name through the
// library's entry point, and their functions called across the library's
// boundary. Only results travel across it here, no runtime errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "hostkit/hostkit.h"
#include "hostkit/nvo_mdll.h"
#include "hostkit/nvo_mps.h"
#include "hostkit/nvo_sizeof.h"
#include "hostkit/uo_file_time.h"
#include "rt/datetime.h"
#include "rt/text.h"

namespace {

template <class T>
rt::Ref<rt::Object> created(const std::string& name, T*& out) {
  rt::Ref<rt::Object> obj = hostkit::create(name);
  out = dynamic_cast<T*>(obj.get());
  return obj;
}

std::string temp_file(const std::string& name, const std::string& content) {
  std::filesystem::path p = std::filesystem::temp_directory_path() / name;
  std::ofstream(p, std::ios::binary) << content;
  return p.string();
}

TEST(LibraryConsumer, ClassesAreMadeByNameOnly) {
  std::vector<std::string> names = hostkit::class_names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"nvo_dnum", "nvo_mdll", "nvo_mps", "nvo_sizeof", "uo_file_time"}));
  for (const char* name : {"Uo_File_Time", "NVO_DNUM", "nvo_mps", "nvo_mdll", "nvo_sizeof"}) {
    rt::Ref<rt::Object> obj = hostkit::create(name);
    ASSERT_TRUE(obj) << name;
  }
  EXPECT_FALSE(hostkit::create("nonvisualobject"));
  EXPECT_FALSE(hostkit::create("no_such_class"));
}

TEST(LibraryConsumer, DigestsOfAFileAndOfATextAgree) {
  hostkit::nvo_mdll* mdll = nullptr;
  hostkit::nvo_mps* mps = nullptr;
  auto keep1 = created("nvo_mdll", mdll);
  auto keep2 = created("nvo_mps", mps);
  ASSERT_TRUE(mdll && mps);
  std::string f = temp_file("hk_consumer_md.txt", "message digest");
  EXPECT_EQ(*mdll->of_file_md5(f), "F96B697D7CB7938D525A2F31AAF161D0");
  EXPECT_EQ(*mps->of_es(std::string("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
  std::filesystem::remove(f);
  // Chinese text enters as its UTF-16 codes under code page 936.
  EXPECT_EQ(*mps->of_es(rt::gbk("岚舟商业管理软件 能龙 abc")), "a3de1494eb1ca8b9fd5be482d8fcc007");
}

TEST(LibraryConsumer, FileTimesRoundTripAndRecordSizes) {
  hostkit::uo_file_time* ft = nullptr;
  hostkit::nvo_sizeof* sizes = nullptr;
  auto keep1 = created("uo_file_time", ft);
  auto keep2 = created("nvo_sizeof", sizes);
  ASSERT_TRUE(ft && sizes);
  std::string f = temp_file("hk_consumer_times.txt", "x");
  rt::DateTime c, a, w;
  ASSERT_TRUE(test(ft->of_file_get_times(f, c, a, w)));
  const rt::DateTime when = rt::DateTimeValue(rt::DateValue(2019, 1, 5), rt::TimeValue(9, 5, 7, 30000));
  ASSERT_TRUE(test(ft->of_file_set_times(f, c, when, when)));
  rt::DateTime c2, a2, w2;
  ASSERT_TRUE(test(ft->of_file_get_times(f, c2, a2, w2)));
  EXPECT_EQ(*rt::string_of(a2), "2019-01-05 09:05:07");
  EXPECT_EQ(*rt::string_of(w2), "2019-01-05 09:05:07");
  std::filesystem::remove(f);

  EXPECT_EQ(*sizes->sizeof_(hostkit::filetime()), 8);
  EXPECT_EQ(*sizes->sizeof_(hostkit::systemtime()), 16);
  EXPECT_EQ(*sizes->sizeof_(hostkit::win32_find_data()), 4 + 3 * 8 + 4 * 4 + 260 + 14);
}

}  // namespace
