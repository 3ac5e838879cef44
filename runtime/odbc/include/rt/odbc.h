// The connection object's database client over ODBC.
//
// Kind "MSS" connects to Microsoft SQL Server without a data source: the
// server name is written as SQL Server users write it ("host",
// "host,port", "host\instance") and the platform's SQL Server driver is
// used (FreeTDS on POSIX, with the client character set GBK). Kind "ODBC"
// connects to the data source of the connection parameters
// (ConnectString='DSN=...').
//
// Text crosses the client as GBK bytes both ways. After every operation
// the status holds the server's native error number and its message
// without the driver manager's and the driver's bracketed prefixes.
//
// Connection parameters (DBParm), comma-separated key=value pairs, values
// optionally in single or double quotes; keys are case-insensitive:
//   ConnectString       kind ODBC: the ODBC connection string
//   Driver              kind MSS: another ODBC driver name or library path
//   AppName, Host       the application and workstation names the server sees
//   LoginTimeOut        seconds to wait for the login (default 15)
//   CommitOnDisconnect  'Yes' (default) commits open work at DISCONNECT, 'No' rolls it back
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "rt/transaction.h"

namespace rt {

// Makes the ODBC client the connection object's driver for the kinds
// "MSS" and "ODBC"; other kinds go to the factory installed before.
void install_odbc_driver();

// A new, unconnected ODBC client.
std::unique_ptr<DbDriver> make_odbc_driver();

namespace odbc {

// What the platform's SQL Server driver needs (src/posix, src/win32).
struct MssProfile {
  std::string driver;          // ODBC driver name
  std::string extra_keywords;  // appended to every "MSS" connection string
  bool separate_port = false;  // "host,port" as SERVER=host;PORT=port
  bool local_alias = false;    // "(local)" and "." mean 127.0.0.1
  bool doubled_braces = true;  // a '}' inside a braced value is written "}}"
};
const MssProfile& platform_mss_profile();

struct ServerAddress {
  std::string host;
  std::string port;      // empty when not given
  std::string instance;  // empty when not given
};
// "host", "host,port", "host\instance" (a "tcp:" prefix is dropped).
ServerAddress parse_server_name(std::string_view name);

// DBParm as key (lower case) -> value.
std::map<std::string, std::string> parse_dbparm(std::string_view dbparm);

// A connection-string value, braced when it needs to be.
std::string quote_value(std::string_view value, bool doubled_braces = true);

// The ODBC connection string for the settings; nullopt (with the reason)
// for a kind this client does not serve.
std::optional<std::string> connection_string(const DbSettings& settings, const MssProfile& profile,
                                             std::string* error = nullptr);

// The message without the leading "[...]" groups of the driver manager and
// the driver ("[unixODBC][FreeTDS][SQL Server]Login failed ..." ->
// "Login failed ...").
std::string strip_prefixes(std::string_view message);

// The ODBC isolation level of a lock setting: "RU" read uncommitted, "RC"
// read committed, "RR" repeatable read, "TS" serializable; nullopt for an
// empty or unknown lock (the server's default stays).
std::optional<long> isolation_of_lock(std::string_view lock);

}  // namespace odbc
}  // namespace rt
