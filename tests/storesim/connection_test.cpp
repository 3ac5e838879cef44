// The connection object through the real client stack (unixODBC and the
// FreeTDS driver) against the simulator with the sample store database.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>

#include "rt/odbc.h"
#include "support/golden.h"
#include "support/store_server.h"

namespace storesim {
namespace {

using testing::StoreServer;

const char kStageRead[] =
    "select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id ='UPGRADE_DATE'";

std::string Text(const rt::String& s) { return s.is_null() ? "<NULL>" : rt::utf8(*s); }

// A connection object connected with the program's settings.
struct Connected {
  explicit Connected(StoreServer& s) {
    s.Configure(t);
    t.connect();
  }
  ~Connected() {
    if (t.connected()) t.disconnect();
  }
  rt::transaction t;
};

std::vector<RequestKind> Kinds(const std::vector<LoggedRequest>& log) {
  std::vector<RequestKind> k;
  for (const LoggedRequest& r : log) k.push_back(r.kind);
  return k;
}

TEST(Connection, ConnectsWithTheProgramsSettingsAndSwitchesDatabases) {
  StoreServer s;
  Connected c(s);
  rt::transaction& t = c.t;
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  EXPECT_TRUE(t.connected());

  t.execute_immediate("use master");
  EXPECT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);  // the server's INFO 5701 is no failure
  t.execute_immediate("use " + *t.Database);
  EXPECT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);

  t.execute_immediate("use nosuchdb");
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(*t.SQLDBCode, 911);
  EXPECT_EQ(Text(t.SQLErrText), "Database 'nosuchdb' does not exist. Make sure that the name is entered correctly.");

  // The login asked for the database; lock RU became the session's
  // isolation; the client added nothing else.
  std::vector<LoggedRequest> log = s.server().Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].kind, RequestKind::Login);
  EXPECT_EQ(log[0].text, "tandrel");
  EXPECT_EQ(log[0].database, "store");
  EXPECT_EQ(s.server().Batches(), (std::vector<std::string>{"SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED",
                                                            "use master", "use store", "use nosuchdb"}));

  t.disconnect();
  EXPECT_EQ(*t.SQLCode, 0);
  EXPECT_FALSE(t.connected());
}

TEST(Connection, RefusalsCarryTheServersNumberAndMessage) {
  StoreServer s;
  rt::transaction t;

  s.Configure(t);
  t.LogPass = "wrong";
  t.connect();
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(*t.SQLDBCode, 18456);
  EXPECT_EQ(Text(t.SQLErrText), "Login failed for user 'tandrel'.");
  EXPECT_FALSE(t.connected());

  // A database the login cannot open: the cause, not the closing 18456.
  s.Configure(t);
  t.Database = "nosuchdb";
  t.connect();
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(*t.SQLDBCode, 4060);
  EXPECT_EQ(Text(t.SQLErrText), "Cannot open database \"nosuchdb\" requested by the login. The login failed.");
  EXPECT_FALSE(t.connected());

  // Operations on an unconnected object fail without reaching a server.
  t.execute_immediate("select 1");
  EXPECT_EQ(*t.SQLCode, -1);

  s.Configure(t);
  t.connect();
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  t.execute_immediate("insert into t_no_such_table values ( 1 )");
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(*t.SQLDBCode, 208);
  EXPECT_EQ(Text(t.SQLErrText), "Invalid object name 't_no_such_table'.");
  // The next statement starts with a clean status.
  t.execute_immediate("update t_sys_system set sys_var_memo ='' where sys_var_id ='BRANCH_NO'");
  EXPECT_EQ(*t.SQLCode, 0);
  EXPECT_EQ(*t.SQLDBCode, 0);
  EXPECT_EQ(*t.SQLNRows, 1);
  EXPECT_EQ(Text(t.SQLErrText), "");
  t.disconnect();
}

// A statement nested past the server's limit is refused with the server's
// own error; its connection and every other one go on.
TEST(Connection, TooDeeplyNestedStatementsAreRefusedAndEveryoneGoesOn) {
  StoreServer s;
  Connected a(s);
  Connected b(s);
  ASSERT_EQ(*a.t.SQLCode, 0) << Text(a.t.SQLErrText);
  ASSERT_EQ(*b.t.SQLCode, 0) << Text(b.t.SQLErrText);

  const std::string deep = "select " + std::string(10000, '(') + "1" + std::string(10000, ')');
  a.t.execute_immediate(deep);
  EXPECT_EQ(*a.t.SQLCode, -1);
  EXPECT_EQ(*a.t.SQLDBCode, 191);
  EXPECT_EQ(Text(a.t.SQLErrText),
            "Some part of your SQL statement is nested too deeply. Rewrite the query or break it down into smaller "
            "queries.");

  for (rt::transaction* t : {&a.t, &b.t}) {
    rt::String stage = "";
    t->select_into(kStageRead, stage);
    EXPECT_EQ(*t->SQLCode, 0) << Text(t->SQLErrText);
    EXPECT_EQ(Text(stage), "00000000");
  }
}

TEST(Connection, UnreachableServersGiveTheDriversOwnText) {
  // A port nobody listens on.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  const std::string closed_port = std::to_string(ntohs(a.sin_port));
  ::close(fd);

  StoreServer s;
  rt::transaction t;
  s.Configure(t);
  t.ServerName = "127.0.0.1," + closed_port;
  t.connect();
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_NE(*t.SQLDBCode, 0);
  EXPECT_EQ(Text(t.SQLErrText), "Unable to connect: Adaptive Server is unavailable or does not exist");
  EXPECT_FALSE(t.connected());

  // A server that accepts and then says nothing: the login timeout ends the wait.
  fd = ::socket(AF_INET, SOCK_STREAM, 0);
  a.sin_port = 0;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  t.ServerName = "127.0.0.1," + std::to_string(ntohs(a.sin_port));
  t.DBParm = "LoginTimeOut=1";
  auto start = std::chrono::steady_clock::now();
  t.connect();
  auto waited = std::chrono::steady_clock::now() - start;
  ::close(fd);
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(Text(t.SQLErrText), "Timeout expired");
  EXPECT_LT(waited, std::chrono::seconds(10));
  EXPECT_FALSE(t.connected());
}

TEST(Connection, StageReadFindsTheStageOrItsDefault) {
  struct Case {
    const char* what;
    SampleOptions sample;
    const char* expected;
  };
  SampleOptions no_row;
  no_row.upgrade_date = std::nullopt;
  SampleOptions null_value;
  null_value.null_upgrade_date = true;
  SampleOptions later;
  later.upgrade_date = "20170521";
  later.earlier_stages = testing_support::statements_through_stage("20170521");
  const Case cases[] = {
      {"bootstrap row", {}, "00000000"},
      {"no row", no_row, "00000000"},
      {"NULL value", null_value, "00000000"},
      {"second stage", later, "20170521"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    StoreServer s(k.sample);
    Connected c(s);
    ASSERT_EQ(*c.t.SQLCode, 0) << Text(c.t.SQLErrText);
    rt::String stage = "";
    c.t.select_into(kStageRead, stage);
    EXPECT_EQ(*c.t.SQLCode, 0) << Text(c.t.SQLErrText);
    EXPECT_EQ(Text(stage), k.expected);
  }
}

TEST(Connection, SingletonSelectLeavesOrNullsItsTarget) {
  SampleOptions null_value;
  null_value.null_upgrade_date = true;
  StoreServer s(null_value);
  Connected c(s);
  rt::transaction& t = c.t;
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);

  rt::String target = "kept";
  t.select_into("select sys_var_value from t_sys_system where sys_var_id ='NO_SUCH_ROW'", target);
  EXPECT_EQ(*t.SQLCode, 100);
  EXPECT_EQ(Text(target), "kept");

  t.select_into("select sys_var_value from t_sys_system where sys_var_id ='UPGRADE_DATE'", target);
  EXPECT_EQ(*t.SQLCode, 0);
  EXPECT_TRUE(target.is_null());

  // Failures leave the target alone too.
  target = "kept";
  t.select_into("select sys_var_value from t_no_such_table", target);
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(*t.SQLDBCode, 208);
  EXPECT_EQ(Text(target), "kept");
  t.select_into("select sys_var_id from t_sys_system", target);  // several rows
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(Text(target), "kept");

  // A value longer than the client's read buffer arrives whole.
  std::string long_value;
  for (int i = 0; i < 600; ++i) long_value += rt::gbk("长") + "x" + std::to_string(i % 10);
  t.execute_immediate("create table t_long ( v varchar(8000) null )");
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  t.execute_immediate("insert t_long values ( '" + long_value + "' )");
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  t.select_into("select v from t_long", target);
  EXPECT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  EXPECT_EQ(*target, long_value);
}

TEST(Connection, ChineseTextCrossesAsGbkBothWays) {
  StoreServer s;
  Connected c(s);
  rt::transaction& t = c.t;
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);

  const std::string name = rt::gbk("岚舟商业管理软件·升级");
  t.execute_immediate(rt::gbk("insert t_sys_system values ( 'APP_TITLE' , '标题' , '") + name +
                      rt::gbk("' , '否' , '' , null , null , null )"));
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  rt::String back;
  t.select_into("select sys_var_value from t_sys_system where sys_var_id ='APP_TITLE'", back);
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  EXPECT_EQ(*back, name);  // byte for byte
  // The server stored the characters, not their bytes.
  std::vector<std::optional<std::string>> names = s.Column("t_sys_system", 1);
  EXPECT_NE(std::find(names.begin(), names.end(), std::optional<std::string>("标题")), names.end());

  // A row written by the server's own set-up reads back in GBK.
  t.select_into("select sys_var_value from t_sys_system where sys_var_id ='STORE_NAME'", back);
  EXPECT_EQ(*back, rt::gbk("岚舟示范店"));

  // Messages naming Chinese objects come back in GBK as well.
  t.execute_immediate(rt::gbk("select * from 门店表"));
  EXPECT_EQ(*t.SQLDBCode, 208);
  EXPECT_EQ(*t.SQLErrText, rt::gbk("Invalid object name '门店表'."));
}

TEST(Connection, TextsTheClientCannotCarryWholeAreRefusedUnsent) {
  StoreServer s;
  Connected c(s);
  rt::transaction& t = c.t;
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  const std::vector<std::optional<std::string>> before = s.Column("t_sys_system", 2);
  s.server().ClearLog();

  // The client would cut the text at its zero byte and run the UPDATE
  // without its WHERE, on every row.
  t.execute_immediate(std::string("update t_sys_system set sys_var_value='V9' \0where sys_var_id='zzz'", 66));
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(Text(t.SQLErrText), "Statement text not sent: it holds a zero byte at byte offset 43.");

  // Bytes that GBK does not convert: the client would not send them as written.
  t.execute_immediate(rt::gbk("update t_sys_system set sys_var_value='升级") + "\xFF' where sys_var_id='zzz'");
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(Text(t.SQLErrText), "Statement text not sent: it is not GBK text at byte offset 43 (0xFF 0x27).");
  rt::String value = std::string("kept");
  t.select_into(std::string("select sys_var_value from t_sys_system where sys_var_id ='\x81'"), value);
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(*value, "kept");

  EXPECT_TRUE(s.server().Batches().empty());
  EXPECT_EQ(s.Column("t_sys_system", 2), before);

  // The connection goes on as after any refused statement.
  t.select_into("select sys_var_value from t_sys_system where sys_var_id ='STORE_NAME'", value);
  EXPECT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  EXPECT_EQ(*value, rt::gbk("岚舟示范店"));
}

TEST(Connection, AutocommitOffKeepsWorkUntilCommitOrRollback) {
  StoreServer s;
  Connected c(s);
  rt::transaction& t = c.t;
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  auto insert = [&](const char* id) {
    t.execute_immediate(std::string("insert t_sys_system values ( '") + id +
                        "' , '' , 'x' , '' , '' , null , null , null )");
    EXPECT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  };
  auto ids = [&] { return s.Column("t_sys_system", 0); };
  auto has = [&](const char* id) {
    auto v = ids();
    return std::find(v.begin(), v.end(), std::optional<std::string>(id)) != v.end();
  };
  s.server().ClearLog();

  t.SetAutoCommit(false);
  EXPECT_EQ(*t.SQLCode, 0);
  insert("ROLLED_BACK");
  t.rollback();
  EXPECT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  EXPECT_FALSE(has("ROLLED_BACK"));

  insert("COMMITTED");
  t.commit();
  EXPECT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  EXPECT_TRUE(has("COMMITTED"));

  // Switching autocommit on keeps the open work (the driver alone would
  // roll it back).
  insert("KEPT_BY_SWITCH");
  t.SetAutoCommit(true);
  EXPECT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  EXPECT_TRUE(t.AutoCommit());
  EXPECT_TRUE(has("KEPT_BY_SWITCH"));

  // With autocommit on, COMMIT has nothing to do and succeeds.
  t.commit();
  EXPECT_EQ(*t.SQLCode, 0);

  EXPECT_EQ(Kinds(s.server().Log()),
            (std::vector<RequestKind>{RequestKind::Begin, RequestKind::Batch, RequestKind::Rollback,
                                      RequestKind::Batch, RequestKind::Commit, RequestKind::Batch,
                                      RequestKind::Commit, RequestKind::Rollback}));
}

TEST(Connection, LostConnectionRollsBackAndDisconnectCommitsByDefault) {
  StoreServer s;
  auto has = [&](const char* id) {
    auto v = s.Column("t_sys_system", 0);
    return std::find(v.begin(), v.end(), std::optional<std::string>(id)) != v.end();
  };
  {
    Connected c(s);
    rt::transaction& t = c.t;
    ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
    t.SetAutoCommit(false);
    t.execute_immediate("insert t_sys_system values ( 'LOST' , '' , '' , '' , '' , null , null , null )");
    ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
    s.server().CloseConnectionAfter(1, false);
    t.execute_immediate("update t_sys_system set sys_var_memo ='' where sys_var_id ='BRANCH_NO'");
    EXPECT_EQ(*t.SQLCode, -1);
    EXPECT_FALSE(Text(t.SQLErrText).empty());
    EXPECT_EQ(Text(t.SQLErrText).front() == '[', false);
    ASSERT_TRUE(s.server().WaitForIdle());
    EXPECT_FALSE(has("LOST"));
  }
  {
    Connected c(s);
    c.t.SetAutoCommit(false);
    c.t.execute_immediate("insert t_sys_system values ( 'AT_DISCONNECT' , '' , '' , '' , '' , null , null , null )");
    c.t.disconnect();
    EXPECT_EQ(*c.t.SQLCode, 0);
    ASSERT_TRUE(s.server().WaitForIdle());
    EXPECT_TRUE(has("AT_DISCONNECT"));
  }
  {
    Connected c(s);
    c.t.disconnect();
    c.t.DBParm = "CommitOnDisconnect='No'";
    c.t.connect();
    c.t.SetAutoCommit(false);
    c.t.execute_immediate("insert t_sys_system values ( 'NOT_KEPT' , '' , '' , '' , '' , null , null , null )");
    c.t.disconnect();
    ASSERT_TRUE(s.server().WaitForIdle());
    EXPECT_FALSE(has("NOT_KEPT"));
  }
}

TEST(Connection, EveryStatementOfABatchIsRead) {
  StoreServer s;
  Connected c(s);
  rt::transaction& t = c.t;
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);

  // The second statement fails: its error is the batch's status.
  t.execute_immediate(
      "update t_sys_system set sys_var_memo ='first' where sys_var_id ='BRANCH_NO'\n"
      "insert into t_no_such_table values ( 1 )");
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(*t.SQLDBCode, 208);

  // A duplicate key of a later statement, after statements that succeed.
  t.execute_immediate("create table t_pair ( k int not null primary key )");
  ASSERT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  t.execute_immediate("insert t_pair values ( 1 ) insert t_pair values ( 2 ) insert t_pair values ( 1 )");
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_EQ(*t.SQLDBCode, 2627);

  // The connection is in step afterwards.
  rt::String n;
  t.select_into("select count(*) from t_pair", n);
  EXPECT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  EXPECT_EQ(Text(n), "2");

  // An empty text is an empty batch: nothing to do, and no failure.
  t.execute_immediate("");
  EXPECT_EQ(*t.SQLCode, 0);

  // An engine refusal injected for one statement text.
  s.server().WithEngine(
      [&](Engine&) { s.engine().AddFault({"t_sys_menu", false, {547, 0, 16, "Injected refusal.", "", 1}, 1}); });
  t.execute_immediate("update t_sys_menu set normal_flag ='0' where menu_id like '67%'");
  EXPECT_EQ(*t.SQLDBCode, 547);
  EXPECT_EQ(Text(t.SQLErrText), "Injected refusal.");
}

TEST(Connection, OdbcKindUsesTheDataSourceOfTheParameters) {
  StoreServer s;
  char dir[] = "/tmp/odbcini_XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string ini = std::string(dir) + "/odbc.ini";
  {
    std::ofstream f(ini);
    f << "[storesim_store]\nDriver=FreeTDS\nServer=127.0.0.1\nPort=" << s.server().port()
      << "\nTDS_Version=7.3\nClientCharset=GBK\n";
  }
  ::setenv("ODBCINI", ini.c_str(), 1);
  rt::transaction t;
  s.Configure(t);
  t.DBMS = "ODBC";
  t.ServerName = "";
  t.DBParm = "ConnectString='DSN=storesim_store'";
  t.connect();
  EXPECT_EQ(*t.SQLCode, 0) << Text(t.SQLErrText);
  rt::String v;
  t.select_into("select sys_var_value from t_sys_system where sys_var_id ='STORE_NAME'", v);
  EXPECT_EQ(*v, rt::gbk("岚舟示范店"));
  t.disconnect();

  t.DBParm = "ConnectString='DSN=no_such_source'";
  t.connect();
  EXPECT_EQ(*t.SQLCode, -1);
  EXPECT_FALSE(Text(t.SQLErrText).empty());
  EXPECT_NE(Text(t.SQLErrText).front(), '[');
  ::unsetenv("ODBCINI");
  std::remove(ini.c_str());
  ::rmdir(dir);
}

}  // namespace
}  // namespace storesim
