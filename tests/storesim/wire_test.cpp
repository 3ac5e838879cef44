// The server's side of the wire, driven by a bare client: the login
// conversation, transactions, packet boundaries, fault injection and
// damaged input. The engine is a scripted double here.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "rt/odbc.h"
#include "storesim/server.h"
#include "support/posix/raw_client.h"
#include "support/scripted_engine.h"
#include "support/store_server.h"

namespace storesim {
namespace {

using testing::RawClient;
using testing::Reply;
using testing::ScriptedEngine;

class WireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = std::make_shared<ScriptedEngine>();
    server_ = std::make_unique<Server>(engine_);
    ASSERT_TRUE(server_->Start());
  }

  // A connection that is logged in.
  std::unique_ptr<RawClient> LoggedIn(std::uint32_t packet_size = 4096) {
    auto c = std::make_unique<RawClient>();
    EXPECT_TRUE(c->Connect(server_->port()));
    std::optional<Reply> r = c->Login("tandrel", "tolvank", "store", 0x730B0003, packet_size);
    EXPECT_TRUE(r && r->loginack_version);
    return c;
  }

  std::shared_ptr<ScriptedEngine> engine_;
  std::unique_ptr<Server> server_;
};

TEST_F(WireTest, LoginIsAnsweredInSqlServersOrderAtTheClientsVersion) {
  RawClient c;
  ASSERT_TRUE(c.Connect(server_->port()));
  std::optional<Reply> r = c.Login("tandrel", "tolvank", "store");
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->well_formed);
  EXPECT_EQ(r->loginack_version, 0x730B0003u);
  EXPECT_EQ(r->env_types, (std::vector<std::uint8_t>{1, 7, 2, 4}));  // database, collation, language, packet size
  EXPECT_EQ(r->infos, (std::vector<std::int32_t>{5701, 5703}));
  EXPECT_EQ(r->done_status, std::vector<std::uint16_t>{0});
  EXPECT_EQ(engine_->last_password, "tolvank");

  RawClient c74;
  ASSERT_TRUE(c74.Connect(server_->port()));
  r = c74.Login("tandrel", "tolvank", "", 0x74000004);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->loginack_version, 0x74000004u);

  // Older clients expect token formats this server does not write.
  RawClient c71;
  ASSERT_TRUE(c71.Connect(server_->port()));
  EXPECT_FALSE(c71.Login("tandrel", "tolvank", "", 0x71000001));

  std::vector<LoggedRequest> log = server_->Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], (LoggedRequest{1, RequestKind::Login, "tandrel", "store", false}));
}

TEST_F(WireTest, RefusedLoginsSendEveryMessageThenAnErrorDoneAndClose) {
  RawClient bad_password;
  ASSERT_TRUE(bad_password.Connect(server_->port()));
  std::optional<Reply> r = bad_password.Login("tandrel", "wrong", "store");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->errors, std::vector<std::int32_t>{18456});
  EXPECT_FALSE(r->loginack_version);
  EXPECT_EQ(r->done_status, std::vector<std::uint16_t>{tds::kDoneError});
  EXPECT_TRUE(bad_password.ClosedByServer());

  RawClient unknown_db;
  ASSERT_TRUE(unknown_db.Connect(server_->port()));
  r = unknown_db.Login("tandrel", "tolvank", "nosuchdb");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->errors, (std::vector<std::int32_t>{4060, 18456}));
  EXPECT_TRUE(unknown_db.ClosedByServer());
}

TEST_F(WireTest, BatchStatementsEachEndWithTheirDone) {
  engine_->on_batch = [](const std::string&) {
    BatchResult b;
    b.statements.push_back(testing::Done(1));
    b.statements.push_back(testing::Error(2627, "Violation of PRIMARY KEY constraint 'PK_x'."));
    b.statements.back().messages.push_back({3621, 0, 0, "The statement has been terminated.", "", 1});
    StatementResult use;
    use.database_change = "master";
    use.messages.push_back({5701, 2, 10, "Changed database context to 'master'.", "", 1});
    b.statements.push_back(use);
    b.statements.push_back(testing::Rows({"v"}, {{std::string("a")}, {std::nullopt}}));
    return b;
  };
  auto c = LoggedIn();
  std::optional<Reply> r = c->Batch("insert ...; insert ...; use master; select v from t");
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->well_formed);
  using namespace tds;
  EXPECT_EQ(r->done_status, (std::vector<std::uint16_t>{kDoneMore | kDoneCount, kDoneMore | kDoneError, kDoneMore,
                                                        kDoneCount}));
  EXPECT_EQ(r->done_rows, (std::vector<std::uint64_t>{1, 0, 0, 2}));
  EXPECT_EQ(r->errors, std::vector<std::int32_t>{2627});
  EXPECT_EQ(r->infos, (std::vector<std::int32_t>{3621, 5701}));
  EXPECT_EQ(r->env_types, std::vector<std::uint8_t>{1});
  ASSERT_EQ(r->rows.size(), 2u);
  EXPECT_EQ(r->rows[0][0], "a");
  EXPECT_FALSE(r->rows[1][0]);

  // An empty batch still gets its one DONE.
  engine_->on_batch = [](const std::string&) { return BatchResult{}; };
  r = c->Batch("");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->done_status, std::vector<std::uint16_t>{0});
}

TEST_F(WireTest, TransactionRequestsMoveTheDescriptorAndACloseRollsBack) {
  auto c = LoggedIn();
  auto request = [&](const tds::Bytes& body) {
    return c->Request(tds::kTransactionManager, testing::TransactionPayload(body));
  };
  std::optional<Reply> r = request({5, 0, 1, 0});  // begin
  ASSERT_TRUE(r);
  EXPECT_EQ(r->env_types, std::vector<std::uint8_t>{8});
  r = request({7, 0, 0, 1, 0, 0});  // commit and begin the next
  ASSERT_TRUE(r);
  EXPECT_EQ(r->env_types, (std::vector<std::uint8_t>{9, 8}));
  r = request({8, 0, 0, 0});  // rollback, autocommit back on
  ASSERT_TRUE(r);
  EXPECT_EQ(r->env_types, std::vector<std::uint8_t>{10});
  EXPECT_EQ(r->done_status, std::vector<std::uint16_t>{0});
  r = request({6, 0});  // a request kind the simulator does not serve
  ASSERT_TRUE(r);
  EXPECT_EQ(r->done_status, std::vector<std::uint16_t>{tds::kDoneError});
  ASSERT_EQ(r->errors.size(), 1u);

  r = request({5, 0, 1, 0});
  ASSERT_TRUE(r);
  c.reset();  // the client goes away inside a transaction
  ASSERT_TRUE(server_->WaitForIdle());
  server_->WithEngine([](Engine&) {});  // the session's close ran under the engine lock
  EXPECT_EQ(engine_->begins, 2);
  EXPECT_EQ(engine_->commits, 1);
  EXPECT_EQ(engine_->rollbacks, 1);
  EXPECT_EQ(engine_->closes_in_transaction, 1);

  std::vector<RequestKind> kinds;
  for (const LoggedRequest& l : server_->Log()) kinds.push_back(l.kind);
  EXPECT_EQ(kinds, (std::vector<RequestKind>{RequestKind::Login, RequestKind::Begin, RequestKind::Commit,
                                             RequestKind::Rollback, RequestKind::TransactionOther,
                                             RequestKind::Begin}));
}

TEST_F(WireTest, AttentionIsAnsweredWithDoneAttention) {
  auto c = LoggedIn();
  std::optional<Reply> r = c->Request(tds::kAttention, {});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->done_status, std::vector<std::uint16_t>{tds::kDoneAttention});
}

TEST_F(WireTest, CallsOfOtherProceduresAreRefusedAndTheConnectionGoesOn) {
  auto c = LoggedIn();
  const tds::Bytes by_name = {0x04, 0x00, 's', 0, 'p', 0, '_', 0, 'x', 0, 0x00, 0x00};
  const tds::Bytes by_id = {0xFF, 0xFF, 99, 0, 0x00, 0x00};
  for (const tds::Bytes& call : {by_name, by_id}) {
    std::optional<Reply> r = c->Request(tds::kRpc, testing::TransactionPayload(call));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->well_formed);
    EXPECT_EQ(r->errors, std::vector<std::int32_t>{2812});
    EXPECT_EQ(r->done_status, std::vector<std::uint16_t>{tds::kDoneError});
  }
  EXPECT_TRUE(c->Batch("select 1"));
}

TEST_F(WireTest, MessagesCrossPacketBoundariesBothWays) {
  const std::string value(3000, 'v');
  engine_->on_batch = [&](const std::string&) {
    BatchResult b;
    b.statements.push_back(testing::Rows({"v"}, {{value}}));
    return b;
  };
  auto c = LoggedIn(512);
  const std::string text = "select '" + std::string(2000, 'q') + "'";
  ASSERT_TRUE(c->Send(tds::kSqlBatch, testing::BatchPayload(text), 512));
  std::vector<std::size_t> sizes;
  std::optional<tds::Bytes> reply = c->Read(std::chrono::seconds(5), &sizes);
  ASSERT_TRUE(reply);
  EXPECT_GT(sizes.size(), 5u);
  for (std::size_t s : sizes) EXPECT_LE(s, 512u);
  Reply r = testing::ScanReply(*reply);
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0][0], value);
  EXPECT_EQ(server_->Batches(), std::vector<std::string>{text});
}

TEST_F(WireTest, InjectedCloseFallsOnTheKthRequestFromArming) {
  int executed = 0;
  engine_->on_batch = [&](const std::string&) {
    ++executed;
    BatchResult b;
    b.statements.push_back(testing::Done(1));
    return b;
  };
  auto c = LoggedIn();
  server_->CloseConnectionAfter(2);
  EXPECT_TRUE(c->Batch("one"));
  EXPECT_TRUE(c->Batch("two"));  // answered, then the connection ends
  EXPECT_TRUE(c->ClosedByServer());
  EXPECT_EQ(executed, 2);

  auto d = LoggedIn();
  EXPECT_TRUE(d->Batch("three"));  // the fault fired once only
  server_->CloseConnectionAfter(1, false);
  EXPECT_FALSE(d->Batch("four"));  // not carried out, not answered
  EXPECT_EQ(executed, 3);
  EXPECT_EQ(server_->Batches(), (std::vector<std::string>{"one", "two", "three", "four"}));
}

// Each damaged conversation ends its own connection; the server goes on
// serving others.
TEST_F(WireTest, DamagedInputEndsOnlyItsConnection) {
  using tds::Bytes;
  auto packet = [](std::uint8_t type, std::uint8_t status, const Bytes& body, int length = -1) {
    std::size_t len = length >= 0 ? static_cast<std::size_t>(length) : body.size() + 8;
    Bytes p(8 + body.size());
    const std::uint8_t head[8] = {type, status, static_cast<std::uint8_t>(len >> 8), static_cast<std::uint8_t>(len), 0, 0, 1, 0};
    std::copy(std::begin(head), std::end(head), p.begin());
    std::copy(body.begin(), body.end(), p.begin() + 8);
    return p;
  };
  Bytes login = testing::Login7Payload("tandrel", "tolvank", "store");
  Bytes bad_login = login;
  bad_login[68] = 0xFF;  // database offset past the end

  struct Case {
    const char* what;
    Bytes bytes;
    bool login_first;
  };
  const std::vector<Case> cases = {
      {"length below the header", packet(tds::kPrelogin, 1, {}, 4), false},
      {"batch before the login", packet(tds::kSqlBatch, 1, testing::BatchPayload("select 1")), false},
      {"login with a field past its end", packet(tds::kLogin7, 1, bad_login), false},
      {"unterminated prelogin options", packet(tds::kPrelogin, 1, {0x00, 0x00, 0x20, 0x00, 0x06}), false},
      {"second prelogin", packet(tds::kPrelogin, 1, testing::PreloginPayload()), false},
      {"type changes inside a message", [&] {
         Bytes b = packet(tds::kSqlBatch, 0, testing::BatchPayload("sel"));
         Bytes tail = packet(tds::kRpc, 1, {'x', 0});
         b.insert(b.end(), tail.begin(), tail.end());
         return b;
       }(), true},
      {"odd-length batch text", packet(tds::kSqlBatch, 1, [] {
         Bytes b = testing::BatchPayload("x");
         b.push_back(0);
         return b;
       }()), true},
      {"batch headers longer than the message", packet(tds::kSqlBatch, 1, {0xFF, 0, 0, 0, 'x', 0}), true},
      {"transaction request without its type", packet(tds::kTransactionManager, 1, {0x16, 0, 0, 0}), true},
      {"unknown packet type", packet(0x55, 1, {1, 2, 3}), true},
      {"login after the login", packet(tds::kLogin7, 1, login), true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    RawClient c;
    ASSERT_TRUE(c.Connect(server_->port()));
    if (k.login_first) {
      ASSERT_TRUE(c.Login("tandrel", "tolvank", "store"));
    } else if (std::string(k.what) == "second prelogin") {
      ASSERT_TRUE(c.Send(tds::kPrelogin, testing::PreloginPayload()));
      ASSERT_TRUE(c.Read());
    }
    c.SendRaw(k.bytes);
    EXPECT_TRUE(c.ClosedByServer());
  }

  // A client that never ends its message is cut off at the size limit.
  {
    RawClient c;
    ASSERT_TRUE(c.Connect(server_->port()));
    ASSERT_TRUE(c.Login("tandrel", "tolvank", "store"));
    Bytes chunk = packet(tds::kSqlBatch, 0, Bytes(32000, 'a'));
    bool cut = false;
    for (int i = 0; i < 700 && !cut; ++i) cut = !c.SendRaw(chunk);
    EXPECT_TRUE(cut || c.ClosedByServer());
  }

  auto c = LoggedIn();
  EXPECT_TRUE(c->Batch("select 1"));
  c.reset();
  EXPECT_TRUE(server_->WaitForIdle());
}

// What one client may take of the server: its login time, the size of its
// messages, and a place among the connections.
class ClientLimits : public ::testing::Test {
 protected:
  void Start(ServerOptions options) {
    options.notice = [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mu_);
      notices_.push_back(line);
    };
    engine_ = std::make_shared<ScriptedEngine>();
    server_ = std::make_unique<Server>(engine_, std::move(options));
    ASSERT_TRUE(server_->Start());
  }
  std::vector<std::string> Notices() {
    std::lock_guard<std::mutex> lock(mu_);
    return notices_;
  }
  // A connection that sent three bytes of a packet header and nothing more.
  std::unique_ptr<RawClient> Stalled() {
    auto c = std::make_unique<RawClient>();
    EXPECT_TRUE(c->Connect(server_->port()));
    EXPECT_TRUE(c->SendRaw({tds::kPrelogin, 1, 0}));
    return c;
  }
  std::unique_ptr<RawClient> LoggedIn() { return testing::LoggedInClient(server_->port()); }

  std::mutex mu_;
  std::vector<std::string> notices_;
  std::shared_ptr<ScriptedEngine> engine_;
  std::unique_ptr<Server> server_;
};

TEST_F(ClientLimits, ConnectionsThatDoNotLogInInTimeAreClosed) {
  ServerOptions o;
  o.login_timeout = std::chrono::milliseconds(500);
  Start(o);
  auto stalled = Stalled();
  auto half = std::make_unique<RawClient>();  // PRELOGIN answered, no LOGIN7
  ASSERT_TRUE(half->Connect(server_->port()));
  ASSERT_TRUE(half->Send(tds::kPrelogin, testing::PreloginPayload()));
  ASSERT_TRUE(half->Read());
  auto in = LoggedIn();

  EXPECT_TRUE(stalled->ClosedByServer(std::chrono::seconds(5)));
  EXPECT_TRUE(half->ClosedByServer(std::chrono::seconds(5)));
  // The timeout ends with the login: an idle session stays.
  EXPECT_TRUE(in->Batch("select 1"));
  // (The server counts a connection out a little after the client sees it close.)
  for (int i = 0; i < 500 && server_->active_connections() != 1u; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(server_->active_connections(), 1u);
  const std::vector<std::string> notices = Notices();
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_NE(notices[0].find("no login within 500 ms"), std::string::npos) << notices[0];
}

TEST_F(ClientLimits, OversizedPacketsAndMessagesEndTheirConnection) {
  ServerOptions o;
  o.max_request = 64 * 1024;
  Start(o);
  auto packet = [](std::uint8_t type, std::uint8_t status, std::size_t body) {
    tds::Bytes p(8 + body, 'a');
    const std::size_t len = p.size();
    const std::uint8_t head[8] = {type, status, static_cast<std::uint8_t>(len >> 8), static_cast<std::uint8_t>(len), 0, 0, 1, 0};
    std::copy(std::begin(head), std::end(head), p.begin());
    return p;
  };
  // A request within the limit is served; one past it ends the connection.
  auto c = LoggedIn();
  EXPECT_TRUE(c->Batch("select '" + std::string(30000, 'x') + "'"));
  ASSERT_TRUE(c->Send(tds::kSqlBatch, testing::BatchPayload("select '" + std::string(33000, 'x') + "'")));
  EXPECT_TRUE(c->ClosedByServer());

  // So does a packet longer than the size the login settled (4096), and a
  // message that never ends.
  c = LoggedIn();
  c->SendRaw(packet(tds::kSqlBatch, 1, 5000));
  EXPECT_TRUE(c->ClosedByServer());
  c = LoggedIn();
  for (int i = 0; i < 20; ++i) c->SendRaw(packet(tds::kSqlBatch, 0, 4000));
  EXPECT_TRUE(c->ClosedByServer());

  // Before the login, a message may not grow past the login's own limit.
  c = std::make_unique<RawClient>();
  ASSERT_TRUE(c->Connect(server_->port()));
  for (int i = 0; i < 8; ++i) c->SendRaw(packet(tds::kLogin7, 0, 30000));
  EXPECT_TRUE(c->ClosedByServer());

  EXPECT_TRUE(LoggedIn()->Batch("select 1"));
}

TEST_F(ClientLimits, StalledConnectionsHoldTheirPlacesOnlyUntilTheLoginTimeout) {
  ServerOptions o;
  o.login_timeout = std::chrono::seconds(1);
  o.max_connections = 8;
  Start(o);
  std::vector<std::unique_ptr<RawClient>> stalled;
  for (int i = 0; i < 8; ++i) stalled.push_back(Stalled());
  // Every place is taken: a newcomer is closed on arrival, and told of once.
  for (int i = 0; i < 3; ++i) {
    RawClient late;
    ASSERT_TRUE(late.Connect(server_->port()));
    EXPECT_TRUE(late.ClosedByServer());
  }
  const std::vector<std::string> notices = Notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("connection limit of 8 reached"), std::string::npos) << notices[0];

  for (auto& s : stalled) EXPECT_TRUE(s->ClosedByServer(std::chrono::seconds(5)));
  EXPECT_TRUE(server_->WaitForIdle());
  EXPECT_TRUE(LoggedIn()->Batch("select 1"));
}

TEST_F(WireTest, StopEndsOpenConnectionsAndClosesTheirSessions) {
  auto a = LoggedIn();
  auto b = LoggedIn();
  ASSERT_TRUE(b->Send(tds::kTransactionManager, testing::TransactionPayload({5, 0, 1, 0})));
  ASSERT_TRUE(b->Read());
  server_->Stop();
  EXPECT_TRUE(a->ClosedByServer());
  EXPECT_TRUE(b->ClosedByServer());
  EXPECT_EQ(server_->active_connections(), 0u);
  EXPECT_EQ(engine_->closes_in_transaction, 1);
  server_->Stop();  // a second stop is harmless
}

// The close callback may ask the server about itself, and other clients
// are served while it runs, however long it takes.
TEST_F(WireTest, CloseCallbackRunsWhileOtherClientsAreServed) {
  // The callback outlives this test's scope (the second client's close
  // comes after it), so what it touches is shared with it.
  struct State {
    std::promise<void> entered, second_connected;
    std::shared_future<void> second{second_connected.get_future().share()};
    std::promise<std::size_t> first_done;
    std::atomic<int> calls{0};
  };
  auto state = std::make_shared<State>();
  Server* server = server_.get();
  server_->OnConnectionClosed([state, server] {
    if (state->calls++ != 0) return;
    state->entered.set_value();
    state->second.wait_for(std::chrono::seconds(5));
    // Long enough for the server to take the next connection meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    state->first_done.set_value(server->Log().size());
  });
  std::future<std::size_t> first_log = state->first_done.get_future();
  auto a = LoggedIn();
  a.reset();
  ASSERT_EQ(state->entered.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  RawClient b;
  ASSERT_TRUE(b.Connect(server_->port()));
  state->second_connected.set_value();
  std::optional<Reply> r = b.Login("tandrel", "tolvank", "store");
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->loginack_version);
  EXPECT_TRUE(b.Batch("select 1"));
  ASSERT_EQ(first_log.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_GE(first_log.get(), 1u);
}

// T-SQL that begins, commits or rolls back a transaction is reported as
// SQL Server reports it: ENVCHANGE 8, 9 (committed) or 10 (rolled back),
// at the statement that did it.
TEST(WireTransactions, BatchesReportBeginCommitAndRollbackAsTheyHappen) {
  testing::StoreServer store;
  RawClient c;
  ASSERT_TRUE(c.Connect(store.server().port()));
  ASSERT_TRUE(c.Login("tandrel", "tolvank", "store"));
  auto envs = [&](const std::string& sql) {
    std::optional<Reply> r = c.Batch(sql);
    EXPECT_TRUE(r && r->well_formed && r->errors.empty()) << sql;
    return r ? r->env_types : std::vector<std::uint8_t>{};
  };
  using E = std::vector<std::uint8_t>;
  EXPECT_EQ(envs("begin tran"), E{8});
  EXPECT_EQ(envs("insert into t_sys_operator (oper_id) values ('2001')\ncommit"), E{9});
  EXPECT_EQ(envs("begin tran\nrollback"), (E{8, 10}));
  EXPECT_EQ(envs("begin tran\ncommit\nbegin tran"), (E{8, 9, 8}));
  EXPECT_EQ(envs("IF @@TRANCOUNT > 0 ROLLBACK"), E{10});
  EXPECT_EQ(envs("select count(*) from t_sys_operator where oper_id = '2001'"), E{});
}

// Values of every column type, read back through the real driver.
TEST_F(WireTest, ColumnValuesArriveAsTheDriverReadsThem) {
  engine_->on_batch = [](const std::string& sql) {
    ResultSet rs;
    ColumnType type = sql == "int" ? ColumnType::Int
                      : sql == "big" ? ColumnType::Int
                      : sql.rfind("dec", 0) == 0 ? ColumnType::Decimal
                      : sql == "dt" ? ColumnType::DateTime
                                    : ColumnType::VarChar;
    rs.columns.push_back({"", type, 20});
    std::string v = sql == "int" ? "-42"
                    : sql == "big" ? "9000000000"
                    : sql == "dec" ? "1234.5600"
                    : sql == "decneg" ? "-0.0001"
                    : sql == "dt" ? "2019-01-10 08:30:15.500"
                                  : "岚舟";
    rs.rows.push_back({v});
    StatementResult st;
    st.result = rs;
    BatchResult b;
    b.statements.push_back(st);
    return b;
  };
  rt::install_odbc_driver();
  rt::transaction t;
  testing::ConfigureLogin(t, "127.0.0.1," + std::to_string(server_->port()));
  t.connect();
  ASSERT_EQ(*t.SQLCode, 0) << rt::utf8(*t.SQLErrText);
  auto read = [&](const char* what) {
    rt::String v;
    t.select_into(what, v);
    EXPECT_EQ(*t.SQLCode, 0) << what << ": " << rt::utf8(*t.SQLErrText);
    return v.value_or("<null>");
  };
  EXPECT_EQ(read("int"), "-42");
  EXPECT_EQ(read("big"), "9000000000");
  EXPECT_EQ(read("dec"), "1234.5600");
  EXPECT_EQ(read("decneg"), "-0.0001");
  EXPECT_EQ(read("dt"), "2019-01-10 08:30:15.500");
  EXPECT_EQ(read("text"), rt::gbk("岚舟"));
  t.disconnect();
}

// Clients that prepare statements reach the server through procedure
// calls; those without parameters are served.
TEST_F(WireTest, PreparedStatementsWithoutParametersAreServed) {
  engine_->on_batch = [](const std::string& sql) {
    BatchResult b;
    b.statements.push_back(testing::Rows({"echo"}, {{sql}}));
    return b;
  };
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT st = nullptr;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
  std::string cs = "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(server_->port()) +
                   ";UID=tandrel;PWD=tolvank;DATABASE=store;TDS_Version=7.3;ClientCharset=UTF-8";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, nullptr,
                                             0, nullptr, SQL_DRIVER_NOPROMPT)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st)));
  std::string sql = "select '门店'";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(st, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)));
  for (int run = 0; run < 2; ++run) {  // prepared and executed, then executed again by handle
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(st))) << run;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(st)));
    char buf[64] = {};
    SQLLEN ind = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(st, 1, SQL_C_CHAR, buf, sizeof buf, &ind)));
    EXPECT_EQ(std::string(buf), sql);
    SQLCloseCursor(st);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);

  // A parameter is refused with the server's message, not a broken connection.
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st)));
  SQLINTEGER value = 7;
  SQLLEN value_len = 0;
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &value, 0, &value_len);
  std::string with_param = "select ?";
  EXPECT_EQ(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(with_param.data()), SQL_NTS), SQL_ERROR);
  SQLINTEGER native = 0;
  SQLCHAR state[6];
  SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, nullptr, 0, nullptr);
  EXPECT_EQ(native, 8180);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st)));
  std::string plain = "select 2";
  EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(plain.data()), SQL_NTS)));
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);

  std::vector<std::string> rpc_texts;
  for (const LoggedRequest& r : server_->Log()) {
    if (r.kind == RequestKind::Rpc) rpc_texts.push_back(r.text);
  }
  ASSERT_GE(rpc_texts.size(), 3u);
  EXPECT_EQ(rpc_texts[0], sql);
  EXPECT_EQ(rpc_texts[1], sql);
}

}  // namespace
}  // namespace storesim
