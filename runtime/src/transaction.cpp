#include "rt/transaction.h"

#include "rt/text.h"

namespace rt {

namespace {
transaction::DriverFactory& factory() {
  static transaction::DriverFactory f;
  return f;
}
DbStatus not_connected() { return DbStatus::error(-1, "Transaction not connected"); }
}  // namespace

transaction::transaction() = default;
transaction::~transaction() = default;

void transaction::set_driver_factory(DriverFactory f) { factory() = std::move(f); }
transaction::DriverFactory transaction::driver_factory() { return factory(); }

void transaction::set_status(const DbStatus& s) {
  SQLCode = s.code;
  SQLDBCode = s.dbcode;
  SQLErrText = s.errtext;
  SQLNRows = s.nrows;
}

void transaction::SetAutoCommit(const Bool& on) {
  if (on.is_null()) return;
  if (driver_ && autocommit_.value_or(false) != *on) {
    DbStatus s = driver_->SetAutoCommit(*on);
    set_status(s);
    if (s.code != 0) return;
  }
  autocommit_ = on;
}

void transaction::connect() {
  if (driver_) {
    set_status(DbStatus::error(-1, "Transaction already connected"));
    return;
  }
  DbSettings st;
  st.dbms = DBMS.value_or("");
  st.servername = ServerName.value_or("");
  st.database = Database.value_or("");
  st.logid = LogID.value_or("");
  st.logpass = LogPass.value_or("");
  st.lock = Lock.value_or("");
  st.dbparm = DBParm.value_or("");
  st.autocommit = autocommit_.value_or(false);
  std::unique_ptr<DbDriver> d = factory() ? factory()(upper(String(st.dbms)).value_or("")) : nullptr;
  if (!d) {
    set_status(DbStatus::error(-1, "No database interface for kind '" + st.dbms + "'"));
    return;
  }
  DbStatus s = d->Connect(st);
  set_status(s);
  if (s.code == 0) driver_ = std::move(d);
}

void transaction::disconnect() {
  if (!driver_) {
    set_status(not_connected());
    return;
  }
  DbStatus s = driver_->Disconnect();
  driver_.reset();
  set_status(s);
}

void transaction::execute_immediate(const String& sql) {
  if (!driver_) return set_status(not_connected());
  if (sql.is_null()) return set_status(DbStatus::error(-1, "Statement text is NULL"));
  set_status(driver_->Execute(*sql));
}

void transaction::select_into(const String& sql, String& target) {
  if (!driver_) return set_status(not_connected());
  if (sql.is_null()) return set_status(DbStatus::error(-1, "Statement text is NULL"));
  std::optional<std::string> v;
  DbStatus s = driver_->SelectString(*sql, &v);
  set_status(s);
  if (s.code == 0) target = v ? String(*v) : String(null);
}

void transaction::commit() {
  if (!driver_) return set_status(not_connected());
  set_status(driver_->Commit());
}

void transaction::rollback() {
  if (!driver_) return set_status(not_connected());
  set_status(driver_->Rollback());
}

}  // namespace rt
