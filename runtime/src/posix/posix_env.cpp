// The runtime's platform layer on POSIX systems.
//
// The registry is an INI file whose section names are key paths below
// HKEY_LOCAL_MACHINE ("[SOFTWARE\tandrel]"): the file the program names
// (set_registry_file), or none. It is read as UTF-8 (a leading byte-order
// mark is skipped); a path that names no regular file counts as no file. A
// value that cannot be found in a named file is reported on standard error,
// one line each; a program that names no file has no registry and hears
// nothing of it. The system ANSI code page is GBK (code page 936), converted
// with iconv.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <mutex>

#include "rt/env.h"
#include "rt/registry.h"

namespace rt {

namespace {

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { Close(); }

  std::int64_t Read(char* buf, std::size_t n) override {
    if (fd_ < 0) return -1;
    for (;;) {
      ssize_t r = ::read(fd_, buf, n);
      if (r < 0 && errno == EINTR) continue;
      return r;
    }
  }

  bool Write(const char* buf, std::size_t n) override {
    if (fd_ < 0) return false;
    while (n > 0) {
      ssize_t w = ::write(fd_, buf, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      buf += w;
      n -= static_cast<std::size_t>(w);
    }
    return true;
  }

  bool Close() override {
    if (fd_ < 0) return false;
    int r = ::close(fd_);
    fd_ = -1;
    return r == 0;
  }

 private:
  int fd_;
};

std::string lower_ascii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

std::string strip(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  std::size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Converts with iconv; a byte sequence that does not convert becomes
// `bad` and conversion goes on after its first byte.
void convert_with(iconv_t cd, std::string_view in, const std::string& bad, std::size_t unit, std::string& out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  char buf[4096];
  while (left > 0) {
    char* dst = buf;
    std::size_t room = sizeof buf;
    std::size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<std::size_t>(dst - buf));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: skip one unit of input.
      out += bad;
      std::size_t skip = std::min(unit, left);
      src += skip;
      left -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

std::string convert(const char* to, const char* from, const std::string& in, const std::string& bad,
                    std::size_t unit) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  std::string out;
  out.reserve(in.size() * 2 + 8);
  convert_with(cd, in, bad, unit, out);
  iconv_close(cd);
  return out;
}

// The whole content of `path` when it names a regular file. Anything else
// (a folder, a FIFO, a device) counts as no file: it is never read, and a
// FIFO without a writer does not block the caller.
std::optional<std::string> read_regular_file(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  PosixFile file(fd);
  std::string text;
  char buf[4096];
  std::int64_t r;
  while ((r = file.Read(buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(r));
  if (r < 0) return std::nullopt;
  return text;
}

// The value `value` of the section `section` in the INI text of the
// registry file (both names compared without regard to ASCII case), in
// UTF-8 as the file holds it. `key_found` tells whether the section exists.
std::optional<std::string> find_registry_value(const std::string& text, const std::string& section,
                                               const std::string& value, bool& key_found) {
  static const std::string kBom = "\xEF\xBB\xBF";
  std::istringstream in(text.compare(0, kBom.size(), kBom) == 0 ? text.substr(kBom.size()) : text);
  const std::string want = lower_ascii(section);
  const std::string want_value = lower_ascii(value);
  key_found = false;
  std::string line;
  bool in_section = false;
  while (std::getline(in, line)) {
    line = strip(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      in_section = lower_ascii(strip(line.substr(1, line.size() - 2))) == want;
      key_found = key_found || in_section;
      continue;
    }
    if (!in_section) continue;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (lower_ascii(strip(line.substr(0, eq))) != want_value) continue;
    std::string v = strip(line.substr(eq + 1));
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return v;
  }
  return std::nullopt;
}

// A program run from a terminal says there why it has no setting; the
// caller goes on as with any missing value.
void report_missing(const std::string& file, const std::string& what) {
  std::string line = "registry file " + file + ": " + what + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}
const std::string kBadUtf16("\xFD\xFF", 2);

std::u16string utf16_of(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

// GBK to UTF-16 with one converter, opened on the first text. The units of
// every one- and two-byte text are kept once converted: a caller that walks
// a text character by character converts each distinct character once. The
// first character met of a lead byte converts that lead byte's whole row of
// characters in one call, as text in Chinese soon meets most rows.
class GbkDecoder : public AnsiDecoder {
 public:
  ~GbkDecoder() override {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }

  std::u16string Decode(std::string_view ansi) override {
    if (ansi.empty()) return std::u16string();
    if (ansi.size() > 2) return convert(ansi);
    const auto first = static_cast<unsigned char>(ansi[0]);
    Known* slot;
    if (ansi.size() == 1) {
      slot = &single_[first];
    } else {
      if (first < 0x80) return convert(ansi);
      if (!pairs_) pairs_ = std::make_unique<Known[]>(kPairs);
      slot = &pairs_[(std::size_t{first} - 0x80) << 8 | static_cast<unsigned char>(ansi[1])];
    }
    if (!slot->known && ansi.size() == 2) fill_row(first);
    if (!slot->known) {
      const std::u16string units = convert(ansi);
      // Two bytes give at most two units; anything longer is not kept.
      if (units.size() > 2) return units;
      slot->count = static_cast<std::uint8_t>(units.size());
      for (std::size_t i = 0; i < units.size(); ++i) slot->units[i] = units[i];
      slot->known = true;
    }
    return std::u16string(slot->units, slot->count);
  }

 private:
  struct Known {
    char16_t units[2] = {};
    std::uint8_t count = 0;
    bool known = false;
  };
  static constexpr std::size_t kPairs = std::size_t{0x80} << 8;  // lead byte 0x80 to 0xFF
  static constexpr std::size_t kRow = 190;                        // trail bytes 0x40 to 0xFE but 0x7F

  // Converts the characters of lead byte `lead` with the trail bytes a GBK
  // character can have (0x40 to 0xFE but 0x7F) as one text. A pair that does
  // not convert is stepped over and left to the one-by-one conversion, as is
  // the whole row if the units do not come one to a pair.
  void fill_row(unsigned char lead) {
    bool& done = rows_done_[lead - 0x80];
    if (done) return;
    done = true;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) cd_ = iconv_open("UTF-16LE", "GBK");
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return;
    char in[2 * kRow];
    unsigned char trails[kRow];
    std::size_t n = 0;
    for (unsigned t = 0x40; t <= 0xFE; ++t) {
      if (t == 0x7F) continue;
      trails[n] = static_cast<unsigned char>(t);
      in[2 * n] = static_cast<char>(lead);
      in[2 * n + 1] = static_cast<char>(t);
      ++n;
    }
    std::u16string units(n, u'\0');
    bool converted[kRow] = {};
    std::size_t at = 0;  // pairs consumed
    while (at < n) {
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      char* src = in + 2 * at;
      std::size_t left = 2 * (n - at);
      char out[4 * kRow];
      char* dst = out;
      std::size_t room = sizeof out;
      const std::size_t r = iconv(cd_, &src, &left, &dst, &room);
      const auto used = static_cast<std::size_t>(src - (in + 2 * at));
      const auto made = static_cast<std::size_t>(dst - out);
      if (used % 2 != 0 || made != used) return;  // not one unit to a pair: keep nothing
      units.replace(at, used / 2, utf16_of(std::string(out, made)));
      std::fill(converted + at, converted + at + used / 2, true);
      at += used / 2;
      if (r == static_cast<std::size_t>(-1)) {
        if (errno != EILSEQ) return;
        ++at;  // the pair that did not convert
      }
    }
    if (!pairs_) pairs_ = std::make_unique<Known[]>(kPairs);
    for (std::size_t i = 0; i < n; ++i) {
      if (!converted[i]) continue;
      Known& k = pairs_[(std::size_t{lead} - 0x80) << 8 | trails[i]];
      k.units[0] = units[i];
      k.count = 1;
      k.known = true;
    }
  }

  std::u16string convert(std::string_view ansi) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) cd_ = iconv_open("UTF-16LE", "GBK");
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::u16string();
    std::string bytes;
    convert_with(cd_, ansi, kBadUtf16, 1, bytes);
    return utf16_of(bytes);
  }

  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
  Known single_[256];
  std::unique_ptr<Known[]> pairs_;
  bool rows_done_[0x80] = {};
};

class PosixEnv : public Env {
 public:
  bool FileExists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  }

  std::int64_t FileLength(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return static_cast<std::int64_t>(st.st_size);
  }

  std::unique_ptr<File> Open(const std::string& path, const OpenOptions& o) override {
    int flags = O_CLOEXEC;
    if (o.access == Access::Read) {
      flags |= O_RDONLY;
    } else {
      flags |= O_WRONLY | O_CREAT | (o.write_mode == WriteMode::Replace ? O_TRUNC : O_APPEND);
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return nullptr;
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) return nullptr;
    if (o.lock != Lock::Shared) {
      int how = (o.access == Access::Write ? LOCK_EX : LOCK_SH) | LOCK_NB;
      if (::flock(fd, how) != 0) {
        ::close(fd);
        return nullptr;
      }
    }
    return std::make_unique<PosixFile>(fd);
  }

  std::optional<std::string> CurrentDirectory() override {
    std::string buf(4096, '\0');
    if (!::getcwd(buf.data(), buf.size())) return std::nullopt;
    buf.resize(std::strlen(buf.c_str()));
    return buf;
  }

  char PathSeparator() const override { return '/'; }

  bool DirectoryExists(const std::string& path) override {
    struct stat st;
    return ::stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0;
  }

  bool RemoveFile(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  std::vector<std::string> ListFiles(const std::string& dir, const std::string& pattern) override {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      if (::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
      std::string full = dir.empty() ? name : (dir.back() == '/' ? dir + name : dir + "/" + name);
      struct stat st;
      // Ordinary read-write files only: no folders, no read-only files.
      if (::stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR)) continue;
      names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::optional<std::string> ReadRegistryString(const std::string& key, const std::string& value) override {
    const RegistryFile where = registry_file();
    const char* named = where.variable.empty() ? nullptr : std::getenv(where.variable.c_str());
    const std::string file = named && *named ? named : where.path;
    if (file.empty()) return std::nullopt;
    std::string section = key;
    for (const char* root : {"hkey_local_machine\\", "hklm\\"}) {
      if (lower_ascii(section).rfind(root, 0) == 0) {
        section = section.substr(std::strlen(root));
        break;
      }
    }
    std::optional<std::string> text = read_regular_file(file);
    bool key_found = false;
    std::optional<std::string> v;
    if (text) v = find_registry_value(*text, section, value, key_found);
    if (!v) {
      // The names come in the ANSI code page; the terminal reads UTF-8.
      report_missing(file, "no value " + AnsiToUtf8(value) + " under [" + AnsiToUtf8(section) + "]" +
                               (!text ? " (no such regular file)" : !key_found ? " (no such key)" : ""));
      return std::nullopt;
    }
    return Utf8ToAnsi(*v);
  }

  std::u16string AnsiToUtf16(const std::string& ansi) override {
    return utf16_of(convert("UTF-16LE", "GBK", ansi, kBadUtf16, 1));
  }

  std::unique_ptr<AnsiDecoder> NewAnsiDecoder() override { return std::make_unique<GbkDecoder>(); }

  // Large pages for the whole 2 MB pages inside the buffer, where the
  // system grants them on request (transparent huge pages).
  void AdviseLargeBuffer(void* data, std::size_t size) override {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
    const auto at = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t from = (at + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t to = (at + size) & ~(kLargePage - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
  }

  std::string Utf8ToAnsi(const std::string& utf8) override { return convert("GBK", "UTF-8", utf8, "?", 1); }

  std::string AnsiToUtf8(const std::string& ansi) override {
    return convert("UTF-8", "GBK", ansi, "\xEF\xBF\xBD", 1);
  }
};

}  // namespace

Env* PlatformEnv() {
  static PosixEnv env;
  return &env;
}

}  // namespace rt
