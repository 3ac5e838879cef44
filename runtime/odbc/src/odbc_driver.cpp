// The connection object's driver over the ODBC API.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "rt/odbc.h"

namespace rt {

namespace {

constexpr long kDefaultLoginTimeout = 15;  // seconds
// Results of one statement text read at most; a driver that keeps
// answering beyond that is treated as broken.
constexpr int kMaxResults = 100000;

struct Diagnostic {
  std::string state;
  std::int32_t native = 0;
  std::string text;
};

std::vector<Diagnostic> diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  if (!handle) return out;
  for (SQLSMALLINT i = 1; i <= 64; ++i) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLCHAR> text(1024);
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, text.data(),
                                 static_cast<SQLSMALLINT>(text.size()), &len);
    if (rc == SQL_SUCCESS_WITH_INFO && len >= static_cast<SQLSMALLINT>(text.size())) {
      text.resize(static_cast<std::size_t>(len) + 1);
      rc = SQLGetDiagRec(type, handle, i, state, &native, text.data(), static_cast<SQLSMALLINT>(text.size()),
                         &len);
    }
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    std::size_t n = std::min(static_cast<std::size_t>(len < 0 ? 0 : len), text.size() - 1);
    out.push_back({reinterpret_cast<char*>(state), native, std::string(reinterpret_cast<char*>(text.data()), n)});
  }
  return out;
}

// Login failed: the server's closing message of a refused login, which
// follows the message that tells the cause when there is one (4060 for a
// database that cannot be opened).
constexpr std::int32_t kLoginFailed = 18456;

// The status of a failed call: the server's message when there is one
// (the first record with a native error number, the cause of a refused
// login before the closing login-failed message), else the first record
// (a driver's own failure, such as a timeout).
DbStatus failure(SQLSMALLINT type, SQLHANDLE handle, const char* fallback) {
  std::vector<Diagnostic> d = diagnostics(type, handle);
  const Diagnostic* pick = nullptr;
  for (const Diagnostic& r : d) {
    if (r.native != 0 && r.native != kLoginFailed) {
      pick = &r;
      break;
    }
  }
  for (const Diagnostic& r : d) {
    if (!pick && r.native == kLoginFailed) pick = &r;
  }
  if (!pick && !d.empty()) pick = &d.front();
  if (!pick) return DbStatus::error(-1, fallback);
  return DbStatus::error(pick->native, odbc::strip_prefixes(pick->text));
}

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

bool yes(const std::string& v) {
  if (v.empty()) return false;
  char c = v.front();
  return c == 'y' || c == 'Y' || c == '1' || c == 't' || c == 'T';
}

class OdbcDriver : public DbDriver {
 public:
  ~OdbcDriver() override { Release(); }

  DbStatus Connect(const DbSettings& settings) override {
    Release();
    std::string why;
    std::optional<std::string> cs = odbc::connection_string(settings, odbc::platform_mss_profile(), &why);
    if (!cs) return DbStatus::error(-1, why);
    std::map<std::string, std::string> parm = odbc::parse_dbparm(settings.dbparm);
    long timeout = kDefaultLoginTimeout;
    for (const char* key : {"logintimeout", "timeout"}) {
      if (parm.count(key)) timeout = std::strtol(parm[key].c_str(), nullptr, 10);
    }
    if (timeout <= 0) timeout = kDefaultLoginTimeout;
    commit_on_disconnect_ = !parm.count("commitondisconnect") || yes(parm["commitondisconnect"]);

    if (!ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
      env_ = nullptr;
      return DbStatus::error(-1, "Cannot allocate the ODBC environment");
    }
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!ok(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
      DbStatus s = failure(SQL_HANDLE_ENV, env_, "Cannot allocate the ODBC connection");
      dbc_ = nullptr;
      Release();
      return s;
    }
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout)), 0);

    SQLCHAR out[1024];
    SQLSMALLINT out_len = 0;
    SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(cs->data()),
                                    static_cast<SQLSMALLINT>(cs->size()), out, sizeof out, &out_len,
                                    SQL_DRIVER_NOPROMPT);
    if (!ok(rc)) {
      DbStatus s = failure(SQL_HANDLE_DBC, dbc_, "Connection failed");
      Release();
      return s;
    }
    connected_ = true;
    autocommit_ = true;

    if (std::optional<long> iso = odbc::isolation_of_lock(settings.lock)) {
      rc = SQLSetConnectAttr(dbc_, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(*iso)), 0);
      if (!ok(rc)) {
        DbStatus s = failure(SQL_HANDLE_DBC, dbc_, "The lock setting was refused");
        Release();
        return s;
      }
    }
    if (!settings.autocommit) {
      DbStatus s = SetAutoCommit(false);
      if (s.code != 0) {
        Release();
        return s;
      }
    }
    return DbStatus::ok();
  }

  DbStatus Disconnect() override {
    if (!connected_) return DbStatus::error(-1, "Not connected");
    DbStatus s = DbStatus::ok();
    if (!autocommit_) {
      SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, commit_on_disconnect_ ? SQL_COMMIT : SQL_ROLLBACK);
      if (!ok(rc)) s = failure(SQL_HANDLE_DBC, dbc_, "The transaction could not be ended");
    }
    Release();
    return s;
  }

  DbStatus Execute(const std::string& sql) override { return Run(sql, nullptr); }

  DbStatus SelectString(const std::string& sql, std::optional<std::string>* value) override {
    return Run(sql, value);
  }

  DbStatus Commit() override { return EndTran(SQL_COMMIT); }
  DbStatus Rollback() override { return EndTran(SQL_ROLLBACK); }

  DbStatus SetAutoCommit(bool on) override {
    if (!connected_) return DbStatus::error(-1, "Not connected");
    if (on == autocommit_) return DbStatus::ok();
    // Open work is committed before autocommit comes on (some drivers
    // would roll it back).
    if (on) {
      DbStatus s = EndTran(SQL_COMMIT);
      if (s.code != 0) return s;
    }
    SQLRETURN rc = SQLSetConnectAttr(
        dbc_, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)), 0);
    if (!ok(rc)) return failure(SQL_HANDLE_DBC, dbc_, "Autocommit could not be switched");
    autocommit_ = on;
    return DbStatus::ok();
  }

 private:
  DbStatus EndTran(SQLSMALLINT how) {
    if (!connected_) return DbStatus::error(-1, "Not connected");
    if (autocommit_) return DbStatus::ok();  // every statement is committed already
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, how);
    if (!ok(rc)) return failure(SQL_HANDLE_DBC, dbc_, "The transaction could not be ended");
    return DbStatus::ok();
  }

  // Runs a statement text and reads every result, so that an error of any
  // statement of the batch is seen. With `value`, the first result set's
  // one row goes there.
  DbStatus Run(const std::string& sql, std::optional<std::string>* value) {
    if (!connected_) return DbStatus::error(-1, "Not connected");
    // The server takes an empty batch as done; the ODBC API refuses a
    // zero-length text, so it is answered here.
    if (sql.empty()) return value ? DbStatus{100, 0, {}, 0} : DbStatus::ok();
    SQLHSTMT stmt = nullptr;
    if (!ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) {
      return failure(SQL_HANDLE_DBC, dbc_, "Cannot allocate a statement");
    }
    // The text goes as written: no rewriting of ODBC escapes ("{call ...}",
    // "{d '...'}") into something else.
    SQLSetStmtAttr(stmt, SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_NOSCAN_ON)), 0);
    std::string text = sql;
    SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));

    std::optional<DbStatus> first_error;
    std::int32_t rows = 0;
    bool want_row = value != nullptr;
    bool found = false, too_many = false;
    std::optional<std::string> got;

    for (int n = 0; n < kMaxResults; ++n) {
      if (rc == SQL_ERROR) {
        if (!first_error) first_error = failure(SQL_HANDLE_STMT, stmt, "The statement failed");
      } else if (ok(rc)) {
        SQLSMALLINT cols = 0;
        SQLNumResultCols(stmt, &cols);
        if (cols > 0 && want_row) {
          want_row = false;
          DbStatus s = FetchOne(stmt, &found, &too_many, &got);
          if (s.code != 0 && !first_error) first_error = s;
        } else if (cols == 0) {
          SQLLEN count = -1;
          if (ok(SQLRowCount(stmt, &count)) && count >= 0) rows = static_cast<std::int32_t>(count);
        }
      } else if (rc != SQL_NO_DATA) {
        break;  // SQL_INVALID_HANDLE, SQL_NEED_DATA, SQL_STILL_EXECUTING: nothing more to read
      }
      rc = SQLMoreResults(stmt);
      if (rc == SQL_NO_DATA) break;
      if (rc == SQL_ERROR && first_error && SameFailure(stmt, *first_error)) break;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);

    if (first_error) return *first_error;
    if (!value) return DbStatus::ok(rows);
    if (too_many) return DbStatus::error(-1, "Select returned more than one row");
    if (!found) return DbStatus{100, 0, {}, 0};
    *value = std::move(got);
    return DbStatus::ok(1);
  }

  // A dead connection keeps failing the same way; stop reading then.
  static bool SameFailure(SQLHSTMT stmt, const DbStatus& first) {
    DbStatus now = failure(SQL_HANDLE_STMT, stmt, "");
    return now.dbcode == first.dbcode && now.errtext == first.errtext;
  }

  static DbStatus FetchOne(SQLHSTMT stmt, bool* found, bool* too_many, std::optional<std::string>* out) {
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) return DbStatus::ok();
    if (!ok(rc)) return failure(SQL_HANDLE_STMT, stmt, "Fetch failed");
    std::string v;
    bool is_null = false;
    char buf[4096];
    for (;;) {
      SQLLEN ind = 0;
      rc = SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &ind);
      if (rc == SQL_NO_DATA) break;
      if (!ok(rc)) return failure(SQL_HANDLE_STMT, stmt, "The value could not be read");
      if (ind == SQL_NULL_DATA) {
        is_null = true;
        break;
      }
      // Truncated: the buffer holds sizeof buf - 1 bytes and a NUL; more follows.
      if (rc == SQL_SUCCESS_WITH_INFO && (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf))) {
        v.append(buf, sizeof buf - 1);
        continue;
      }
      v.append(buf, static_cast<std::size_t>(ind));
      break;
    }
    *found = true;
    *out = is_null ? std::nullopt : std::optional<std::string>(std::move(v));
    rc = SQLFetch(stmt);
    if (ok(rc)) *too_many = true;
    return DbStatus::ok();
  }

  void Release() {
    if (dbc_) {
      if (connected_) SQLDisconnect(dbc_);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    }
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
    dbc_ = nullptr;
    env_ = nullptr;
    connected_ = false;
  }

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  bool connected_ = false;
  bool autocommit_ = true;
  bool commit_on_disconnect_ = true;
};

}  // namespace

std::unique_ptr<DbDriver> make_odbc_driver() { return std::make_unique<OdbcDriver>(); }

namespace {

// The ODBC client for its kinds, the factory installed before it for others.
struct OdbcFactory {
  transaction::DriverFactory previous;
  std::unique_ptr<DbDriver> operator()(const std::string& dbms) const {
    if (dbms == "MSS" || dbms == "ODBC") return make_odbc_driver();
    return previous ? previous(dbms) : nullptr;
  }
};

}  // namespace

void install_odbc_driver() {
  transaction::DriverFactory current = transaction::driver_factory();
  // Installed again (every test server does it): the chain stays one link.
  if (current.target<OdbcFactory>()) return;
  transaction::set_driver_factory(OdbcFactory{std::move(current)});
}

}  // namespace rt
