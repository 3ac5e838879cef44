#include "rt/transaction.h"

#include <optional>
#include <string>

#include "rt/text.h"

namespace rt {

namespace {
transaction::DriverFactory& factory() {
  static transaction::DriverFactory f;
  return f;
}
DbStatus not_connected() { return DbStatus::error(-1, "Transaction not connected"); }

std::string hex_byte(unsigned char c) {
  static const char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[c >> 4] + kDigits[c & 0xF];
}

// Why a statement text cannot be sent as written, or nullopt when it can.
// The client stack takes a statement as a C string and converts it from
// the code page on its way to the server: a zero byte cuts the text there
// (the server would run what comes before it, an UPDATE without its
// WHERE), and bytes that do not convert never reach the server as
// written. Such a text is refused here, as the server refuses a statement.
std::optional<DbStatus> unsendable(const std::string& sql) {
  const std::size_t zero = sql.find('\0');
  const std::size_t bad = gbk_unconvertible_at(sql);
  if (zero == std::string::npos && bad == std::string::npos) return std::nullopt;
  if (zero < bad) {
    return DbStatus::error(-1, "Statement text not sent: it holds a zero byte at byte offset " +
                                   std::to_string(zero) + ".");
  }
  std::string bytes = hex_byte(static_cast<unsigned char>(sql[bad]));
  if (bad + 1 < sql.size()) bytes += " " + hex_byte(static_cast<unsigned char>(sql[bad + 1]));
  return DbStatus::error(-1, "Statement text not sent: it is not GBK text at byte offset " + std::to_string(bad) +
                                 " (" + bytes + ").");
}
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
  if (std::optional<DbStatus> refused = unsendable(*sql)) return set_status(*refused);
  set_status(driver_->Execute(*sql));
}

void transaction::select_into(const String& sql, String& target) {
  if (!driver_) return set_status(not_connected());
  if (sql.is_null()) return set_status(DbStatus::error(-1, "Statement text is NULL"));
  if (std::optional<DbStatus> refused = unsendable(*sql)) return set_status(*refused);
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
