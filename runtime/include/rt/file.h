// File functions of the runtime, by file number.
#pragma once

#include "rt/env.h"
#include "rt/text.h"

namespace rt {

enum class FileMode { Line, Stream };

inline constexpr std::int32_t kStreamBlock = 32765;  // most bytes one stream read yields
inline constexpr int kFileEof = -100;

Bool file_exists(const String& name);
// Length in bytes; -1 when the file does not exist.
Long file_length(const String& name);
// Opens a file and returns its number (1 or more), or -1 on a failure.
// By name alone: line mode, read access.
Int file_open(const String& name, FileMode mode = FileMode::Line, Access access = Access::Read,
              Lock lock = Lock::ReadWrite, WriteMode write_mode = WriteMode::Append);
// Line mode: the next line without its end (CR LF, LF or CR) into `out`; the
// result is the line's byte count. Stream mode: the next bytes, at most
// 32,765. At the end of the file the result is -100 and `out` is kept;
// -1 on a read error or for a number that is not open.
Long file_read(const Int& number, String& out);
// Writes the whole text (line mode adds CR LF); the bytes written, or -1.
Long file_write(const Int& number, const String& text);
// 1, or -1 for a number that is not open.
Int file_close(const Int& number);

// The current directory as the platform reports it; "." when it cannot be
// read, so that a file name built on it stays in that directory.
String current_directory();

}  // namespace rt
