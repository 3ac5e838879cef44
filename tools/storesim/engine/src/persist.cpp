// The state file and the canonical dump.
//
// Both are text: one record a line, fields separated by tabs, with
// backslash escapes for backslash, tab, CR and LF, and \N for NULL. The
// state file starts with "storesim-state<TAB>1".
#include <algorithm>
#include <fstream>
#include <sstream>

#include "core.h"
#include "durable_file.h"
#include "parser.h"
#include "storesim/memory_engine.h"

namespace storesim {

namespace {

constexpr const char* kMagic = "storesim-state";
constexpr int kVersion = 1;

std::string Esc(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string EscValue(const sql::Value& v) { return v.IsNull() ? "\\N" : Esc(v.text); }

std::optional<std::string> Unesc(const std::string& s) {
  if (s == "\\N") return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return out;
}

std::string Join(const std::vector<std::string>& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out += '\t';
    out += fields[i];
  }
  return out;
}

std::string Flag(bool b) { return b ? "1" : "0"; }

const char* kModuleKinds[] = {"PROCEDURE", "TRIGGER", "VIEW", "FUNCTION"};

// Lines for one database; `canonical` leaves out ids and counters and sorts rows.
void WriteDatabase(const sql::Database& db, bool canonical, std::ostream& out) {
  out << Join(canonical ? std::vector<std::string>{"database", Esc(db.name)}
                        : std::vector<std::string>{"database", Esc(db.name), std::to_string(db.next_object_id)})
      << '\n';
  for (const auto& [_, t] : db.types) {
    out << Join({"type", Esc(t.name), t.base.ToString(), Flag(t.nullable)}) << '\n';
  }
  for (const auto& [_, t] : db.tables) {
    std::vector<std::string> head{"table", Esc(t.name)};
    if (!canonical) {
      head.push_back(std::to_string(t.object_id));
      head.push_back(t.identity_last ? std::to_string(*t.identity_last) : "\\N");
    }
    out << Join(head) << '\n';
    for (const auto& c : t.columns) {
      std::vector<std::string> f{"column", Esc(c.name), c.type.ToString(), Esc(c.user_type), Flag(c.nullable),
                                 Flag(c.identity), std::to_string(c.seed), std::to_string(c.increment),
                                 Esc(c.collation), Esc(c.default_name), Esc(c.default_text)};
      if (!canonical) f.push_back(std::to_string(c.default_id));
      out << Join(f) << '\n';
    }
    std::vector<const sql::Index*> indexes;
    for (const auto& ix : t.indexes) indexes.push_back(&ix);
    if (canonical) {
      std::sort(indexes.begin(), indexes.end(),
                [](const sql::Index* a, const sql::Index* b) { return sql::Lower(a->name) < sql::Lower(b->name); });
    }
    for (const sql::Index* ix : indexes) {
      std::vector<std::string> f{"index", Esc(ix->name), Flag(ix->unique), Flag(ix->clustered), Flag(ix->primary_key),
                                 Flag(ix->constraint)};
      if (!canonical) f.push_back(std::to_string(ix->object_id));
      for (const auto& c : ix->columns) f.push_back(Esc(c));
      out << Join(f) << '\n';
    }
    std::vector<std::string> rows;
    for (const auto& [_, r] : t.rows) {
      std::vector<std::string> f{"row"};
      for (const auto& v : r) f.push_back(EscValue(v));
      rows.push_back(Join(f));
    }
    if (canonical) std::sort(rows.begin(), rows.end());
    for (const auto& r : rows) out << r << '\n';
  }
  for (const auto& [_, m] : db.modules) {
    std::vector<std::string> f{"module", kModuleKinds[static_cast<int>(m.what)], Esc(m.name), Esc(m.table),
                               Flag(m.encrypted)};
    if (!canonical) f.push_back(std::to_string(m.object_id));
    f.push_back(Esc(m.text));
    out << Join(f) << '\n';
  }
}

std::optional<sql::SqlType> ParseTypeText(const std::string& text) {
  auto open = text.find('(');
  std::string name = text.substr(0, open);
  std::vector<int> args;
  if (open != std::string::npos) {
    std::string inner = text.substr(open + 1, text.size() - open - 2);
    std::stringstream ss(inner);
    std::string part;
    while (std::getline(ss, part, ',')) args.push_back(part == "max" ? -1 : std::atoi(part.c_str()));
  }
  bool bad = false;
  auto t = sql::BuiltinType(name, args, &bad);
  if (!t || bad) return std::nullopt;
  return t;
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

std::string MemoryEngine::Dump() const {
  std::lock_guard<std::mutex> lock(core_->mu);
  std::ostringstream out;
  for (const auto& [_, db] : core_->state.databases) WriteDatabase(db, true, out);
  return out.str();
}

std::string MemoryEngine::Dump(const std::string& database) const {
  std::lock_guard<std::mutex> lock(core_->mu);
  std::ostringstream out;
  if (const sql::Database* db = core_->state.FindDatabase(database)) WriteDatabase(*db, true, out);
  return out.str();
}

std::string MemoryEngine::CommittedStateText() const {
  std::ostringstream out;
  out << kMagic << '\t' << kVersion << '\n';
  {
    std::lock_guard<std::mutex> lock(core_->mu);
    sql::State committed = core_->CommittedState();
    for (const auto& [_, db] : committed.databases) WriteDatabase(db, false, out);
  }
  out << "end\n";
  return out.str();
}

bool MemoryEngine::Save(const std::string& path, std::string* error) const {
  return WriteStateFile(path, CommittedStateText(), error);
}

bool MemoryEngine::WriteStateFile(const std::string& path, const std::string& text, std::string* error) {
  return detail::ReplaceFileDurably(path, text, error);
}

bool MemoryEngine::Load(const std::string& path, std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return Fail(error, "cannot read " + path);
  std::string line;
  if (!std::getline(f, line) || line != std::string(kMagic) + "\t" + std::to_string(kVersion)) {
    return Fail(error, path + " is not a state file of this version");
  }
  sql::State st;
  sql::Database* db = nullptr;
  sql::Table* table = nullptr;
  bool ended = false;
  int lineno = 1;
  auto bad = [&](const std::string& why) { return Fail(error, path + ":" + std::to_string(lineno) + ": " + why); };
  try {
    while (std::getline(f, line)) {
      ++lineno;
      std::vector<std::string> fl = Split(line);
      const std::string& kind = fl[0];
      auto field = [&](std::size_t i) -> std::string {
        if (i >= fl.size()) throw std::runtime_error("missing field");
        return Unesc(fl[i]).value_or(std::string());
      };
      if (kind == "end") {
        ended = true;
        break;
      }
      if (kind == "database") {
        sql::Database d;
        d.name = field(1);
        d.next_object_id = std::stoll(field(2));
        db = &st.databases.emplace(sql::Lower(d.name), std::move(d)).first->second;
        table = nullptr;
        continue;
      }
      if (!db) return bad("record outside a database");
      if (kind == "type") {
        sql::UserType u;
        u.name = field(1);
        auto t = ParseTypeText(field(2));
        if (!t) return bad("unknown type " + field(2));
        u.base = *t;
        u.nullable = field(3) == "1";
        db->types[sql::Lower(u.name)] = u;
      } else if (kind == "table") {
        sql::Table t;
        t.name = field(1);
        t.object_id = std::stoll(field(2));
        if (fl.size() > 3 && fl[3] != "\\N") t.identity_last = std::stoll(field(3));
        table = &db->tables.emplace(sql::Lower(t.name), std::move(t)).first->second;
      } else if (kind == "column") {
        if (!table) return bad("column outside a table");
        sql::Column c;
        c.name = field(1);
        auto t = ParseTypeText(field(2));
        if (!t) return bad("unknown type " + field(2));
        c.type = *t;
        c.user_type = field(3);
        c.nullable = field(4) == "1";
        c.identity = field(5) == "1";
        c.seed = std::stoll(field(6));
        c.increment = std::stoll(field(7));
        c.collation = field(8);
        c.default_name = field(9);
        c.default_text = field(10);
        c.default_id = std::stoll(field(11));
        if (!c.default_name.empty()) {
          c.default_expr = sql::ParseExpression(c.default_text);
          c.default_expr->raw = c.default_text;
        }
        table->columns.push_back(std::move(c));
      } else if (kind == "index") {
        if (!table) return bad("index outside a table");
        sql::Index ix;
        ix.name = field(1);
        ix.unique = field(2) == "1";
        ix.clustered = field(3) == "1";
        ix.primary_key = field(4) == "1";
        ix.constraint = field(5) == "1";
        ix.object_id = std::stoll(field(6));
        for (std::size_t i = 7; i < fl.size(); ++i) ix.columns.push_back(field(i));
        table->indexes.push_back(std::move(ix));
      } else if (kind == "row") {
        if (!table) return bad("row outside a table");
        if (fl.size() != table->columns.size() + 1) return bad("row with a wrong number of values");
        sql::RowValues r;
        for (std::size_t i = 1; i < fl.size(); ++i) {
          auto v = Unesc(fl[i]);
          if (v) {
            r.push_back(sql::Value{sql::KindOf(table->columns[i - 1].type), *v});
          } else {
            r.push_back(sql::Value());
          }
        }
        table->rows.emplace(table->next_row++, std::move(r));
      } else if (kind == "module") {
        sql::Module m;
        std::string k = field(1);
        auto it = std::find(std::begin(kModuleKinds), std::end(kModuleKinds), k);
        if (it == std::end(kModuleKinds)) return bad("unknown module kind " + k);
        m.what = static_cast<sql::Module::What>(it - std::begin(kModuleKinds));
        m.name = field(2);
        m.table = field(3);
        m.encrypted = field(4) == "1";
        m.object_id = std::stoll(field(5));
        m.text = field(6);
        db->modules[sql::Lower(m.name)] = std::move(m);
        table = nullptr;
      } else {
        return bad("unknown record " + kind);
      }
    }
  } catch (const sql::SqlError&) {
    return bad("a default definition does not parse");
  } catch (const std::exception& e) {
    return bad(e.what());
  }
  if (!ended) return Fail(error, path + " is cut short");
  if (!st.FindDatabase("master")) {
    sql::Database master;
    master.name = "master";
    st.databases.emplace("master", std::move(master));
  }
  std::lock_guard<std::mutex> lock(core_->mu);
  core_->state = std::move(st);
  return true;
}

}  // namespace storesim
