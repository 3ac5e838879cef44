// The script pack "db.dat": the procedure and trigger scripts in one file.
//
//   record, 0 or more times:  "$$$$$$" name "^^^^" body "####"
//   end marker:               "@@@@"  (the file's last four bytes)
//
// The name is the script's file name without its folder; the body is the
// script's whole text reversed (a two-byte GBK character keeps its bytes
// in order). There is no header, no length field and no escaping: a record
// ends at the first "####" after its start and its name ends at the first
// "^^^^" in the record, so neither may occur where they would end an item
// early. The name head is skipped without being examined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace upgrade::pack {

inline constexpr std::string_view kFileName = "db.dat";
inline constexpr std::string_view kNameHead = "$$$$$$";
inline constexpr std::string_view kBodyHead = "^^^^";
inline constexpr std::string_view kRecordEnd = "####";
inline constexpr std::string_view kEndMarker = "@@@@";

// The most one stream read yields: each script is read with one read.
inline constexpr std::size_t kMaxScriptBytes = 32765;
// The most name plus body that a record may hold: the loaders of this
// format hold the position of a record's "####" in a 16-bit signed
// integer, so a record from its name head to its last body byte is at
// most 32,766 bytes.
inline constexpr std::size_t kMaxNameAndBody = 32756;
// The builder writes its buffer out before a record once the buffer and
// the next script together exceed this many bytes.
inline constexpr std::size_t kFlushThreshold = 32000;

// Why a script cannot go into a pack; Ok when it can.
enum class ScriptProblem {
  Ok,
  Empty,
  HoldsRecordEnd,     // the text contains "####"
  StartsWithHash,     // its reversal would end with "#" and end the record early
  NotGbk,             // reversal is its own inverse only on well-formed GBK
  BadName,            // the name holds "^^^^" or "####", ends with "^", or is empty
  RecordTooLong,      // name plus body longer than kMaxNameAndBody
};

// Checks a script (already read whole) and its file name.
ScriptProblem check_script(std::string_view name, std::string_view script);

// Appends one record for `script` under `name` to `out`.
void append_record(std::string& out, std::string_view name, std::string_view script);

// One record as the reader cuts it out of the pack text. The views point
// into the pack text.
struct Record {
  std::string_view name;  // bytes 7 to the one before the first "^^^^"
  std::string_view body;  // after the "^^^^": the script reversed
  bool has_body_head = true;  // false: the record holds no "^^^^" (name and body are empty)
};

// Walks the records of a pack text from the front, without copying it.
class Reader {
 public:
  enum class Step {
    Record,      // *record holds the next record
    End,         // the rest is exactly the end marker
    Incomplete,  // the rest holds no "####" and is not the end marker
  };

  explicit Reader(std::string_view text) : text_(text) {}
  Step Next(Record* record);
  // Bytes not yet taken.
  std::string_view rest() const { return text_.substr(at_); }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace upgrade::pack
