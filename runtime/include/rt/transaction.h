// The connection object (class `transaction`): settings given before the
// connect, the embedded-SQL operations, and the status after each of them.
//
// The object itself knows no database client. A driver (DbDriver) does the
// work; the driver is chosen by the database kind when the object connects,
// through the factory installed with transaction::set_driver_factory (the
// ODBC client installs itself as the default one; tests may install others).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "rt/object.h"
#include "rt/text.h"

namespace rt {

struct DbSettings {
  std::string dbms;        // database kind: "MSS", "ODBC", ...
  std::string servername;  // "host", "host,port" or "host\instance"
  std::string database;
  std::string logid;
  std::string logpass;
  std::string lock;        // "RU" read uncommitted, "RC", "RR", "TS", ...
  std::string dbparm;      // connection parameters
  bool autocommit = false;
};

// Outcome of one operation: code 0 success, -1 error, 100 no row; the
// server's native error number and its message (GBK), without client prefixes.
struct DbStatus {
  std::int32_t code = 0;
  std::int32_t dbcode = 0;
  std::string errtext;
  std::int32_t nrows = 0;
  static DbStatus ok(std::int32_t rows = 0) { return DbStatus{0, 0, {}, rows}; }
  static DbStatus error(std::int32_t dbcode, std::string text) { return DbStatus{-1, dbcode, std::move(text), 0}; }
};

class DbDriver {
 public:
  virtual ~DbDriver() = default;
  virtual DbStatus Connect(const DbSettings& settings) = 0;
  virtual DbStatus Disconnect() = 0;
  // Runs a statement text; every result of the batch is read so that an
  // error of any statement in it is seen.
  virtual DbStatus Execute(const std::string& sql) = 0;
  // The one value of the one row: nullopt for NULL. Code 100 when no row
  // came back (the value is then left alone).
  virtual DbStatus SelectString(const std::string& sql, std::optional<std::string>* value) = 0;
  virtual DbStatus Commit() = 0;
  virtual DbStatus Rollback() = 0;
  // Switching autocommit on commits the open work first.
  virtual DbStatus SetAutoCommit(bool on) = 0;
};

class transaction : public Object {
 public:
  using DriverFactory = std::function<std::unique_ptr<DbDriver>(const std::string& dbms)>;

  transaction();
  ~transaction() override;
  std::string class_name() const override { return "transaction"; }

  // Settings.
  String DBMS = std::string();
  String ServerName = std::string();
  String Database = std::string();
  String LogID = std::string();
  String LogPass = std::string();
  String Lock = std::string();
  String DBParm = std::string();

  // Status after the last operation.
  Long SQLCode = 0;
  Long SQLDBCode = 0;
  String SQLErrText = std::string();
  Long SQLNRows = 0;

  // Autocommit: a setting before the connect, switched at once after it.
  Bool AutoCommit() const { return autocommit_; }
  void SetAutoCommit(const Bool& on);

  bool connected() const { return driver_ != nullptr; }

  // CONNECT USING, DISCONNECT USING, EXECUTE IMMEDIATE, singleton SELECT
  // INTO, fixed INSERT/UPDATE (the same as EXECUTE IMMEDIATE here), COMMIT,
  // ROLLBACK.
  //
  // A statement text that the client cannot carry whole is not sent: one
  // that holds a zero byte (the client would cut it there) or bytes that
  // the GBK code page does not convert (gbk_unconvertible_at). The
  // statement then fails as a refused one does, code -1, with a text that
  // says what is wrong and at which byte offset (counted from 0).
  void connect();
  void disconnect();
  void execute_immediate(const String& sql);
  void select_into(const String& sql, String& target);
  void commit();
  void rollback();

  static void set_driver_factory(DriverFactory factory);
  static DriverFactory driver_factory();

 private:
  void set_status(const DbStatus& s);
  std::unique_ptr<DbDriver> driver_;
  Bool autocommit_ = false;
};

}  // namespace rt
