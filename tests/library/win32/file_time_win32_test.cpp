// File times on Windows: the class's calls reach kernel32 itself, and the
// results are checked with kernel32 directly.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "hostkit/uo_file_time.h"
#include "rt/datetime.h"
#include "support/dates.h"
#include "support/temp_dir.h"

using hostkit::uo_file_time;
using hostkit_test::dt;
using hostkit_test::show;
using testing_support::TempDir;

namespace {

// The three times of a file as local calendar fields, read with kernel32.
struct LocalTimes {
  bool ok = false;
  SYSTEMTIME creation{}, access{}, write{};
};

LocalTimes local_times(const std::string& path) {
  LocalTimes t;
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return t;
  FILETIME c, a, w;
  if (::GetFileTime(h, &c, &a, &w)) {
    FILETIME lc, la, lw;
    t.ok = ::FileTimeToLocalFileTime(&c, &lc) && ::FileTimeToLocalFileTime(&a, &la) &&
           ::FileTimeToLocalFileTime(&w, &lw) && ::FileTimeToSystemTime(&lc, &t.creation) &&
           ::FileTimeToSystemTime(&la, &t.access) && ::FileTimeToSystemTime(&lw, &t.write);
  }
  ::CloseHandle(h);
  return t;
}

bool under_wine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

std::string fields(const SYSTEMTIME& s) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u", s.wYear, s.wMonth, s.wDay, s.wHour, s.wMinute,
                s.wSecond, s.wMilliseconds);
  return buf;
}

TEST(Win32FileTimes, AllThreeTimesAreWrittenToTheSecondAndReadBack) {
  TempDir dir;
  std::string f = dir.write("a.txt", "data");
  uo_file_time ft;
  ASSERT_TRUE(test(ft.of_file_set_times(f, dt(2015, 3, 4, 5, 6, 7, 250000), dt(2019, 1, 5, 9, 5, 7, 750000),
                                        dt(2020, 2, 29, 23, 59, 58, 500000))));

  // The file system holds the local times given, without their fractions.
  // Windows keeps the creation time that was set; Wine, on a file system
  // without one, reports another time, which the class must then read.
  LocalTimes t = local_times(f);
  ASSERT_TRUE(t.ok);
  if (!under_wine()) {
    EXPECT_EQ(fields(t.creation), "2015-03-04 05:06:07.000");
  }
  EXPECT_EQ(fields(t.access), "2019-01-05 09:05:07.000");
  EXPECT_EQ(fields(t.write), "2020-02-29 23:59:58.000");

  rt::DateTime c, a, w;
  ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));
  EXPECT_EQ(show(c), under_wine() ? fields(t.creation).substr(0, 19) : "2015-03-04 05:06:07");
  EXPECT_EQ(show(a), "2019-01-05 09:05:07");
  EXPECT_EQ(show(w), "2020-02-29 23:59:58");
  EXPECT_EQ(*rt::microsecond(rt::time_part(w)), 0);

  // Midnight and single-digit fields come back as they went in.
  ASSERT_TRUE(test(ft.of_file_set_times(f, dt(2001, 1, 1, 0, 0, 0), dt(2002, 2, 2, 0, 0, 0), dt(2003, 3, 3, 3, 3, 3))));
  ASSERT_TRUE(test(ft.of_file_get_times(f, c, a, w)));
  if (!under_wine()) {
    EXPECT_EQ(show(c), "2001-01-01 00:00:00");
  }
  EXPECT_EQ(show(a), "2002-02-02 00:00:00");
  EXPECT_EQ(show(w), "2003-03-03 03:03:03");
}

TEST(Win32FileTimes, MissingPathsAndFoldersLeaveEverythingAlone) {
  TempDir dir;
  uo_file_time ft;
  const rt::DateTime sentinel = dt(2001, 2, 3, 4, 5, 6);
  rt::DateTime c = sentinel, a = sentinel, w = sentinel;
  std::string missing = dir.path() + "\\none.txt";
  EXPECT_FALSE(test(ft.of_file_get_times(missing, c, a, w)));
  EXPECT_FALSE(test(ft.of_file_get_times(rt::String(rt::null), c, a, w)));
  EXPECT_FALSE(test(ft.of_file_get_times(std::string(), c, a, w)));
  EXPECT_EQ(show(c), show(sentinel));
  EXPECT_EQ(show(a), show(sentinel));
  EXPECT_EQ(show(w), show(sentinel));

  EXPECT_FALSE(test(ft.of_file_set_times(missing, sentinel, sentinel, sentinel)));
  EXPECT_FALSE(std::filesystem::exists(missing));  // the open never creates
  EXPECT_FALSE(test(ft.of_file_set_times(rt::String(rt::null), sentinel, sentinel, sentinel)));

  // A folder is found by the search, but is not opened for writing.
  EXPECT_TRUE(test(ft.of_file_get_times(dir.path(), c, a, w)));
  EXPECT_FALSE(test(ft.of_file_set_times(dir.path(), sentinel, sentinel, sentinel)));
}

TEST(Win32FileTimes, ImpossibleDatesAreRefusedBeforeTheOpen) {
  TempDir dir;
  std::string f = dir.write("dates.txt", "data");
  uo_file_time ft;
  ASSERT_TRUE(test(ft.of_file_set_times(f, dt(2010, 1, 1, 0, 0, 0), dt(2010, 1, 1, 0, 0, 0), dt(2010, 1, 1, 0, 0, 0))));

  // A date before file times begin fails in the conversion, before the open.
  EXPECT_FALSE(test(ft.of_file_set_times(f, dt(2010, 1, 1, 0, 0, 0), dt(1500, 1, 1, 0, 0, 0), dt(2011, 1, 1, 0, 0, 0))));
  EXPECT_FALSE(test(ft.of_file_set_times(f, dt(2010, 1, 1, 0, 0, 0), rt::DateTime(rt::null), dt(2011, 1, 1, 0, 0, 0))));
  EXPECT_EQ(fields(local_times(f).write), "2010-01-01 00:00:00.000");

}

TEST(Win32FileTimes, TheOpenSharesReadingAndWritingOnly) {
  TempDir dir;
  std::string f = dir.write("shared.txt", "data");
  uo_file_time ft;
  const rt::DateTime when = dt(2018, 6, 7, 8, 9, 10);

  // Another holder that lets others read and write: the times are set.
  HANDLE sharing = ::CreateFileA(f.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(sharing, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(test(ft.of_file_set_times(f, when, when, when)));
  ::CloseHandle(sharing);

  // A holder that shares nothing: the open fails, the file is untouched.
  HANDLE exclusive = ::CreateFileA(f.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(test(ft.of_file_set_times(f, when, dt(2000, 1, 1, 0, 0, 0), dt(2000, 1, 1, 0, 0, 0))));
  ::CloseHandle(exclusive);
  EXPECT_EQ(fields(local_times(f).write), "2018-06-07 08:09:10.000");
}

}  // namespace
