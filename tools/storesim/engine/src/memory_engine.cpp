#include "storesim/memory_engine.h"

#include <algorithm>

#include "core.h"
#include "executor.h"

namespace storesim {

namespace detail {

std::optional<Message> Core::MatchFault(const std::string& text) {
  for (auto& f : faults) {
    if (f.remaining == 0) continue;
    bool hit = f.re ? std::regex_search(text, *f.re) : text.find(f.fault.pattern) != std::string::npos;
    if (!hit) continue;
    if (f.remaining > 0) --f.remaining;
    return f.fault.error;
  }
  return std::nullopt;
}

sql::State Core::CommittedState() const {
  sql::State copy = state;
  sql::UndoOpenWork(copy, std::vector<const sql::UndoLog*>(session_logs.begin(), session_logs.end()));
  return copy;
}

}  // namespace detail

namespace {

using detail::Core;

class SessionImpl : public Session {
 public:
  // Made with core->mu held.
  SessionImpl(std::shared_ptr<Core> core, std::string database) : core_(std::move(core)) {
    ss_.database = std::move(database);
    core_->session_logs.insert(&ss_.log);
  }
  ~SessionImpl() override {
    Close();
    std::lock_guard<std::mutex> lock(core_->mu);
    core_->session_logs.erase(&ss_.log);
  }

  BatchResult ExecuteBatch(const std::string& sql) override {
    std::lock_guard<std::mutex> lock(core_->mu);
    sql::Executor ex(*core_, ss_);
    return ex.RunBatch(sql);
  }

  std::optional<Message> Begin() override {
    std::lock_guard<std::mutex> lock(core_->mu);
    ++ss_.trancount;
    return std::nullopt;
  }

  std::optional<Message> Commit(bool begin_new) override {
    std::lock_guard<std::mutex> lock(core_->mu);
    ss_.log.Clear();
    ss_.trancount = begin_new ? 1 : 0;
    return std::nullopt;
  }

  std::optional<Message> Rollback(bool begin_new) override {
    std::lock_guard<std::mutex> lock(core_->mu);
    ss_.log.RollbackTo(core_->state, 0);
    ss_.trancount = begin_new ? 1 : 0;
    return std::nullopt;
  }

  bool InTransaction() const override {
    std::lock_guard<std::mutex> lock(core_->mu);
    return ss_.trancount > 0;
  }

  std::string CurrentDatabase() const override {
    std::lock_guard<std::mutex> lock(core_->mu);
    return ss_.database;
  }

  void Close() override {
    std::lock_guard<std::mutex> lock(core_->mu);
    ss_.log.RollbackTo(core_->state, 0);
    ss_.trancount = 0;
  }

 private:
  std::shared_ptr<Core> core_;
  sql::SessionState ss_;
};

ColumnInfo InfoOf(const sql::Column& c) {
  ColumnInfo i;
  i.name = c.name;
  i.type = c.type.ToString();
  i.user_type = c.user_type;
  i.nullable = c.nullable;
  i.identity = c.identity;
  i.collation = c.collation;
  i.default_name = c.default_name;
  i.default_text = c.default_text;
  return i;
}

}  // namespace

const IndexInfo* TableInfo::PrimaryKey() const {
  for (const auto& ix : indexes) {
    if (ix.primary_key) return &ix;
  }
  return nullptr;
}

const ColumnInfo* TableInfo::Column(const std::string& n) const {
  for (const auto& c : columns) {
    if (sql::IEquals(c.name, n)) return &c;
  }
  return nullptr;
}

Message MakeError(std::int32_t number, std::uint8_t cls, std::string text) {
  return sql::MakeMessage(number, cls, std::move(text));
}

std::optional<Message> FirstError(const BatchResult& result) {
  for (const auto& s : result.statements) {
    for (const auto& m : s.messages) {
      if (m.cls > 10) return m;
    }
  }
  return std::nullopt;
}

MemoryEngine::MemoryEngine(EngineOptions options) : core_(std::make_shared<Core>()) {
  core_->options = std::move(options);
  sql::Database master;
  master.name = "master";
  core_->state.databases.emplace("master", std::move(master));
}

MemoryEngine::~MemoryEngine() = default;

const EngineOptions& MemoryEngine::options() const { return core_->options; }

std::unique_ptr<Session> MemoryEngine::Login(const LoginRequest& login, std::vector<Message>* refusal) {
  std::lock_guard<std::mutex> lock(core_->mu);
  auto failed = sql::Error(18456, {login.user});
  if (!sql::IEquals(login.user, core_->options.login) || login.password != core_->options.password) {
    if (refusal) *refusal = {failed};
    return nullptr;
  }
  std::string db = login.database.empty() ? core_->options.default_database : login.database;
  const sql::Database* found = core_->state.FindDatabase(db);
  if (!found) {
    if (refusal) {
      *refusal = {sql::Error(4060, {db}),
                  failed};
    }
    return nullptr;
  }
  return std::make_unique<SessionImpl>(core_, found->name);
}

bool MemoryEngine::CreateDatabase(const std::string& name) {
  std::lock_guard<std::mutex> lock(core_->mu);
  if (core_->state.FindDatabase(name)) return false;
  sql::Database db;
  db.name = name;
  core_->state.databases.emplace(sql::Lower(name), std::move(db));
  return true;
}

std::vector<std::string> MemoryEngine::Databases() const {
  std::lock_guard<std::mutex> lock(core_->mu);
  std::vector<std::string> out;
  for (const auto& [_, db] : core_->state.databases) out.push_back(db.name);
  return out;
}

std::unique_ptr<Session> MemoryEngine::OpenSession(const std::string& database) {
  std::lock_guard<std::mutex> lock(core_->mu);
  const sql::Database* db = core_->state.FindDatabase(database);
  if (!db) return nullptr;
  return std::make_unique<SessionImpl>(core_, db->name);
}

BatchResult MemoryEngine::Execute(const std::string& database, const std::string& sql) {
  auto s = OpenSession(database);
  if (!s) {
    BatchResult r;
    StatementResult st;
    st.error = true;
    st.messages.push_back(sql::Error(911, {database}));
    r.statements.push_back(std::move(st));
    return r;
  }
  BatchResult r = s->ExecuteBatch(sql);
  s->Close();
  return r;
}

std::optional<TableInfo> MemoryEngine::Table(const std::string& database, const std::string& table) const {
  std::lock_guard<std::mutex> lock(core_->mu);
  const sql::Database* db = core_->state.FindDatabase(database);
  const sql::Table* t = db ? db->FindTable(table) : nullptr;
  if (!t) return std::nullopt;
  TableInfo info;
  info.name = t->name;
  for (const auto& c : t->columns) info.columns.push_back(InfoOf(c));
  for (const auto& ix : t->indexes) {
    info.indexes.push_back({ix.name, ix.columns, ix.unique, ix.clustered, ix.primary_key});
  }
  return info;
}

std::optional<std::vector<Row>> MemoryEngine::Rows(const std::string& database, const std::string& table) const {
  std::lock_guard<std::mutex> lock(core_->mu);
  const sql::Database* db = core_->state.FindDatabase(database);
  const sql::Table* t = db ? db->FindTable(table) : nullptr;
  if (!t) return std::nullopt;
  std::vector<Row> out;
  for (std::uint64_t id : t->OrderedRowIds()) {
    Row r;
    for (const auto& v : t->rows.at(id)) {
      if (v.IsNull()) {
        r.emplace_back(std::nullopt);
      } else {
        r.emplace_back(v.text);
      }
    }
    out.push_back(std::move(r));
  }
  return out;
}

namespace {

ModuleInfo ModuleOf(const sql::Module& m) {
  ModuleInfo i;
  i.name = m.name;
  i.kind = static_cast<ModuleInfo::Kind>(static_cast<int>(m.what));
  i.table = m.table;
  i.text = m.text;
  i.encrypted = m.encrypted;
  return i;
}

}  // namespace

std::vector<ModuleInfo> MemoryEngine::Modules(const std::string& database) const {
  std::lock_guard<std::mutex> lock(core_->mu);
  std::vector<ModuleInfo> out;
  if (const sql::Database* db = core_->state.FindDatabase(database)) {
    for (const auto& [_, m] : db->modules) out.push_back(ModuleOf(m));
  }
  return out;
}

std::optional<ModuleInfo> MemoryEngine::Module(const std::string& database, const std::string& name) const {
  std::lock_guard<std::mutex> lock(core_->mu);
  const sql::Database* db = core_->state.FindDatabase(database);
  if (!db) return std::nullopt;
  auto it = db->modules.find(sql::Lower(name));
  if (it == db->modules.end()) return std::nullopt;
  return ModuleOf(it->second);
}

void MemoryEngine::AddFault(Fault fault) {
  std::lock_guard<std::mutex> lock(core_->mu);
  detail::FaultState f;
  if (fault.regex) f.re = std::regex(fault.pattern, std::regex::ECMAScript | std::regex::icase);
  f.remaining = fault.times < 0 ? -1 : fault.times;
  f.fault = std::move(fault);
  core_->faults.push_back(std::move(f));
}

void MemoryEngine::ClearFaults() {
  std::lock_guard<std::mutex> lock(core_->mu);
  core_->faults.clear();
}

std::vector<StatementRecord> MemoryEngine::History() const {
  std::lock_guard<std::mutex> lock(core_->mu);
  return core_->history;
}

void MemoryEngine::ClearHistory() {
  std::lock_guard<std::mutex> lock(core_->mu);
  core_->history.clear();
}

}  // namespace storesim
