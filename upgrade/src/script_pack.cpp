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
  out += rt::reversed(script);
  out += kRecordEnd;
}

Reader::Step Reader::Next(Record* record) {
  std::string_view rest = text_.substr(at_);
  if (rest == kEndMarker) return Step::End;
  std::size_t end = rest.find(kRecordEnd);
  if (end == std::string_view::npos) return Step::Incomplete;
  std::string_view rec = rest.substr(0, end);
  at_ += end + kRecordEnd.size();

  // The name starts after the 6-byte head, whatever the head holds; a
  // "^^^^" inside the head still ends the name (which is then empty).
  std::size_t head = rec.find(kBodyHead);
  if (head == std::string_view::npos) {
    *record = Record{{}, {}, false};
    return Step::Record;
  }
  std::size_t name_from = kNameHead.size();
  record->name = head > name_from ? rec.substr(name_from, head - name_from) : std::string_view();
  record->body = rec.substr(head + kBodyHead.size());
  record->has_body_head = true;
  return Step::Record;
}

}  // namespace upgrade::pack
