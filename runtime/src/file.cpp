#include "rt/file.h"

#include <map>
#include <memory>

namespace rt {

namespace {

struct OpenFile {
  std::unique_ptr<File> file;
  FileMode mode;
  Access access;
  std::string buf;  // bytes read ahead in line mode; in stream mode the next block's buffer
  std::size_t at = 0;
  bool eof = false;
  bool error = false;
};

std::map<int, OpenFile>& table() {
  static std::map<int, OpenFile> t;
  return t;
}

OpenFile* lookup(const Int& number) {
  if (number.is_null()) return nullptr;
  auto it = table().find(*number);
  return it == table().end() ? nullptr : &it->second;
}

// Reads more bytes into the line buffer; false at the end or on an error.
bool refill(OpenFile& f) {
  if (f.eof || f.error) return false;
  if (f.at > 0) {
    f.buf.erase(0, f.at);
    f.at = 0;
  }
  char chunk[32768];
  std::int64_t n = f.file->Read(chunk, sizeof chunk);
  if (n < 0) {
    f.error = true;
    return false;
  }
  if (n == 0) {
    f.eof = true;
    return false;
  }
  f.buf.append(chunk, static_cast<std::size_t>(n));
  return true;
}

// A line ends at CR LF, at LF or at a lone CR. A CR that is the last byte
// read so far waits for the next read: a LF that follows it belongs to the
// same line end.
Long read_line(OpenFile& f, String& out) {
  for (;;) {
    std::size_t end = f.buf.find_first_of("\r\n", f.at);
    if (end != std::string::npos) {
      std::size_t next = end + 1;
      if (f.buf[end] == '\r' && next == f.buf.size() && !f.eof) {
        refill(f);
        if (f.error) return -1;
        continue;  // the buffer has moved: look again
      }
      if (f.buf[end] == '\r' && next < f.buf.size() && f.buf[next] == '\n') ++next;
      out = f.buf.substr(f.at, end - f.at);
      f.at = next;
      return static_cast<std::int32_t>(out->size());
    }
    if (!refill(f)) break;
  }
  if (f.error) return -1;
  if (f.at >= f.buf.size()) return kFileEof;
  // The last line, without an end.
  out = f.buf.substr(f.at);
  f.at = f.buf.size();
  return static_cast<std::int32_t>(out->size());
}

// The block is read into the file's own buffer, which then changes places
// with the caller's text: a caller that reads every block into the same
// variable makes no allocation after the first two blocks.
Long read_stream(OpenFile& f, String& out) {
  std::string& block = f.buf;
  block.resize(static_cast<std::size_t>(kStreamBlock));
  std::size_t got = 0;
  while (got < block.size()) {
    std::int64_t n = f.file->Read(block.data() + got, block.size() - got);
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got == 0) return kFileEof;
  block.resize(got);
  if (out.is_null()) out = std::string();
  std::swap(*out, block);
  return static_cast<std::int32_t>(got);
}

}  // namespace

Bool file_exists(const String& name) {
  if (name.is_null()) return null;
  return Env::Default()->FileExists(*name);
}

Long file_length(const String& name) {
  if (name.is_null()) return null;
  std::int64_t n = Env::Default()->FileLength(*name);
  if (n < 0) return -1;
  return static_cast<std::int32_t>(n);
}

Int file_open(const String& name, FileMode mode, Access access, Lock lock, WriteMode write_mode) {
  if (name.is_null()) return null;
  OpenOptions o;
  o.access = access;
  o.lock = lock;
  o.write_mode = write_mode;
  std::unique_ptr<File> f = Env::Default()->Open(*name, o);
  if (!f) return -1;
  int number = 1;
  while (table().count(number)) ++number;
  if (number > 32767) return -1;
  table().emplace(number, OpenFile{std::move(f), mode, access, {}, 0, false, false});
  return static_cast<std::int16_t>(number);
}

Long file_read(const Int& number, String& out) {
  if (number.is_null()) return null;
  OpenFile* f = lookup(number);
  if (!f || f->access != Access::Read) return -1;
  return f->mode == FileMode::Line ? read_line(*f, out) : read_stream(*f, out);
}

Long file_write(const Int& number, const String& text) {
  if (number.is_null() || text.is_null()) return null;
  OpenFile* f = lookup(number);
  if (!f || f->access != Access::Write) return -1;
  std::string bytes = *text;
  if (f->mode == FileMode::Line) bytes += "\r\n";
  if (!f->file->Write(bytes.data(), bytes.size())) return -1;
  return static_cast<std::int32_t>(text->size());
}

Int file_close(const Int& number) {
  if (number.is_null()) return null;
  auto it = table().find(*number);
  if (it == table().end()) return -1;
  bool ok = it->second.file->Close();
  table().erase(it);
  return ok ? Int(1) : Int(-1);
}

String current_directory() {
  auto d = Env::Default()->CurrentDirectory();
  // A directory that cannot be read (gone, or a path longer than the
  // platform reports) is still the process's directory: names are then
  // made relative to it. The empty text would put them at the root.
  return d ? String(*d) : String(std::string("."));
}

}  // namespace rt
