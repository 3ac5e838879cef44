#include "support/golden.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "rt/text.h"

namespace testing_support {

namespace {

const std::string kSeparator = "--@ ";

GoldenEntry parse_separator(const std::string& line, const std::string& where) {
  std::istringstream words(line.substr(kSeparator.size()));
  GoldenEntry e;
  if (!(words >> e.op) || (e.op != "select" && e.op != "exec" && e.op != "commit" && e.op != "update-script"))
    throw std::runtime_error(where + ": unknown operation in \"" + line + "\"");
  std::string word;
  while (words >> word) {
    if (word == "item" && (words >> e.item) && e.item > 0) continue;
    if (word == "layout" && !e.layout) {
      e.layout = true;
      continue;
    }
    throw std::runtime_error(where + ": bad separator line \"" + line + "\"");
  }
  return e;
}

}  // namespace

std::vector<GoldenEntry> read_golden(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string data = bytes.str();

  std::vector<GoldenEntry> entries;
  std::string text;
  bool in_text = false;
  int line_number = 0;
  std::size_t at = 0;
  while (at < data.size()) {
    std::size_t end = data.find('\n', at);
    if (end == std::string::npos) throw std::runtime_error(path + ": the last line has no line end");
    const std::string line = data.substr(at, end - at);
    at = end + 1;
    ++line_number;
    if (line.rfind(kSeparator, 0) != 0) {
      if (in_text) text += '\n';
      text += line;
      in_text = true;
      continue;
    }
    GoldenEntry e = parse_separator(line, path + ":" + std::to_string(line_number));
    const bool textless = e.op == "commit" || e.op == "update-script";
    if (textless == in_text)
      throw std::runtime_error(path + ":" + std::to_string(line_number) + ": " + e.op +
                               (textless ? " takes no text" : " needs a text"));
    e.text = std::move(text);
    text.clear();
    in_text = false;
    entries.push_back(std::move(e));
  }
  if (in_text) throw std::runtime_error(path + ": text after the last separator line");
  return entries;
}

const std::vector<GoldenEntry>& upgrade_conversation() {
  static const std::vector<GoldenEntry> entries =
      read_golden(std::string(TESTS_SOURCE_DIR) + "/upgrade/golden/conversation-00000000.sql");
  return entries;
}

std::vector<std::string> statements_through_stage(const std::string& stage) {
  const std::string marker = "sys_var_value ='" + stage + "' where sys_var_id ='UPGRADE_DATE'";
  std::vector<std::string> out;
  for (const GoldenEntry& e : upgrade_conversation()) {
    if (e.op != "exec" || e.item == 0) continue;
    out.push_back(rt::utf8(e.text));
    if (e.text.find(marker) != std::string::npos) return out;
  }
  return {};
}

std::string without_layout(const std::string& sql) {
  auto is_space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  auto is_punct = [](char c) { return c == '(' || c == ')' || c == '[' || c == ']' || c == ','; };
  std::string collapsed;
  for (char c : sql) {
    if (is_space(c)) {
      if (!collapsed.empty() && collapsed.back() != ' ') collapsed.push_back(' ');
    } else {
      collapsed.push_back(c);
    }
  }
  std::string out;
  for (std::size_t i = 0; i < collapsed.size(); ++i) {
    char c = collapsed[i];
    if (c == ' ') {
      bool after_punct = !out.empty() && is_punct(out.back());
      bool before_punct = i + 1 < collapsed.size() && is_punct(collapsed[i + 1]);
      bool at_end = i + 1 == collapsed.size();
      if (after_punct || before_punct || at_end) continue;
    }
    out.push_back(c);
  }
  return out;
}

bool matches(const GoldenEntry& entry, const std::string& sent) {
  return entry.layout ? without_layout(sent) == without_layout(entry.text) : sent == entry.text;
}

}  // namespace testing_support
