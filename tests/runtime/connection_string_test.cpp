// From the connection object's settings to an ODBC connection string, and
// the cleaning of the driver's messages.
#include <gtest/gtest.h>

#include "rt/odbc.h"

namespace rt::odbc {
namespace {

const MssProfile kFreeTds{"FreeTDS", "TDS_Version=7.3;ClientCharset=GBK", true, true, false};
const MssProfile kWindows{"SQL Server", "", false, false, true};

DbSettings Mss(std::string server) {
  DbSettings s;
  s.dbms = "mss";
  s.servername = std::move(server);
  s.database = "store";
  s.logid = "tandrel";
  s.logpass = "tolvank";
  return s;
}

TEST(ServerName, TakesTheFormsSqlServerUsersWrite) {
  auto parts = [](std::string_view n) {
    ServerAddress a = parse_server_name(n);
    return a.host + "|" + a.port + "|" + a.instance;
  };
  EXPECT_EQ(parts("shop01"), "shop01||");
  EXPECT_EQ(parts("192.168.1.5,1433"), "192.168.1.5|1433|");
  EXPECT_EQ(parts("shop01\\SQLEXPRESS"), "shop01||SQLEXPRESS");
  EXPECT_EQ(parts("shop01\\SQLEXPRESS,1500"), "shop01|1500|SQLEXPRESS");
  EXPECT_EQ(parts(" tcp:shop01 , 1433 "), "shop01|1433|");
  EXPECT_EQ(parts(""), "||");
}

TEST(ConnectionString, MssNamesThePlatformDriverServerLoginAndCharset) {
  std::string error;
  EXPECT_EQ(connection_string(Mss("127.0.0.1,4000"), kFreeTds),
            "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=4000;UID=tandrel;PWD=tolvank;DATABASE=store;"
            "TDS_Version=7.3;ClientCharset=GBK");
  EXPECT_EQ(connection_string(Mss("shop\\SQLEXPRESS"), kFreeTds),
            "DRIVER={FreeTDS};SERVER=shop\\SQLEXPRESS;UID=tandrel;PWD=tolvank;DATABASE=store;"
            "TDS_Version=7.3;ClientCharset=GBK");
  EXPECT_EQ(connection_string(Mss("(local),1433"), kFreeTds)->substr(0, 48),
            "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=1433;UID=");
  EXPECT_EQ(connection_string(Mss("(local),1433"), kWindows),
            "DRIVER={SQL Server};SERVER=(local),1433;UID=tandrel;PWD=tolvank;DATABASE=store");

  // An empty database is left to the login's default; parameters add the
  // application and workstation names, or another driver.
  DbSettings s = Mss("shop");
  s.database.clear();
  s.dbparm = "AppName='schemalift',Host=\"POS 1\", Driver='/opt/lib/libtdsodbc.so'";
  EXPECT_EQ(connection_string(s, kFreeTds),
            "DRIVER={/opt/lib/libtdsodbc.so};SERVER=shop;UID=tandrel;PWD=tolvank;APP=schemalift;WSID=POS 1;"
            "TDS_Version=7.3;ClientCharset=GBK");

  // Values that would end the keyword are braced, as each driver reads them.
  s = Mss("shop");
  s.logpass = "a;b}c";
  EXPECT_NE(connection_string(s, kFreeTds)->find("PWD={a;b}c};"), std::string::npos);
  EXPECT_NE(connection_string(s, kWindows)->find("PWD={a;b}}c};"), std::string::npos);
  s.logpass = "";
  EXPECT_NE(connection_string(s, kFreeTds)->find("PWD={};"), std::string::npos);

  s.dbms = "SYC";
  EXPECT_FALSE(connection_string(s, kFreeTds, &error));
  EXPECT_NE(error.find("SYC"), std::string::npos);
}

TEST(ConnectionString, OdbcTakesTheDataSourceOfTheParameters) {
  DbSettings s = Mss("");
  s.dbms = "ODBC";
  s.dbparm = "ConnectString='DSN=store_dsn;UID=sa;PWD=x;',Async=0";
  // The login settings fill only what the data source string leaves out.
  EXPECT_EQ(connection_string(s, kFreeTds), "DSN=store_dsn;UID=sa;PWD=x;DATABASE=store");

  s.dbparm = "ConnectString='DSN=store_dsn'";
  EXPECT_EQ(connection_string(s, kFreeTds), "DSN=store_dsn;UID=tandrel;PWD=tolvank;DATABASE=store");

  s.dbparm = "ConnectString='DSN={odd;name};Database=other'";
  EXPECT_EQ(connection_string(s, kFreeTds), "DSN={odd;name};Database=other;UID=tandrel;PWD=tolvank");

  s.dbparm = "";
  s.servername = "store_dsn";
  EXPECT_EQ(connection_string(s, kFreeTds), "DSN=store_dsn;UID=tandrel;PWD=tolvank;DATABASE=store");

  std::string error;
  s.servername = "";
  EXPECT_FALSE(connection_string(s, kFreeTds, &error));
  EXPECT_NE(error.find("ConnectString"), std::string::npos);
}

TEST(ConnectionParameters, ParseQuotedAndPlainValues) {
  auto p = parse_dbparm(" ConnectString='DSN=a;X=''q''', LoginTimeOut=5 ,CommitOnDisconnect=\"No\",Bare,Async=1");
  EXPECT_EQ(p["connectstring"], "DSN=a;X='q'");
  EXPECT_EQ(p["logintimeout"], "5");
  EXPECT_EQ(p["commitondisconnect"], "No");
  EXPECT_EQ(p.count("bare"), 0u);
  EXPECT_EQ(p["async"], "1");
  EXPECT_TRUE(parse_dbparm("").empty());
  EXPECT_EQ(parse_dbparm("AppName='unterminated")["appname"], "unterminated");
}

TEST(DriverMessages, LoseTheirBracketedPrefixesOnly) {
  EXPECT_EQ(strip_prefixes("[unixODBC][FreeTDS][SQL Server]Login failed for user 'tandrel'."),
            "Login failed for user 'tandrel'.");
  EXPECT_EQ(strip_prefixes("[Microsoft][ODBC SQL Server Driver][SQL Server]Invalid object name 't'."),
            "Invalid object name 't'.");
  EXPECT_EQ(strip_prefixes("Invalid column name '[x]'."), "Invalid column name '[x]'.");
  EXPECT_EQ(strip_prefixes("[unclosed"), "[unclosed");
  EXPECT_EQ(strip_prefixes(""), "");
}

TEST(Locks, MapToIsolationLevels) {
  EXPECT_EQ(isolation_of_lock("RU"), 1);
  EXPECT_EQ(isolation_of_lock("rc"), 2);
  EXPECT_EQ(isolation_of_lock("RR"), 4);
  EXPECT_EQ(isolation_of_lock("TS"), 8);
  EXPECT_FALSE(isolation_of_lock(""));
  EXPECT_FALSE(isolation_of_lock("XX"));
}

}  // namespace
}  // namespace rt::odbc
