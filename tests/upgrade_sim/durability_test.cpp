// The storesim program killed (kill -9) at random points of an upgrade
// whose loader re-creates many procedures, while a second client comes
// and goes, each time holding a transaction open while yet another
// connection ends (so the state file is written then). After a restart
// from the state file and one more upgrade, the database must equal the
// one of a clean upgrade: the file never holds uncommitted work, and it is
// never torn.
//
// The kill points are operations of the program's connection object (the
// k-th statement, commit or autocommit switch), drawn from a seed that the
// test prints; STORESIM_KILL_SEED=<seed> replays a run.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rt/odbc.h"
#include "rt/text.h"
#include "support/posix/raw_client.h"
#include "support/posix/simulator_process.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

namespace {

using e2e::ProgramRun;
using e2e::Workplace;
using Simulator = storesim::testing::SimulatorProcess;

constexpr int kProcedures = 150;
constexpr int kKills = 20;

// What `storesim --dump` prints for a state file.
std::string DumpOf(const std::string& state) {
  Simulator d({"--state", state, "--dump"});
  std::string text = d.Rest();
  return d.Wait() == 0 ? text : "(the state file does not load)\n" + text;
}

// The connection object's operations pass through here; at the chosen
// one the simulator is killed before the operation reaches it.
struct KillSwitch {
  int operations = 0;
  int kill_at = 0;  // 0: never
  Simulator* target = nullptr;
  void Tick() {
    if (++operations == kill_at && target) target->Signal(SIGKILL);
  }
};

class CountingDriver : public rt::DbDriver {
 public:
  CountingDriver(std::unique_ptr<rt::DbDriver> inner, KillSwitch& ks) : inner_(std::move(inner)), ks_(ks) {}
  rt::DbStatus Connect(const rt::DbSettings& s) override {
    ks_.Tick();
    return inner_->Connect(s);
  }
  rt::DbStatus Disconnect() override {
    ks_.Tick();
    return inner_->Disconnect();
  }
  rt::DbStatus Execute(const std::string& sql) override {
    ks_.Tick();
    return inner_->Execute(sql);
  }
  rt::DbStatus SelectString(const std::string& sql, std::optional<std::string>* v) override {
    ks_.Tick();
    return inner_->SelectString(sql, v);
  }
  rt::DbStatus Commit() override {
    ks_.Tick();
    return inner_->Commit();
  }
  rt::DbStatus Rollback() override {
    ks_.Tick();
    return inner_->Rollback();
  }
  rt::DbStatus SetAutoCommit(bool on) override {
    ks_.Tick();
    return inner_->SetAutoCommit(on);
  }

 private:
  std::unique_ptr<rt::DbDriver> inner_;
  KillSwitch& ks_;
};

// The second client: over and over, a connection opens a transaction with
// work of its own (never committed), another connection logs in and
// leaves while it is open, and then the first leaves too.
class Visitor {
 public:
  explicit Visitor(std::uint16_t port) : thread_([this, port] { Loop(port); }) {}
  ~Visitor() {
    stop_ = true;
    thread_.join();
  }
  int visits() const { return visits_; }

 private:
  void Loop(std::uint16_t port) {
    using storesim::testing::RawClient;
    while (!stop_) {
      RawClient holder;
      if (!holder.Connect(port) || !holder.Login("tandrel", "tolvank", "store")) return;  // the server is gone
      if (!holder.Batch("begin tran\ncreate table t_visitor (a int)\ninsert into t_visitor values (1)")) {
        return;
      }
      {
        RawClient passer;
        if (!passer.Connect(port) || !passer.Login("tandrel", "tolvank", "store")) return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ++visits_;
    }
  }
  std::atomic<bool> stop_{false};
  std::atomic<int> visits_{0};
  std::thread thread_;
};

class KilledServer : public ::testing::Test {
 protected:
  void SetUp() override {
    // Procedures for the loader, named as scripts for SQL Server are.
    const std::string scripts = scripts_dir_.sub("pr_tr");
    for (int i = 0; i < kProcedures; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "pr_kill_%03d_MS", i);
      scripts_dir_.write(std::string("pr_tr/") + name + ".sql",
                         "if exists (select 1 from sysobjects where name = '" + std::string(name) +
                             "' and type = 'P')\r\n\tdrop procedure " + name + "\r\ngo\r\ncreate procedure " + name +
                             "\r\nas\r\nbegin\r\n\tselect count(*) from t_sys_menu where menu_id > '" +
                             std::to_string(i) + "'\r\nend\r\n");
    }
    for (const auto& e : std::filesystem::directory_iterator(e2e::sample_dir() + "/pr_tr")) {
      std::filesystem::copy_file(e.path(), scripts + "/" + e.path().filename().string());
    }
    place_.add_update_sql();
    {
      storesim::SampleOptions o;
      o.system_primary_key = true;
      e2e::StoreServer builder(o);
      place_.build_pack(builder, scripts);
    }
    // Every connection object from here on counts its operations.
    e2e::use_odbc_client();
    previous_ = rt::transaction::driver_factory();
    rt::transaction::set_driver_factory([this](const std::string& dbms) -> std::unique_ptr<rt::DbDriver> {
      std::unique_ptr<rt::DbDriver> d = previous_(dbms);
      if (!d) return d;
      return std::make_unique<CountingDriver>(std::move(d), kill_);
    });
  }
  void TearDown() override { rt::transaction::set_driver_factory(previous_); }

  // One program run: Alt+U, then exit. The boxes the user saw.
  std::vector<std::string> Upgrade() {
    ProgramRun run(place_);
    run.upgrade();
    std::vector<std::string> boxes = run.boxes();
    run.close();
    return boxes;
  }

  testing_support::TempDir scripts_dir_;
  Workplace place_;
  KillSwitch kill_;
  rt::transaction::DriverFactory previous_;
};

TEST_F(KilledServer, RestartAndOneMoreUpgradeEndLikeACleanUpgrade) {
  // The clean run: one upgrade, the simulator stopped as a user stops it.
  testing_support::TempDir clean_dir;
  const std::string clean_state = clean_dir.path() + "/store.state";
  {
    Simulator sim({"--port", "0", "--state", clean_state});
    const std::uint16_t port = sim.Port();
    ASSERT_NE(port, 0);
    place_.point_at("127.0.0.1," + std::to_string(port));
    ASSERT_EQ(Upgrade(), e2e::upgrade_succeeded_boxes());
    ASSERT_EQ(sim.Signal(SIGTERM), 0);
  }
  const int operations = kill_.operations;
  ASSERT_GT(operations, 3 * kProcedures);
  const std::string clean = DumpOf(clean_state);
  ASSERT_NE(clean.find("pr_kill_149_MS"), std::string::npos);

  std::uint64_t seed = std::random_device{}();
  if (const char* s = std::getenv("STORESIM_KILL_SEED")) seed = std::strtoull(s, nullptr, 10);
  std::cout << "kill points from seed " << seed << " (replay: STORESIM_KILL_SEED=" << seed << ")\n";
  RecordProperty("seed", std::to_string(seed));
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> point(1, operations);

  int survived = 0;
  std::ostringstream failures;
  for (int trial = 0; trial < kKills; ++trial) {
    testing_support::TempDir dir;
    const std::string state = dir.path() + "/store.state";
    const int kill_at = point(rng);
    int visits = 0;
    {
      Simulator sim({"--port", "0", "--state", state});
      const std::uint16_t port = sim.Port();
      ASSERT_NE(port, 0);
      place_.point_at("127.0.0.1," + std::to_string(port));
      kill_ = KillSwitch{0, kill_at, &sim};
      {
        Visitor visitor(port);
        Upgrade();
        visits = visitor.visits();
      }
      sim.Signal(SIGKILL);  // when the kill point was not reached
      kill_ = KillSwitch{};
    }
    std::string dump;
    std::vector<std::string> boxes;
    {
      Simulator sim({"--port", "0", "--state", state});
      const std::uint16_t port = sim.Port();
      if (port != 0) {
        place_.point_at("127.0.0.1," + std::to_string(port));
        boxes = Upgrade();
        sim.Signal(SIGTERM);
        dump = DumpOf(state);
      }
    }
    std::cout << "kill " << trial + 1 << ": at operation " << kill_at << " of " << operations << ", " << visits
              << " visits\n";
    if (dump == clean && boxes == e2e::upgrade_succeeded_boxes()) {
      ++survived;
    } else {
      failures << "  kill at operation " << kill_at << ":"
               << (dump.empty() ? " the restart did not serve" : dump == clean ? "" : " database differs")
               << (boxes == e2e::upgrade_succeeded_boxes() ? "" : " the upgrade after the restart failed") << "\n";
    }
  }
  std::cout << "kills survived: " << survived << " of " << kKills << "\n";
  RecordProperty("kills", kKills);
  RecordProperty("kills_survived", survived);
  EXPECT_EQ(survived, kKills) << "seed " << seed << "\n" << failures.str();
}

}  // namespace
