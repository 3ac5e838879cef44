// Golden files of a conversation with the database: what a program must
// send, in order, written down once and read by every test that checks it.
//
// Format. The file is a sequence of entries; each entry is its text
// followed by one separator line
//
//   --@ <operation> [item <n>] [layout]
//
// <operation> is "select" (a singleton SELECT of the text), "exec" (the text
// executed as a statement), "commit" or "update-script" (the run of the
// update script; these two have no text). "item <n>" names the statement
// list's item the entry belongs to; "layout" marks a text that is fixed only
// up to its layout (see without_layout). An entry's text is every byte
// between the end of the previous separator line and the line end that
// comes before its own separator line: the file's bytes are the statement's
// bytes (GBK), and a CR or LF inside a statement is part of it. Such files
// are kept byte for byte by git (.gitattributes: -text).
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct GoldenEntry {
  std::string op;  // "select", "exec", "commit", "update-script"
  std::string text;
  int item = 0;  // 0: not an item of the list
  bool layout = false;
  bool operator==(const GoldenEntry&) const = default;
};

// Reads a golden file; throws std::runtime_error naming the file and line
// when it cannot be read or does not follow the format.
std::vector<GoldenEntry> read_golden(const std::string& path);

// The conversation of an upgrade from stage "00000000":
// tests/upgrade/golden/conversation-00000000.sql.
const std::vector<GoldenEntry>& upgrade_conversation();

// The statements an upgrade from "00000000" executes up to and including
// the one that records `stage` as the upgrade stage, in UTF-8 as the
// simulator's engine takes them: what a database at that stage has been
// through. Empty when the conversation records no such stage.
std::vector<std::string> statements_through_stage(const std::string& stage);

// A statement text with its layout dropped: runs of blanks, tabs and line
// ends become one blank, and blanks next to ( ) [ ] , and at the ends go,
// so two texts that differ only in layout compare equal.
std::string without_layout(const std::string& sql);

// Whether `sent` is the text that `entry` fixes: byte for byte, or up to
// layout for a "layout" entry.
bool matches(const GoldenEntry& entry, const std::string& sent);

}  // namespace testing_support
