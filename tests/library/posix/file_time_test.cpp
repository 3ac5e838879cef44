#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "hostkit/hostkit.h"
#include "platform.h"
#include "hostkit/uo_file_time.h"
#include "support/dates.h"
#include "support/forwarding_platform.h"
#include "support/temp_dir.h"
#include "rt/datetime.h"

using hostkit::filetime;
using hostkit::Kernel32;
using hostkit::systemtime;
using hostkit::uo_file_time;
using hostkit::win32_find_data;
using hostkit_test::dt;
using hostkit_test::show;
using testing_support::TempDir;

namespace {

// Runs a test in a given time zone and restores the previous one.
class ScopedTz {
 public:
  explicit ScopedTz(const char* tz) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~ScopedTz() {
    if (had_)
      ::setenv("TZ", old_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

struct StatTimes {
  struct statx_timestamp birth, access, write;
  bool has_birth;
};

StatTimes stat_times(const std::string& path) {
  struct statx stx {};
  EXPECT_EQ(::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &stx), 0);
  return StatTimes{stx.stx_btime, stx.stx_atime, stx.stx_mtime, (stx.stx_mask & STATX_BTIME) != 0};
}

// Seconds since 1970 of a UTC calendar time.
std::int64_t utc(int y, int mo, int d, int h, int mi, int s) {
  struct tm tm {};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return ::timegm(&tm);
}

TEST(FileTimes, CreatedByClassNameWithItsConstants) {
  auto obj = hostkit::create("UO_FILE_TIME");
  ASSERT_TRUE(obj);
  EXPECT_EQ(obj->class_name(), "uo_file_time");
  ASSERT_NE(dynamic_cast<uo_file_time*>(obj.get()), nullptr);
  EXPECT_EQ(*uo_file_time::sdt_removable, "REMOVABLE!");
  EXPECT_EQ(*uo_file_time::sdt_fixed, "FIXED!");
  EXPECT_EQ(*uo_file_time::sdt_remote, "REMOTE!");
  EXPECT_EQ(*uo_file_time::sdt_cdrom, "CDROM!");
  EXPECT_EQ(*uo_file_time::sdt_ramdisk, "RAMDISK!");
}

// --- on real files -------------------------------------------------------

TEST(FileTimes, RoundTripOfAccessAndWriteToTheSecond) {
  ScopedTz tz("CST-8");  // UTC+8, no daylight saving
  TempDir dir;
  std::string f = dir.write("a.txt", "data");
  uo_file_time ft;
  rt::DateTime c, a, w;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));

  ASSERT_TRUE(test(ft.of_file_set_times(f, c, dt(2019, 1, 5, 9, 5, 7, 750000), dt(2020, 2, 29, 23, 59, 58, 500000))));

  // The file system holds the UTC instants of the local times, whole seconds.
  StatTimes st = stat_times(f);
  EXPECT_EQ(st.access.tv_sec, utc(2019, 1, 5, 1, 5, 7));
  EXPECT_EQ(st.access.tv_nsec, 0u);
  EXPECT_EQ(st.write.tv_sec, utc(2020, 2, 29, 15, 59, 58));
  EXPECT_EQ(st.write.tv_nsec, 0u);

  rt::DateTime c2, a2, w2;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c2, a2, w2)));
  EXPECT_EQ(show(a2), "2019-01-05 09:05:07");
  EXPECT_EQ(show(w2), "2020-02-29 23:59:58");
  EXPECT_EQ(*rt::microsecond(rt::time_part(w2)), 0);
  EXPECT_EQ(show(c2), show(c));
}

TEST(FileTimes, LocalTimesFollowDaylightSavingOfTheInstant) {
  ScopedTz tz("EST5EDT,M3.2.0,M11.1.0");
  TempDir dir;
  std::string f = dir.write("dst.txt", "data");
  uo_file_time ft;
  rt::DateTime c, a, w;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));
  ASSERT_TRUE(test(ft.of_file_set_times(f, c, dt(2021, 1, 15, 12, 0, 0), dt(2021, 7, 15, 12, 0, 0))));
  StatTimes st = stat_times(f);
  EXPECT_EQ(st.access.tv_sec, utc(2021, 1, 15, 17, 0, 0));  // EST, UTC-5
  EXPECT_EQ(st.write.tv_sec, utc(2021, 7, 15, 16, 0, 0));   // EDT, UTC-4
  rt::DateTime c2, a2, w2;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c2, a2, w2)));
  EXPECT_EQ(show(a2), "2021-01-15 12:00:00");
  EXPECT_EQ(show(w2), "2021-07-15 12:00:00");
}

TEST(FileTimes, MissingPathLeavesOutputsAndFilesAlone) {
  TempDir dir;
  uo_file_time ft;
  const rt::DateTime sentinel = dt(2001, 2, 3, 4, 5, 6);
  rt::DateTime c = sentinel, a = sentinel, w = rt::null;
  EXPECT_FALSE(test(ft.of_file_get_times(dir.path() + "/none.txt", c, a, w)));
  EXPECT_FALSE(test(ft.of_file_get_times(rt::String(rt::null), c, a, w)));
  EXPECT_FALSE(test(ft.of_file_get_times(rt::String(std::string()), c, a, w)));
  EXPECT_EQ(show(c), show(sentinel));
  EXPECT_EQ(show(a), show(sentinel));
  EXPECT_TRUE(w.is_null());

  EXPECT_FALSE(test(ft.of_file_set_times(dir.path() + "/none.txt", sentinel, sentinel, sentinel)));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/none.txt"));  // never created
  // A folder is found but is not a file that can be opened for writing.
  rt::DateTime dc, da, dw;
  EXPECT_TRUE(test(ft.of_file_get_times(dir.path(), dc, da, dw)));
  EXPECT_FALSE(test(ft.of_file_set_times(dir.path(), dc, da, dw)));
}

TEST(FileTimes, CreationTimeCannotBeChangedHere) {
  ScopedTz tz("UTC0");
  TempDir dir;
  std::string f = dir.write("c.txt", "data");
  uo_file_time ft;
  rt::DateTime c, a, w;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));
  StatTimes before = stat_times(f);

  // One second off: refused, nothing touched.
  rt::DateTime later = rt::to_datetime(rt::date_part(c), rt::TimeValue(*rt::hour(rt::time_part(c)),
                                                                         *rt::minute(rt::time_part(c)),
                                                                         (*rt::second(rt::time_part(c)) + 1) % 60));
  EXPECT_FALSE(test(ft.of_file_set_times(f, later, dt(2010, 1, 1, 0, 0, 0), dt(2010, 1, 1, 0, 0, 0))));
  StatTimes after = stat_times(f);
  EXPECT_EQ(after.access.tv_sec, before.access.tv_sec);
  EXPECT_EQ(after.write.tv_sec, before.write.tv_sec);
  EXPECT_EQ(after.write.tv_nsec, before.write.tv_nsec);

  // The same creation time (its fraction dropped) lets the other two through.
  EXPECT_TRUE(test(ft.of_file_set_times(f, c, dt(2010, 1, 1, 0, 0, 0), dt(2011, 1, 1, 0, 0, 0))));
  EXPECT_EQ(stat_times(f).write.tv_sec, utc(2011, 1, 1, 0, 0, 0));
  rt::DateTime c2, a2, w2;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c2, a2, w2)));
  if (before.has_birth) {
    EXPECT_EQ(show(c2), show(c));  // the birth time stays
  }
}

TEST(FileTimes, ReadOnlyFileIsReadButNotWritten) {
  ScopedTz tz("UTC0");
  TempDir dir;
  std::string f = dir.write("ro.txt", "data");
  ASSERT_EQ(::chmod(f.c_str(), 0444), 0);
  uo_file_time ft;
  rt::DateTime c, a, w;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));
  StatTimes before = stat_times(f);
  EXPECT_FALSE(test(ft.of_file_set_times(f, c, dt(2000, 1, 1, 0, 0, 0), dt(2000, 1, 1, 0, 0, 0))));
  EXPECT_EQ(stat_times(f).write.tv_sec, before.write.tv_sec);
  EXPECT_EQ(stat_times(f).access.tv_sec, before.access.tv_sec);
}

TEST(FileTimes, NullOrImpossibleDatetimeFailsBeforeTheOpen) {
  TempDir dir;
  std::string f = dir.write("n.txt", "data");
  uo_file_time ft;
  rt::DateTime c, a, w;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));
  StatTimes before = stat_times(f);
  EXPECT_FALSE(test(ft.of_file_set_times(f, c, rt::DateTime(rt::null), w)));
  EXPECT_FALSE(test(ft.of_file_set_times(f, c, a, dt(1500, 1, 1, 0, 0, 0))));  // before file times begin
  EXPECT_EQ(stat_times(f).write.tv_nsec, before.write.tv_nsec);
}

// --- the order of steps and the failure rules ----------------------------

// Forwards to the platform's functions, records every call, and fails the
// calls a test asks to fail.
class ScriptedKernel32 : public hostkit_test::ForwardingKernel32 {
 public:
  std::vector<std::string> calls;
  int fail_conversion_at = -1;  // index among the conversion calls
  std::optional<std::int32_t> create_result;
  std::optional<bool> set_result;
  std::optional<systemtime> system_time;  // what FileTimeToSystemTime delivers
  int conversions = 0;

  rt::ULong FindFirstFileA(const rt::String& n, win32_find_data& d) override {
    calls.push_back("find");
    return real.FindFirstFileA(n, d);
  }
  rt::Bool FindClose(const rt::ULong& h) override {
    calls.push_back("findclose");
    return real.FindClose(h);
  }
  rt::Bool FileTimeToLocalFileTime(const filetime& f, filetime& l) override {
    calls.push_back("tolocal");
    return conversion() && test(real.FileTimeToLocalFileTime(f, l));
  }
  rt::Bool LocalFileTimeToFileTime(const filetime& l, filetime& f) override {
    calls.push_back("fromlocal");
    return conversion() && test(real.LocalFileTimeToFileTime(l, f));
  }
  rt::Bool FileTimeToSystemTime(const filetime& f, systemtime& s) override {
    calls.push_back("tosystem");
    if (!conversion()) return false;
    if (system_time) {
      s = *system_time;
      return true;
    }
    return real.FileTimeToSystemTime(f, s);
  }
  rt::Bool SystemTimeToFileTime(const systemtime& s, filetime& f) override {
    calls.push_back("fromsystem");
    seen_systemtimes.push_back(s);
    return conversion() && test(real.SystemTimeToFileTime(s, f));
  }
  rt::Long CreateFileA(const rt::String& n, const rt::ULong& access, const rt::ULong& share,
                       const hostkit::security_attributes* sa, const rt::ULong& disp, const rt::ULong& flags,
                       const rt::ULong& tmpl) override {
    calls.push_back("create");
    open_args = {access.value_or(0), share.value_or(0), disp.value_or(0), flags.value_or(0)};
    sa_length = sa ? sa->nlength.value_or(0) : 0;
    sa_inherit = sa && test(sa->binherithandle);
    if (create_result) return *create_result;
    return real.CreateFileA(n, access, share, sa, disp, flags, tmpl);
  }
  rt::Bool SetFileTime(const rt::ULong& h, const filetime& c, const filetime& a, const filetime& w) override {
    calls.push_back("settime");
    if (set_result) return *set_result;
    return real.SetFileTime(h, c, a, w);
  }
  rt::Bool CloseHandle(const rt::ULong& h) override {
    calls.push_back("close");
    return real.CloseHandle(h);
  }
  std::vector<std::uint32_t> open_args;
  std::uint32_t sa_length = 0;
  bool sa_inherit = true;
  std::vector<systemtime> seen_systemtimes;

 private:
  bool conversion() { return conversions++ != fail_conversion_at; }
};

class FileTimesScripted : public ::testing::Test {
 protected:
  void SetUp() override { hostkit::set_kernel32(&k); }
  void TearDown() override { hostkit::set_kernel32(nullptr); }
  ScriptedKernel32 k;
  TempDir dir;
  uo_file_time ft;
};

TEST_F(FileTimesScripted, ReadingClosesTheSearchThenConvertsInOrder) {
  std::string f = dir.write("x", "data");
  rt::DateTime c, a, w;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));
  EXPECT_EQ(k.calls, (std::vector<std::string>{"find", "findclose", "tolocal", "tosystem", "tolocal", "tosystem",
                                               "tolocal", "tosystem"}));
}

TEST_F(FileTimesScripted, AFailedConversionLeavesEveryOutputUntouched) {
  std::string f = dir.write("x", "data");
  const rt::DateTime sentinel = dt(1999, 12, 31, 23, 59, 59);
  for (int failing = 0; failing < 6; ++failing) {
    k.fail_conversion_at = failing;
    k.conversions = 0;
    k.calls.clear();
    rt::DateTime c = sentinel, a = sentinel, w = sentinel;
    EXPECT_FALSE(test(ft.of_file_get_times(f, c, a, w))) << failing;
    EXPECT_EQ(show(c), show(sentinel)) << failing;
    EXPECT_EQ(show(a), show(sentinel)) << failing;
    EXPECT_EQ(show(w), show(sentinel)) << failing;
    EXPECT_EQ(k.calls.size(), 3u + static_cast<unsigned>(failing)) << failing;  // stops at the failure
    EXPECT_EQ(k.calls[1], "findclose");
  }
}

TEST_F(FileTimesScripted, CalendarFieldsBecomeTextsWithoutLeadingZeros) {
  std::string f = dir.write("x", "data");
  systemtime st;
  st.wyear = std::uint16_t{2019};
  st.wmonth = std::uint16_t{1};
  st.wday = std::uint16_t{5};
  st.whour = std::uint16_t{9};
  st.wminute = std::uint16_t{5};
  st.wsecond = std::uint16_t{7};
  st.wmilliseconds = std::uint16_t{30};
  k.system_time = st;
  rt::DateTime c, a, w;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));
  EXPECT_EQ(show(w), "2019-01-05 09:05:07.030000");

  k.system_time = systemtime();  // all fields 0 except a valid day
  k.system_time->wyear = std::uint16_t{2000};
  k.system_time->wmonth = std::uint16_t{1};
  k.system_time->wday = std::uint16_t{1};
  ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));
  EXPECT_EQ(show(c), "2000-01-01 00:00:00");
}

TEST_F(FileTimesScripted, SettingConvertsAllThreeBeforeOpeningAndAlwaysCloses) {
  std::string f = dir.write("x", "data");
  rt::DateTime c, a, w;
  {
    hostkit::set_kernel32(nullptr);
    ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));
    hostkit::set_kernel32(&k);
  }
  k.set_result = false;
  EXPECT_FALSE(test(ft.of_file_set_times(f, c, dt(2019, 1, 5, 10, 20, 30, 750000), w)));
  EXPECT_EQ(k.calls, (std::vector<std::string>{"fromsystem", "fromlocal", "fromsystem", "fromlocal", "fromsystem",
                                               "fromlocal", "create", "settime", "close"}));
  EXPECT_EQ(k.open_args, (std::vector<std::uint32_t>{0x40000000u, 3u, 3u, 32u}));
  EXPECT_EQ(k.sa_length, 12u);
  EXPECT_FALSE(k.sa_inherit);
  // Calendar fields: day number less one, milliseconds dropped.
  ASSERT_EQ(k.seen_systemtimes.size(), 3u);
  const systemtime& st = k.seen_systemtimes[1];
  EXPECT_EQ(*st.wdayofweek, 6);  // 2019-01-05 was a Saturday
  EXPECT_EQ(*st.wsecond, 30);
  EXPECT_EQ(*st.wmilliseconds, 0);

  // A failed conversion stops before the open.
  k.calls.clear();
  k.set_result.reset();
  k.conversions = 0;
  k.fail_conversion_at = 5;
  EXPECT_FALSE(test(ft.of_file_set_times(f, c, a, w)));
  EXPECT_EQ(k.calls.size(), 6u);
  EXPECT_EQ(k.calls.back(), "fromlocal");
}

TEST_F(FileTimesScripted, AnOpenGivingZeroIsAFailureWithNothingToClose) {
  std::string f = dir.write("x", "data");
  for (std::int32_t result : {0, -1}) {
    k.calls.clear();
    k.create_result = result;
    const rt::DateTime t = dt(2020, 1, 1, 0, 0, 0);
    EXPECT_FALSE(test(ft.of_file_set_times(f, t, t, t)));
    EXPECT_EQ(k.calls.back(), "create");
  }
}

}  // namespace
