// The platform behind the runtime: files, folders, the registry and code
// pages. One implementation per platform (POSIX here, Win32 for Windows);
// the rest of the code reaches the platform only through this interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// An open file. Reads and writes move through the file from its start.
class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes; the count read, 0 at the end, -1 on an error.
  virtual std::int64_t Read(char* buf, std::size_t n) = 0;
  // Writes all n bytes; false on an error.
  virtual bool Write(const char* buf, std::size_t n) = 0;
  virtual bool Close() = 0;
};

enum class Access { Read, Write };
enum class Lock { ReadWrite, Read, Write, Shared };  // what other programs may not do
enum class WriteMode { Append, Replace };

struct OpenOptions {
  Access access = Access::Read;
  Lock lock = Lock::ReadWrite;
  WriteMode write_mode = WriteMode::Append;
};

// Converts texts from the system ANSI code page to UTF-16 one after the
// other, for a caller that converts many short texts in a row: the code
// page's converter is prepared once for all of them.
class AnsiDecoder {
 public:
  virtual ~AnsiDecoder() = default;
  // The same units as Env::AnsiToUtf16 of `ansi`.
  virtual std::u16string Decode(std::string_view ansi) = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // The process's environment; tests may replace it (SetDefault).
  static Env* Default();
  static void SetDefault(Env* env);  // nullptr restores the platform's own

  virtual bool FileExists(const std::string& path) = 0;
  // Length in bytes, or -1 when the file cannot be found.
  virtual std::int64_t FileLength(const std::string& path) = 0;
  virtual std::unique_ptr<File> Open(const std::string& path, const OpenOptions& options) = 0;
  // The current directory without a trailing separator (except a root, as
  // the platform reports it); nullopt when it cannot be read.
  virtual std::optional<std::string> CurrentDirectory() = 0;
  virtual char PathSeparator() const = 0;
  // Names (no folder) of the ordinary files in `dir` that match `pattern`
  // ("*.sql"), in the folder's listing order sorted by name.
  virtual std::vector<std::string> ListFiles(const std::string& dir, const std::string& pattern) = 0;
  // Reads a text value under HKEY_LOCAL_MACHINE; nullopt when the key or
  // the value is missing.
  virtual std::optional<std::string> ReadRegistryString(const std::string& key,
                                                        const std::string& value) = 0;
  // Code-page conversion between the system ANSI code page (GBK here) and
  // UTF-16; invalid input maps to U+FFFD / '?'.
  virtual std::u16string AnsiToUtf16(const std::string& ansi) = 0;
  virtual std::string Utf8ToAnsi(const std::string& utf8) = 0;
  virtual std::string AnsiToUtf8(const std::string& ansi) = 0;
  // A decoder that gives what AnsiToUtf16 gives. This one calls
  // AnsiToUtf16 for every text; a platform whose converter is costly to
  // open keeps one open in its own.
  virtual std::unique_ptr<AnsiDecoder> NewAnsiDecoder();

  // True when `path` names an existing folder.
  virtual bool DirectoryExists(const std::string& path) = 0;
  // Gives the file `from` the name `to`, replacing a file of that name in
  // one step (readers see the old file or the new one, never a mixture).
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  // Deletes a file; false when it cannot be deleted or does not exist.
  virtual bool RemoveFile(const std::string& path) = 0;

  // Advice for a large buffer about to be filled once, front to back: a
  // platform that can back it with large pages (fewer page faults) may do
  // so. Advice only; the default does nothing.
  virtual void AdviseLargeBuffer(void* data, std::size_t size);
};

// An environment that passes every call to another one, its target. A
// wrapper overrides only the calls it watches or changes.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  bool FileExists(const std::string& path) override { return target_->FileExists(path); }
  std::int64_t FileLength(const std::string& path) override { return target_->FileLength(path); }
  std::unique_ptr<File> Open(const std::string& path, const OpenOptions& options) override {
    return target_->Open(path, options);
  }
  std::optional<std::string> CurrentDirectory() override { return target_->CurrentDirectory(); }
  char PathSeparator() const override { return target_->PathSeparator(); }
  std::vector<std::string> ListFiles(const std::string& dir, const std::string& pattern) override {
    return target_->ListFiles(dir, pattern);
  }
  std::optional<std::string> ReadRegistryString(const std::string& key, const std::string& value) override {
    return target_->ReadRegistryString(key, value);
  }
  std::u16string AnsiToUtf16(const std::string& ansi) override { return target_->AnsiToUtf16(ansi); }
  std::string Utf8ToAnsi(const std::string& utf8) override { return target_->Utf8ToAnsi(utf8); }
  std::string AnsiToUtf8(const std::string& ansi) override { return target_->AnsiToUtf8(ansi); }
  std::unique_ptr<AnsiDecoder> NewAnsiDecoder() override { return target_->NewAnsiDecoder(); }
  bool DirectoryExists(const std::string& path) override { return target_->DirectoryExists(path); }
  bool RenameFile(const std::string& from, const std::string& to) override { return target_->RenameFile(from, to); }
  bool RemoveFile(const std::string& path) override { return target_->RemoveFile(path); }
  void AdviseLargeBuffer(void* data, std::size_t size) override { target_->AdviseLargeBuffer(data, size); }

 private:
  Env* target_;
};

// The platform's own environment.
Env* PlatformEnv();

}  // namespace rt
