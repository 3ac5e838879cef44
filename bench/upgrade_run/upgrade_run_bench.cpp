// One full upgrade from "00000000" (every stage, update.sql, the grants and
// the loader with the sample pack) as the program runs it: the headless
// window, the ODBC client, the simulator on loopback. Beside it, in the
// same iteration and against the same server, as many bare round trips as
// the upgrade made, on a connection of its own: the floor that the network
// and the client set. The upgrade may take at most twice the floor
// (counter "ratio").
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "rt/odbc.h"
#include "rt/transaction.h"
#include "rt/window/headless.h"
#include "rt/window/session.h"
#include "storesim/memory_engine.h"
#include "storesim/sample_store.h"
#include "storesim/server.h"
#include "upgrade/db_upgrade_pos.h"
#include "upgrade/pack_builder.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The working folder of the program: the sample update.sql and a pack of
// the sample scripts; the registry file beside them.
class WorkFolder {
 public:
  WorkFolder() {
    std::string pattern = (fs::temp_directory_path() / "upgrade-run-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    fs::copy_file(std::string(SCHEMALIFT_SAMPLE_DIR) + "/update.sql", dir_ / "update.sql");
    upgrade::MemoryListBox lb;
    if (!upgrade::cb_get_clicked(dir_.string() + "/", lb, std::string(SCHEMALIFT_SAMPLE_DIR) + "/pr_tr/"))
      throw std::runtime_error("the sample pack could not be built");
    previous_ = fs::current_path();
    fs::current_path(dir_);
  }
  ~WorkFolder() {
    fs::current_path(previous_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void point_at(std::uint16_t port) {
    const std::string ini = (dir_ / "registry.ini").string();
    FILE* f = std::fopen(ini.c_str(), "w");
    std::fprintf(f, "[SOFTWARE\\tandrel]\nSERVERNAME=127.0.0.1,%u\nDATABASE=store\n", static_cast<unsigned>(port));
    std::fclose(f);
    ::setenv("SCHEMALIFT_REGISTRY", ini.c_str(), 1);
  }

 private:
  fs::path dir_, previous_;
};

struct Store {
  Store() : engine(std::make_shared<storesim::MemoryEngine>()) {
    storesim::SampleOptions o;
    o.system_primary_key = true;
    if (!storesim::CreateSampleStore(*engine, o)) throw std::runtime_error("sample store");
    server = std::make_unique<storesim::Server>(engine);
    if (!server->Start()) throw std::runtime_error("simulator");
  }
  std::shared_ptr<storesim::MemoryEngine> engine;
  std::unique_ptr<storesim::Server> server;
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_FullUpgradeBesideRoundTrips(benchmark::State& state) {
  rt::install_odbc_driver();
  WorkFolder work;
  double upgrade_total = 0, floor_total = 0;
  std::int64_t trips = 0;
  for (auto _ : state) {
    Store store;
    work.point_at(store.server->port());

    // The program starts and connects; the user presses Alt+U.
    rt::HeadlessBackend backend;
    upgrade::db_upgrade_pos app;
    rt::Session session(app, backend);
    session.start(std::string());
    backend.process_events();
    store.server->ClearLog();
    const Clock::time_point t0 = Clock::now();
    backend.press_accelerator(*app.w_db_upgrade, 'u');
    const Clock::time_point t1 = Clock::now();
    trips = 0;
    for (const auto& r : store.server->Log()) trips += r.kind != storesim::RequestKind::Login;
    if (backend.recorder().boxes().size() != 1) state.SkipWithError("the upgrade did not end with its success message");

    // As many trivial requests on a connection of their own.
    rt::transaction bare;
    bare.DBMS = std::string("MSS");
    bare.ServerName = "127.0.0.1," + std::to_string(store.server->port());
    bare.Database = std::string("store");
    bare.LogID = std::string("tandrel");
    bare.LogPass = std::string("tolvank");
    bare.SetAutoCommit(true);
    bare.connect();
    const std::string trivial = "set nocount on";
    const Clock::time_point f0 = Clock::now();
    for (std::int64_t i = 0; i < trips; ++i) bare.execute_immediate(trivial);
    const Clock::time_point f1 = Clock::now();
    bare.disconnect();

    state.SetIterationTime(seconds(t1 - t0));
    upgrade_total += seconds(t1 - t0);
    floor_total += seconds(f1 - f0);
    session.end();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["round_trips"] = static_cast<double>(trips);
  state.counters["upgrade_ms"] = 1e3 * upgrade_total / n;
  state.counters["floor_ms"] = 1e3 * floor_total / n;
  state.counters["ratio"] = floor_total > 0 ? upgrade_total / floor_total : 0;
}
BENCHMARK(BM_FullUpgradeBesideRoundTrips)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
