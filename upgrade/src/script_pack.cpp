#include "upgrade/script_pack.h"

#include "rt/text.h"

namespace upgrade::pack {

ScriptProblem check_script(std::string_view name, std::string_view script) {
  if (name.empty() || name.find(kBodyHead) != std::string_view::npos ||
      name.find(kRecordEnd) != std::string_view::npos || name.back() == '^')
    return ScriptProblem::BadName;
  if (script.empty()) return ScriptProblem::Empty;
  if (script.find(kRecordEnd) != std::string_view::npos) return ScriptProblem::HoldsRecordEnd;
  if (script.front() == '#') return ScriptProblem::StartsWithHash;
  if (!rt::gbk_well_formed(script)) return ScriptProblem::NotGbk;
  if (name.size() + script.size() > kMaxNameAndBody) return ScriptProblem::RecordTooLong;
  return ScriptProblem::Ok;
}

void append_record(std::string& out, std::string_view name, std::string_view script) {
  out.reserve(out.size() + kNameHead.size() + name.size() + kBodyHead.size() + script.size() +
              kRecordEnd.size());
  out += kNameHead;
  out += name;
  out += kBodyHead;
  out += *rt::reverse(std::string(script));
  out += kRecordEnd;
}

namespace {

// The name and body of a record cut off at its "####" (not included).
void split_record(std::string_view rec, Record* record) {
  // The name starts after the 6-byte head, whatever the head holds; a
  // "^^^^" inside the head still ends the name (which is then empty).
  std::size_t head = rec.find(kBodyHead);
  if (head == std::string_view::npos) {
    *record = Record{{}, {}, false};
    return;
  }
  std::size_t name_from = kNameHead.size();
  record->name = head > name_from ? rec.substr(name_from, head - name_from) : std::string_view();
  record->body = rec.substr(head + kBodyHead.size());
  record->has_body_head = true;
}

}  // namespace

Step Reader::Next(Record* record) {
  std::string_view rest = text_.substr(at_);
  if (rest == kEndMarker) return Step::End;
  std::size_t end = rest.find(kRecordEnd);
  if (end == std::string_view::npos) return Step::Incomplete;
  at_ += end + kRecordEnd.size();
  split_record(rest.substr(0, end), record);
  return Step::Record;
}

void PieceReader::Append(std::string_view piece) {
  if (at_ > 0) {
    buf_.erase(0, at_);
    searched_ -= at_;
    at_ = 0;
  }
  buf_ += piece;
}

// The first "####" of the bytes given so far is the first of the whole
// pack as soon as it is there: an earlier one would have ended before it.
// So a record is cut as soon as its end has arrived, and only the end
// marker waits for the last piece.
Step PieceReader::Next(Record* record) {
  std::string_view rest = std::string_view(buf_).substr(at_);
  if (finished_ && rest == kEndMarker) return Step::End;
  std::size_t end = std::string_view(buf_).find(kRecordEnd, searched_);
  if (end == std::string_view::npos) {
    // A "####" cut by the piece boundary starts in the last three bytes.
    const std::size_t keep = kRecordEnd.size() - 1;
    searched_ = buf_.size() > at_ + keep ? buf_.size() - keep : at_;
    return finished_ ? Step::Incomplete : Step::More;
  }
  split_record(rest.substr(0, end - at_), record);
  at_ = end + kRecordEnd.size();
  searched_ = at_;
  return Step::Record;
}

}  // namespace upgrade::pack
