#include "scripted_engine.h"

namespace storesim::testing {

namespace {

class ScriptedSession : public Session {
 public:
  ScriptedSession(ScriptedEngine& e, std::string db) : e_(e), db_(std::move(db)) {}

  BatchResult ExecuteBatch(const std::string& sql) override {
    if (e_.on_batch) return e_.on_batch(sql);
    BatchResult r;
    r.statements.push_back(Done(0));
    return r;
  }
  std::optional<Message> Begin() override {
    ++e_.begins;
    in_tx_ = true;
    return std::nullopt;
  }
  std::optional<Message> Commit(bool begin_new) override {
    ++e_.commits;
    in_tx_ = begin_new;
    return std::nullopt;
  }
  std::optional<Message> Rollback(bool begin_new) override {
    ++e_.rollbacks;
    in_tx_ = begin_new;
    return std::nullopt;
  }
  bool InTransaction() const override { return in_tx_; }
  std::string CurrentDatabase() const override { return db_; }
  void Close() override {
    if (in_tx_) ++e_.closes_in_transaction;
    in_tx_ = false;
  }

 private:
  ScriptedEngine& e_;
  std::string db_;
  bool in_tx_ = false;
};

}  // namespace

std::unique_ptr<Session> ScriptedEngine::Login(const LoginRequest& login, std::vector<Message>* refusal) {
  last_password = login.password;
  std::string db = login.database.empty() ? default_database : login.database;
  if (login.user != user || login.password != password) {
    refusal->push_back({18456, 1, 14, "Login failed for user '" + login.user + "'.", "", 1});
    return nullptr;
  }
  if (!databases.count(db)) {
    refusal->push_back({4060, 1, 11, "Cannot open database \"" + db + "\" requested by the login. The login failed.", "", 1});
    refusal->push_back({18456, 1, 14, "Login failed for user '" + login.user + "'.", "", 1});
    return nullptr;
  }
  return std::make_unique<ScriptedSession>(*this, db);
}

StatementResult Rows(std::vector<std::string> columns, std::vector<std::vector<std::optional<std::string>>> rows) {
  StatementResult st;
  ResultSet rs;
  for (auto& c : columns) rs.columns.push_back({c, ColumnType::VarChar, 8000});
  rs.rows = std::move(rows);
  st.row_count = static_cast<std::int64_t>(rs.rows.size());
  st.result = std::move(rs);
  return st;
}

StatementResult Error(std::int32_t number, std::string text, std::uint8_t cls) {
  StatementResult st;
  st.messages.push_back({number, 1, cls, std::move(text), "", 1});
  st.error = true;
  return st;
}

StatementResult Done(std::int64_t count) {
  StatementResult st;
  st.row_count = count;
  return st;
}

}  // namespace storesim::testing
