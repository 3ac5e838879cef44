#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "rt/file.h"

using namespace rt;
namespace fs = std::filesystem;

namespace {
class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rt_file_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    // Windows refuses to delete a read-only file.
    for (const auto& e : fs::recursive_directory_iterator(dir_))
      fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  std::string put(const std::string& name, const std::string& bytes) {
    std::string p = (dir_ / name).string();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  fs::path dir_;
};
}  // namespace

namespace {
using Lines = std::vector<std::pair<int, std::string>>;

// Every line left in an open file in line mode, with its byte count.
Lines all_lines(const Int& fn) {
  Lines got;
  String line;
  for (;;) {
    Long n = file_read(fn, line);
    if (*n < 0) {
      EXPECT_EQ(*n, kFileEof);
      break;
    }
    got.emplace_back(*n, *line);
  }
  return got;
}

// Every line of a file in line mode, with its byte count.
Lines all_lines(const std::string& path) {
  Int fn = file_open(path);
  Lines got = all_lines(fn);
  file_close(fn);
  return got;
}
}  // namespace

TEST_F(FileTest, LineReadsHandleCrLfLfAndALastLineWithoutEnd) {
  std::string p = put("lines.txt", "one\r\ntwo\n\r\nGO\nlast");
  Int fn = file_open(p);
  ASSERT_GT(*fn, 0);
  EXPECT_EQ(all_lines(fn), (Lines{{3, "one"}, {3, "two"}, {0, ""}, {2, "GO"}, {4, "last"}}));
  EXPECT_EQ(*file_close(fn), 1);
  EXPECT_EQ(*file_close(fn), -1);
}

TEST_F(FileTest, ALoneCrEndsALineAndEachLineEndCountsOnce) {
  EXPECT_EQ(all_lines(put("cr.txt", "a\rGO\rb")), (Lines{{1, "a"}, {2, "GO"}, {1, "b"}}));
  // Mixed ends; an empty line between two CRs; a CR as the last byte ends
  // the last line and nothing follows it.
  EXPECT_EQ(all_lines(put("mixed.txt", "one\r\ntwo\nthree\r\rfour\n\rfive\r")),
            (Lines{{3, "one"}, {3, "two"}, {5, "three"}, {0, ""}, {4, "four"}, {0, ""}, {4, "five"}}));
  EXPECT_EQ(all_lines(put("only_cr.txt", "\r")), (Lines{{0, ""}}));
  EXPECT_EQ(all_lines(put("lf_cr.txt", "x\n\r")), (Lines{{1, "x"}, {0, ""}}));
}

TEST_F(FileTest, ACrLfSplitAcrossReadsIsOneLineEnd) {
  // The runtime reads a line-mode file in blocks of 32,768 bytes. After a
  // first short line, the CR of the second line's end is the block's last
  // byte and its LF begins the next block.
  const std::string second(32768 - 4 - 1, 'x');
  EXPECT_EQ(all_lines(put("split.txt", "ab\r\n" + second + "\r\nGO\r\n")),
            (Lines{{2, "ab"}, {32763, second}, {2, "GO"}}));
  // A lone CR at the end of a block, another line after it.
  EXPECT_EQ(all_lines(put("split_cr.txt", "ab\r\n" + second + "\rGO")), (Lines{{2, "ab"}, {32763, second}, {2, "GO"}}));
  // A CR at the end of a block that is the file's last byte.
  EXPECT_EQ(all_lines(put("last_cr.txt", "ab\r\n" + second + "\r")), (Lines{{2, "ab"}, {32763, second}}));
}

TEST_F(FileTest, AFailedOpenGivesANumberWhoseReadsFail) {
  Int fn = file_open((dir_ / "missing.sql").string());
  EXPECT_EQ(*fn, -1);
  String line = "kept";
  EXPECT_LT(*file_read(fn, line), 0);
  EXPECT_EQ(*line, "kept");
  EXPECT_FALSE(test(file_exists((dir_ / "missing.sql").string())));
  EXPECT_EQ(*file_length((dir_ / "missing.sql").string()), -1);
}

TEST_F(FileTest, StreamReadsYieldAtMost32765Bytes) {
  std::string bytes(32765 * 2 + 10, 'x');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
  std::string p = put("big.dat", bytes);
  EXPECT_EQ(*file_length(p), static_cast<std::int32_t>(bytes.size()));
  Int fn = file_open(p, FileMode::Stream, Access::Read, Lock::Read);
  ASSERT_GT(*fn, 0);
  String b, all = std::string();
  std::vector<int> counts;
  for (;;) {
    Long n = file_read(fn, b);
    if (*n < 0) break;
    counts.push_back(*n);
    all = all + b;
  }
  file_close(fn);
  EXPECT_EQ(counts, (std::vector<int>{32765, 32765, 10}));
  EXPECT_EQ(*all, bytes);
  // The end of the file leaves the variable as the last read left it.
  EXPECT_EQ(*b, bytes.substr(2 * 32765));

  // Into a NULL variable, and into one that held a longer text.
  fn = file_open(p, FileMode::Stream, Access::Read, Lock::Read);
  String n = null;
  EXPECT_EQ(*file_read(fn, n), 32765);
  EXPECT_EQ(*n, bytes.substr(0, 32765));
  b = std::string(100000, 'z');
  EXPECT_EQ(*file_read(fn, b), 32765);
  EXPECT_EQ(*b, bytes.substr(32765, 32765));
  EXPECT_EQ(*file_read(fn, b), 10);
  EXPECT_EQ(*b, bytes.substr(2 * 32765));
  file_close(fn);
}

TEST_F(FileTest, StreamWriteReplacesOrAppends) {
  std::string p = (dir_ / "out.dat").string();
  for (int round = 0; round < 2; ++round) {
    Int fn = file_open(p, FileMode::Stream, Access::Write, Lock::Write, WriteMode::Replace);
    ASSERT_GT(*fn, 0);
    EXPECT_EQ(*file_write(fn, String("abc")), 3);
    EXPECT_EQ(*file_write(fn, String("de")), 2);
    file_close(fn);
  }
  EXPECT_EQ(*file_length(p), 5);
  Int fn = file_open(p, FileMode::Stream, Access::Write, Lock::Write, WriteMode::Append);
  file_write(fn, String("f"));
  file_close(fn);
  EXPECT_EQ(*file_length(p), 6);
  // A file open for writing cannot be read through its number.
  fn = file_open(p, FileMode::Stream, Access::Write, Lock::Write, WriteMode::Append);
  String s;
  EXPECT_EQ(*file_read(fn, s), -1);
  file_close(fn);
}

TEST_F(FileTest, CurrentDirectoryAndListing) {
  auto old = fs::current_path();
  fs::current_path(dir_);
  EXPECT_EQ(*current_directory(), fs::canonical(dir_).string());
  fs::current_path(old);

  put("b.sql", "x");
  put("a.SQL", "x");
  put("c.txt", "x");
  fs::create_directories(dir_ / "d.sql");
  std::string ro = put("r.sql", "x");
  fs::permissions(ro, fs::perms::owner_read | fs::perms::group_read);
  auto names = Env::Default()->ListFiles(dir_.string(), "*.sql");
  EXPECT_EQ(names, (std::vector<std::string>{"a.SQL", "b.sql"}));
}
