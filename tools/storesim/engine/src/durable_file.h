// Replacing a file so that a crash at any instant leaves either the old
// file or the new one.
#pragma once

#include <string>

namespace storesim::detail {

// Writes `bytes` to a temporary file next to `path` ("<path>.tmp"), flushes
// it to the disk, renames it over `path` and flushes the folder, so that
// the rename itself survives a power cut. Calls from one process are
// serialised. On failure (with the reason in `error`) `path` is untouched
// and the temporary file is removed.
bool ReplaceFileDurably(const std::string& path, const std::string& bytes, std::string* error);

}  // namespace storesim::detail
