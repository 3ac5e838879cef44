// The storesim program as the README runs it.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "rt/odbc.h"
#include "storesim/memory_engine.h"
#include "support/posix/raw_client.h"
#include "support/posix/simulator_process.h"
#include "support/store_server.h"

namespace {

using storesim::testing::SimulatorProcess;

// Connects `t` with the program's login to the port a run announced on
// its first line.
void ConnectTo(SimulatorProcess& p, rt::transaction& t) {
  const std::string line = p.Line();
  const std::string prefix = "listening on 127.0.0.1:";
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  const std::string port = line.substr(prefix.size());
  ASSERT_FALSE(port.empty());
  rt::install_odbc_driver();
  storesim::testing::ConfigureLogin(t, "127.0.0.1," + port);
  t.connect();
  ASSERT_EQ(*t.SQLCode, 0) << rt::utf8(t.SQLErrText.value_or(""));
}

TEST(Program, ServesTheSampleStoreAndKeepsItsStateBetweenRuns) {
  char dir[] = "/tmp/storesim_state_XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string state = std::string(dir) + "/store.state";
  {
    SimulatorProcess p({"--port", "0", "--state", state});
    rt::transaction t;
    ASSERT_NO_FATAL_FAILURE(ConnectTo(p, t));
    rt::String stage;
    t.select_into("select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id ='UPGRADE_DATE'",
                  stage);
    EXPECT_EQ(*t.SQLCode, 0);
    EXPECT_EQ(stage.value_or(""), "00000000");
    t.execute_immediate("update t_sys_system set sys_var_value ='20151227' where sys_var_id ='UPGRADE_DATE'");
    EXPECT_EQ(*t.SQLCode, 0);
    t.disconnect();
    EXPECT_EQ(p.Signal(SIGTERM), 0);
  }
  {
    SimulatorProcess p({"--state", state, "--port", "0"});
    rt::transaction t;
    ASSERT_NO_FATAL_FAILURE(ConnectTo(p, t));
    rt::String stage;
    t.select_into("select sys_var_value from t_sys_system where sys_var_id ='UPGRADE_DATE'", stage);
    EXPECT_EQ(stage.value_or(""), "20151227");
    t.disconnect();
    EXPECT_EQ(p.Signal(SIGTERM), 0);
  }
  std::remove(state.c_str());
  ::rmdir(dir);
}

// Lines of a file.
std::vector<std::string> LinesOf(const std::string& path) {
  std::vector<std::string> lines;
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return lines;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, f)) {
    std::string line = buf;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    lines.push_back(line);
  }
  std::fclose(f);
  return lines;
}

TEST(Program, WritesTheRequestLogAndAnswersQueriesOnItsState) {
  char dir[] = "/tmp/storesim_log_XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string state = std::string(dir) + "/store.state";
  const std::string log = std::string(dir) + "/requests.log";
  const std::string stage_query = "select sys_var_value from t_sys_system where sys_var_id = 'UPGRADE_DATE'";
  {
    // Without a state file, the fresh sample store; nothing is saved.
    SimulatorProcess q({"--state", state, "--query", stage_query});
    EXPECT_EQ(q.Line(), "00000000");
    EXPECT_EQ(q.Wait(), 0);
    SimulatorProcess dup({"--query",
                          "insert t_sys_system values ('UPGRADE_DATE', 'UPGRADE_DATE', '00000000', '', '', null, null, "
                          "null)"});
    EXPECT_EQ(dup.Wait(), 1);  // the sample keys t_sys_system on sys_var_id
  }
  {
    SimulatorProcess p({"--port", "0", "--state", state, "--log", log});
    rt::transaction t;
    ASSERT_NO_FATAL_FAILURE(ConnectTo(p, t));
    t.execute_immediate("update t_sys_system\r\nset sys_var_value ='20151227' where sys_var_id ='UPGRADE_DATE'");
    t.disconnect();
    EXPECT_EQ(p.Signal(SIGTERM), 0);
  }
  std::vector<std::string> lines = LinesOf(log);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "#1 login tandrel to store");
  std::vector<std::string> tail(lines.end() - std::min<std::ptrdiff_t>(3, lines.size()), lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"#1 batch", "    update t_sys_system",
                                            "    set sys_var_value ='20151227' where sys_var_id ='UPGRADE_DATE'"}));
  {
    SimulatorProcess q({"--state", state, "--query", stage_query + "; select 'a', null"});
    EXPECT_EQ(q.Line(), "20151227");
    EXPECT_EQ(q.Line(), "a\tNULL");
    EXPECT_EQ(q.Wait(), 0);
  }
  {
    // The dump of the saved state holds the update, as the engine dumps it.
    storesim::MemoryEngine engine;
    std::string why;
    ASSERT_TRUE(engine.Load(state, &why)) << why;
    SimulatorProcess d({"--state", state, "--dump"});
    std::string text = d.Rest();
    EXPECT_EQ(d.Wait(), 0);
    EXPECT_EQ(text, engine.Dump());
    EXPECT_NE(text.find("20151227"), std::string::npos);
  }
  std::remove(state.c_str());
  std::remove(log.c_str());
  ::rmdir(dir);
}

// A temporary folder for a state file.
struct StateDir {
  StateDir() {
    char tmpl[] = "/tmp/storesim_kill_XXXXXX";
    if (::mkdtemp(tmpl)) dir = tmpl;
    state = dir + "/store.state";
  }
  ~StateDir() { std::filesystem::remove_all(dir); }
  bool Exists() const { return std::filesystem::exists(state); }
  // Waits (up to 5 seconds) for the state file to appear.
  bool WaitForFile() const {
    for (int i = 0; i < 1000 && !Exists(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return Exists();
  }
  // The first value that `sql` gives on the saved state.
  std::string Query(const std::string& sql) const {
    SimulatorProcess q({"--state", state, "--query", sql});
    std::string line = q.Line();
    q.Wait();
    return line;
  }
  std::string dir, state;
};

// Session A drops a procedure in a transaction, session B connects and
// leaves (the state is saved), and the server is killed: the restarted
// server has the procedure, and nothing of A's open transaction.
TEST(Program, AKilledServerComesBackWithCommittedWorkOnly) {
  StateDir d;
  ASSERT_FALSE(d.dir.empty());
  SimulatorProcess p({"--port", "0", "--state", d.state});
  const std::uint16_t port = p.Port();
  ASSERT_NE(port, 0);
  storesim::testing::RawClient a;
  ASSERT_TRUE(a.Connect(port));
  ASSERT_TRUE(a.Login("tandrel", "tolvank", "store"));
  ASSERT_TRUE(a.Batch("create procedure pr_keep as select 1"));
  auto r = a.Batch("begin tran\ndrop procedure pr_keep\ninsert into t_sys_operator (oper_id) values ('2001')");
  ASSERT_TRUE(r);
  ASSERT_TRUE(r->errors.empty());
  {
    storesim::testing::RawClient b;
    ASSERT_TRUE(b.Connect(port));
    ASSERT_TRUE(b.Login("tandrel", "tolvank", "store"));
  }
  ASSERT_TRUE(d.WaitForFile());
  p.Signal(SIGKILL);  // kill -9: the program gets no chance to save

  EXPECT_EQ(d.Query("select count(*) from sysobjects where name = 'pr_keep'"), "1");
  EXPECT_EQ(d.Query("select count(*) from t_sys_operator where oper_id = '2001'"), "0");
}

// A connection that never logs in changes nothing, and gets nothing
// written.
TEST(Program, ConnectionsThatNeverLogInLeaveTheStateFileAlone) {
  StateDir d;
  ASSERT_FALSE(d.dir.empty());
  SimulatorProcess p({"--port", "0", "--state", d.state});
  const std::uint16_t port = p.Port();
  ASSERT_NE(port, 0);
  {
    storesim::testing::RawClient bare;
    ASSERT_TRUE(bare.Connect(port));
    storesim::testing::RawClient refused;
    ASSERT_TRUE(refused.Connect(port));
    ASSERT_TRUE(refused.Login("tandrel", "wrong", "store"));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  p.Signal(SIGKILL);  // kill -9: the program gets no chance to save
  EXPECT_FALSE(d.Exists());
}

TEST(Program, RefusesBadArguments) {
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"--port", "http"}, {"--port", "70000"},
                                        {"--port", "0", "--colour"}, {"--dump", "--query", "select 1"},
                                        {"--port", "0", "--login-timeout", "soon"},
                                        {"--port", "0", "--max-connections", "0"},
                                        {"--port", "0", "--max-request", "12"}}) {
    SimulatorProcess p(args);
    EXPECT_EQ(p.Wait(), 2);
  }
}

}  // namespace
