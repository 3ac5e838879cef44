#include "system_views.h"

#include <cstring>
#include <utility>

namespace storesim::sql {

namespace {

const SqlType kName{Base::NVarChar, 128}, kInt{Base::Int}, kCode{Base::Char, 2}, kSmall{Base::SmallInt},
    kBit{Base::Bit};

Value S(const std::string& s) { return Value::Str(s); }
Value I(std::int64_t v) { return Value::Int(v); }

// Every object of a database: name, id, two-letter type, parent id.
struct Object {
  std::string name;
  std::int64_t id;
  std::string type;
  std::int64_t parent;
  std::string desc;
};

std::vector<Object> Objects(const Database& db) {
  std::vector<Object> objs;
  for (const auto& [_, t] : db.tables) {
    objs.push_back({t.name, t.object_id, "U ", 0, "USER_TABLE"});
    for (const auto& ix : t.indexes) {
      if (ix.constraint) {
        objs.push_back({ix.name, ix.object_id, ix.primary_key ? "PK" : "UQ", t.object_id,
                        ix.primary_key ? "PRIMARY_KEY_CONSTRAINT" : "UNIQUE_CONSTRAINT"});
      }
    }
    for (const auto& c : t.columns) {
      if (!c.default_name.empty()) objs.push_back({c.default_name, c.default_id, "D ", t.object_id, "DEFAULT_CONSTRAINT"});
    }
  }
  for (const auto& [_, m] : db.modules) {
    std::int64_t parent = 0;
    if (const Table* t = db.FindTable(m.table)) parent = t->object_id;
    static const char* codes[] = {"P ", "TR", "V ", "FN"};
    static const char* descs[] = {"SQL_STORED_PROCEDURE", "SQL_TRIGGER", "VIEW", "SQL_SCALAR_FUNCTION"};
    objs.push_back({m.name, m.object_id, codes[static_cast<int>(m.what)], parent, descs[static_cast<int>(m.what)]});
  }
  return objs;
}

using Rows = std::vector<RowValues>;

Rows SysObjects(const Database& db, const State&) {
  Rows rows;
  for (const auto& o : Objects(db)) rows.push_back({S(o.name), I(o.id), S(o.type), S(o.type), I(1), I(o.parent)});
  return rows;
}

// sys.objects and its views of one type ("" for all).
Rows ObjectsOfType(const Database& db, const std::string& type) {
  Rows rows;
  for (const auto& o : Objects(db)) {
    if (!type.empty() && o.type != type) continue;
    rows.push_back({S(o.name), I(o.id), S(o.type), S(o.desc), I(o.parent), I(1), I(o.parent)});
  }
  return rows;
}

Rows Columns(const Database& db, bool old_style) {
  Rows rows;
  for (const auto& [_, t] : db.tables) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      const Column& c = t.columns[i];
      int len = c.type.IsString() ? (c.type.length < 0 ? -1 : c.type.length) : 8;
      RowValues row{S(c.name), I(t.object_id), I(static_cast<std::int64_t>(i + 1)), I(len), I(c.nullable)};
      if (!old_style) row.push_back(I(c.identity));
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

Rows Indexes(const Database& db, bool old_style) {
  Rows rows;
  for (const auto& [_, t] : db.tables) {
    std::int64_t next = 2;
    for (const auto& ix : t.indexes) {
      std::int64_t id = ix.clustered ? 1 : next++;
      RowValues row{S(ix.name), I(t.object_id), I(id)};
      if (!old_style) {
        row.push_back(I(ix.primary_key));
        row.push_back(I(ix.unique));
      }
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

Rows Databases(const Database&, const State& st) {
  Rows rows;
  std::int64_t id = 1;
  for (const auto& [_, d] : st.databases) rows.push_back({S(d.name), I(id++)});
  return rows;
}

Rows DefaultConstraints(const Database& db, const State&) {
  Rows rows;
  for (const auto& [_, t] : db.tables) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      const Column& c = t.columns[i];
      if (c.default_name.empty()) continue;
      rows.push_back({S(c.default_name), I(c.default_id), I(t.object_id), I(static_cast<std::int64_t>(i + 1)),
                      S(c.default_text)});
    }
  }
  return rows;
}

Rows SqlModules(const Database& db, const State&) {
  Rows rows;
  for (const auto& [_, m] : db.modules) rows.push_back({I(m.object_id), m.encrypted ? Value() : S(m.text)});
  return rows;
}

Rows SchemaTables(const Database& db, const State&) {
  Rows rows;
  for (const auto& [_, t] : db.tables) rows.push_back({S(db.name), S("dbo"), S(t.name), S("BASE TABLE")});
  return rows;
}

Rows SchemaColumns(const Database& db, const State&) {
  Rows rows;
  for (const auto& [_, t] : db.tables) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      const Column& c = t.columns[i];
      std::string dt = c.type.ToString();
      dt = dt.substr(0, dt.find('('));
      rows.push_back({S(db.name), S("dbo"), S(t.name), S(c.name), I(static_cast<std::int64_t>(i + 1)),
                      S(c.nullable ? "YES" : "NO"), S(dt), c.type.IsString() ? I(c.type.length) : Value()});
    }
  }
  return rows;
}

}  // namespace

struct SystemView {
  const char* name;
  std::vector<std::pair<const char*, SqlType>> columns;
  Rows (*rows)(const Database& db, const State& st);
};

namespace {

const std::vector<std::pair<const char*, SqlType>> kObjectColumns = {
    {"name", kName}, {"object_id", kInt}, {"type", kCode}, {"type_desc", SqlType{Base::NVarChar, 60}},
    {"parent_object_id", kInt}, {"schema_id", kInt}, {"parent_id", kInt}};

const SystemView kViews[] = {
    {"sysobjects",
     {{"name", kName}, {"id", kInt}, {"xtype", kCode}, {"type", kCode}, {"uid", kSmall}, {"parent_obj", kInt}},
     SysObjects},
    {"sys.objects", kObjectColumns, [](const Database& db, const State&) { return ObjectsOfType(db, ""); }},
    {"sys.tables", kObjectColumns, [](const Database& db, const State&) { return ObjectsOfType(db, "U "); }},
    {"sys.procedures", kObjectColumns, [](const Database& db, const State&) { return ObjectsOfType(db, "P "); }},
    {"sys.triggers", kObjectColumns, [](const Database& db, const State&) { return ObjectsOfType(db, "TR"); }},
    {"sys.views", kObjectColumns, [](const Database& db, const State&) { return ObjectsOfType(db, "V "); }},
    {"syscolumns",
     {{"name", kName}, {"id", kInt}, {"colid", kSmall}, {"length", kSmall}, {"isnullable", kInt}},
     [](const Database& db, const State&) { return Columns(db, true); }},
    {"sys.columns",
     {{"name", kName}, {"object_id", kInt}, {"column_id", kInt}, {"max_length", kSmall}, {"is_nullable", kBit},
      {"is_identity", kBit}},
     [](const Database& db, const State&) { return Columns(db, false); }},
    {"sysindexes", {{"name", kName}, {"id", kInt}, {"indid", kSmall}},
     [](const Database& db, const State&) { return Indexes(db, true); }},
    {"sys.indexes",
     {{"name", kName}, {"object_id", kInt}, {"index_id", kInt}, {"is_primary_key", kBit}, {"is_unique", kBit}},
     [](const Database& db, const State&) { return Indexes(db, false); }},
    {"sysdatabases", {{"name", kName}, {"dbid", kInt}}, Databases},
    {"sys.databases", {{"name", kName}, {"database_id", kInt}}, Databases},
    {"sys.default_constraints",
     {{"name", kName}, {"object_id", kInt}, {"parent_object_id", kInt}, {"parent_column_id", kInt},
      {"definition", SqlType{Base::NVarChar, 4000}}},
     DefaultConstraints},
    {"sys.sql_modules", {{"object_id", kInt}, {"definition", SqlType{Base::NVarChar, -1}}}, SqlModules},
    {"information_schema.tables",
     {{"TABLE_CATALOG", kName}, {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName},
      {"TABLE_TYPE", SqlType{Base::VarChar, 10}}},
     SchemaTables},
    {"information_schema.columns",
     {{"TABLE_CATALOG", kName}, {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName}, {"COLUMN_NAME", kName},
      {"ORDINAL_POSITION", kInt}, {"IS_NULLABLE", SqlType{Base::VarChar, 3}}, {"DATA_TYPE", kName},
      {"CHARACTER_MAXIMUM_LENGTH", kInt}},
     SchemaColumns},
};

}  // namespace

const SystemView* FindSystemView(const ObjectName& n) {
  std::string name = Lower(n.Name());
  std::string schema = Lower(n.Schema());
  // sys.objects and information_schema.tables by their schema; the old
  // sysobjects and the like under any schema.
  const bool by_schema = schema == "sys" || schema == "information_schema";
  const std::string key = by_schema ? schema + "." + name : name;
  for (const auto& v : kViews) {
    if (key == v.name && by_schema == (std::strchr(v.name, '.') != nullptr)) return &v;
  }
  return nullptr;
}

void SystemViewColumns(const SystemView& view, std::vector<std::string>* names, std::vector<SqlType>* types) {
  for (const auto& [name, type] : view.columns) {
    names->push_back(name);
    types->push_back(type);
  }
}

std::vector<RowValues> SystemViewRows(const SystemView& view, const Database& db, const State& st) {
  return view.rows(db, st);
}

}  // namespace storesim::sql
