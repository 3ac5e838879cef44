// The runtime's platform layer on Windows.
//
// Files go through CreateFileA/ReadFile/WriteFile with the share mode that
// the lock asks for, the registry is the real one (HKEY_LOCAL_MACHINE), and
// the system ANSI code page (936, GBK, on a Chinese system) is the one that
// MultiByteToWideChar and WideCharToMultiByte use for CP_ACP.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "rt/env.h"

namespace rt {

namespace {

class Win32File : public File {
 public:
  explicit Win32File(HANDLE h) : h_(h) {}
  ~Win32File() override { Close(); }

  std::int64_t Read(char* buf, std::size_t n) override {
    if (h_ == INVALID_HANDLE_VALUE) return -1;
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(h_, buf, want, &got, nullptr)) {
      // A pipe whose writer has gone reads as the end.
      return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<std::int64_t>(got);
  }

  bool Write(const char* buf, std::size_t n) override {
    if (h_ == INVALID_HANDLE_VALUE) return false;
    while (n > 0) {
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
      DWORD done = 0;
      if (!::WriteFile(h_, buf, chunk, &done, nullptr) || done == 0) return false;
      buf += done;
      n -= done;
    }
    return true;
  }

  bool Close() override {
    if (h_ == INVALID_HANDLE_VALUE) return false;
    BOOL ok = ::CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok != 0;
  }

 private:
  HANDLE h_;
};

// What other openers are allowed while this file is open: the lock names
// what they may not do.
DWORD share_mode(Lock lock) {
  switch (lock) {
    case Lock::ReadWrite:
      return 0;
    case Lock::Read:
      return FILE_SHARE_WRITE;
    case Lock::Write:
      return FILE_SHARE_READ;
    case Lock::Shared:
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
  return 0;
}

char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool starts_with_nocase(const std::string& s, const char* prefix) {
  std::size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (lower_ascii(s[i]) != lower_ascii(prefix[i])) return false;
  return true;
}

// Case-insensitive match of * and ? against a whole file name. FindFirstFileA
// also matches a pattern against the generated 8.3 short names ("*.sql"
// finds "notes.sqlite" through "NOTES~1.SQL"), so its hits are checked again
// against the long name. "*.*" stands for every name, as it does in Windows.
bool wildcard_match(const char* p, const char* s) {
  if (std::strcmp(p, "*.*") == 0) return true;
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*s) {
    if (*p == '?' || (*p != '*' && *p != '\0' && lower_ascii(*p) == lower_ascii(*s))) {
      ++p;
      ++s;
    } else if (*p == '*') {
      star = p++;
      resume = s;
    } else if (star) {
      p = star + 1;
      s = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

// UTF-16 from bytes in `code_page`; bytes that do not convert become the
// code page's default character.
std::u16string to_utf16(UINT code_page, const std::string& in) {
  if (in.empty() || in.size() > static_cast<std::size_t>(INT_MAX)) return std::u16string();
  int len = static_cast<int>(in.size());
  int n = ::MultiByteToWideChar(code_page, 0, in.data(), len, nullptr, 0);
  if (n <= 0) return std::u16string();
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  n = ::MultiByteToWideChar(code_page, 0, in.data(), len, reinterpret_cast<wchar_t*>(out.data()), n);
  out.resize(static_cast<std::size_t>(std::max(n, 0)));
  return out;
}

std::string from_utf16(UINT code_page, const std::u16string& in) {
  if (in.empty() || in.size() > static_cast<std::size_t>(INT_MAX)) return std::string();
  const wchar_t* w = reinterpret_cast<const wchar_t*>(in.data());
  int len = static_cast<int>(in.size());
  int n = ::WideCharToMultiByte(code_page, 0, w, len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  n = ::WideCharToMultiByte(code_page, 0, w, len, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(std::max(n, 0)));
  return out;
}

class Win32Env : public Env {
 public:
  bool FileExists(const std::string& path) override {
    DWORD attr = ::GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool DirectoryExists(const std::string& path) override {
    DWORD attr = ::GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  bool RemoveFile(const std::string& path) override { return ::DeleteFileA(path.c_str()) != 0; }

  std::int64_t FileLength(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  std::unique_ptr<File> Open(const std::string& path, const OpenOptions& o) override {
    DWORD access = o.access == Access::Read ? GENERIC_READ : GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if (o.access == Access::Write) disposition = o.write_mode == WriteMode::Replace ? CREATE_ALWAYS : OPEN_ALWAYS;
    HANDLE h = ::CreateFileA(path.c_str(), access, share_mode(o.lock), nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    if (o.access == Access::Write && o.write_mode == WriteMode::Append) {
      LARGE_INTEGER zero;
      zero.QuadPart = 0;
      if (!::SetFilePointerEx(h, zero, nullptr, FILE_END)) {
        ::CloseHandle(h);
        return nullptr;
      }
    }
    return std::make_unique<Win32File>(h);
  }

  std::optional<std::string> CurrentDirectory() override {
    // The usual buffer of 256 bytes; a longer path is read again into a
    // buffer of the size that Windows asks for.
    std::string buf(256, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD n = ::GetCurrentDirectoryA(static_cast<DWORD>(buf.size()), buf.data());
      if (n == 0) return std::nullopt;
      if (n < buf.size()) {
        buf.resize(n);
        return buf;
      }
      buf.assign(n + 1, '\0');  // n counts the NUL when the buffer was too small
    }
    return std::nullopt;
  }

  char PathSeparator() const override { return '\\'; }

  std::vector<std::string> ListFiles(const std::string& dir, const std::string& pattern) override {
    std::vector<std::string> names;
    std::string search = dir;
    if (!search.empty() && search.back() != '\\' && search.back() != '/' && search.back() != ':') search += '\\';
    search += pattern;
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA(search.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    // Ordinary read-write files only: no folders, and no read-only, hidden
    // or system files.
    const DWORD excluded =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
      if (fd.dwFileAttributes & excluded) continue;
      if (!wildcard_match(pattern.c_str(), fd.cFileName)) continue;
      names.emplace_back(fd.cFileName);
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::optional<std::string> ReadRegistryString(const std::string& key, const std::string& value) override {
    std::string sub = key;
    for (const char* root : {"HKEY_LOCAL_MACHINE\\", "HKLM\\"}) {
      if (starts_with_nocase(sub, root)) {
        sub = sub.substr(std::strlen(root));
        break;
      }
    }
    // A 32-bit program sees the 32-bit view of the registry, as Windows
    // gives it (WOW6432Node on a 64-bit system).
    HKEY k;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS)
      return std::nullopt;
    std::optional<std::string> result;
    std::string data(256, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD type = 0;
      DWORD size = static_cast<DWORD>(data.size());
      LONG r = ::RegQueryValueExA(k, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
      if (r == ERROR_MORE_DATA) {
        data.assign(size + 1, '\0');
        continue;
      }
      if (r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        data.resize(size);
        // A text ends at its first NUL (the stored terminator included).
        std::size_t nul = data.find('\0');
        if (nul != std::string::npos) data.resize(nul);
        result = data;
      }
      break;
    }
    ::RegCloseKey(k);
    return result;
  }

  std::u16string AnsiToUtf16(const std::string& ansi) override { return to_utf16(CP_ACP, ansi); }

  std::string Utf8ToAnsi(const std::string& utf8) override { return from_utf16(CP_ACP, to_utf16(CP_UTF8, utf8)); }

  std::string AnsiToUtf8(const std::string& ansi) override { return from_utf16(CP_UTF8, to_utf16(CP_ACP, ansi)); }
};

}  // namespace

Env* PlatformEnv() {
  static Win32Env env;
  return &env;
}

}  // namespace rt
