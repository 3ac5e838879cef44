// One cold sample per process: what the user waits for when the program
// runs once. bench/upgrade_cold/cold.sh starts this program afresh for
// every sample, interleaved across the cases, and takes the medians.
//
//   upgrade_cold pack DIR RECORDS     writes DIR/db.dat: RECORDS scripts of about 2 KB
//   upgrade_cold load DIR RECORDS     the loader's first load of DIR/db.dat against a
//                                     client that only counts the statements
//   upgrade_cold prepare DIR          the program's working folder: the sample
//                                     update.sql and the pack of the sample scripts
//   upgrade_cold upgrade DIR PORT     the whole upgrade from the working folder DIR as
//                                     the program runs it (headless window, ODBC
//                                     client) against the simulator on PORT
//   upgrade_cold start DIR PORT       the same up to the press of Alt+U: the program
//                                     starts, connects and waits
//   upgrade_cold trivial PORT N       one ODBC connection to the simulator on PORT
//                                     and N trivial requests on it
//
// Each timed case prints one line "ms=<milliseconds from the start of main
// to the end of the work>" and exits 0; anything else is a failed sample.
// The load adds "cpu_ms=" and "faults=", the processor time and the page
// faults of the whole process.
// The upgrade and the trivial requests add "work_ms=": the upgrade from the
// press of Alt+U, the requests from the end of connecting.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "rt/odbc.h"
#include "rt/text.h"
#include "rt/transaction.h"
#include "rt/ui.h"
#include "rt/window/headless.h"
#include "rt/window/session.h"
#include "upgrade/db_upgrade_pos.h"
#include "upgrade/pack_builder.h"
#include "upgrade/pack_loader.h"
#include "upgrade/script_pack.h"
#include "support/loader_bench.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// The processor time of the process so far (user and system; on a busy
// machine it varies less than the elapsed time) and its page faults.
int report(Clock::time_point start) {
  const double ms = ms_since(start);
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  auto in_ms = [](const timeval& t) { return 1e3 * static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e3; };
  std::printf("ms=%.3f cpu_ms=%.3f faults=%ld\n", ms, in_ms(u.ru_utime) + in_ms(u.ru_stime), u.ru_minflt + u.ru_majflt);
  return 0;
}

// The whole run, and the part after the connection (the upgrade from the
// press of Alt+U; the trivial requests alone).
int report(Clock::time_point start, Clock::time_point connected) {
  const double work = ms_since(connected);
  std::printf("ms=%.3f work_ms=%.3f\n", ms_since(start), work);
  return 0;
}

int fail(const char* why) {
  std::fprintf(stderr, "upgrade_cold: %s\n", why);
  return 1;
}

using loader_bench::CountingSession;
using loader_bench::pack_text;

int write_pack(const std::string& dir, int records) {
  fs::create_directories(dir);
  std::ofstream out(fs::path(dir) / "db.dat", std::ios::binary);
  out << pack_text(records);
  return out.good() ? 0 : fail("cannot write the pack");
}

int first_load(Clock::time_point start, const std::string& dir, int records) {
  CountingSession db;
  const bool ok = upgrade::cb_put_clicked(db.sqlca, dir + "/");
  if (!ok || db.statements != 2LL * records) return fail("the pack did not load");
  return report(start);
}

int prepare(const std::string& dir) {
  fs::create_directories(dir);
  fs::copy_file(std::string(SCHEMALIFT_SAMPLE_DIR) + "/update.sql", fs::path(dir) / "update.sql",
                fs::copy_options::overwrite_existing);
  upgrade::MemoryListBox lb;
  if (!upgrade::cb_get_clicked(dir + "/", lb, std::string(SCHEMALIFT_SAMPLE_DIR) + "/pr_tr/"))
    return fail("the sample pack could not be built");
  return 0;
}

int full_upgrade(Clock::time_point start, const std::string& dir, const std::string& port, bool press) {
  const std::string ini = dir + "/registry.ini";
  {
    std::ofstream out(ini);
    out << "[SOFTWARE\\tandrel]\nSERVERNAME=127.0.0.1," << port << "\nDATABASE=store\n";
  }
  ::setenv("SCHEMALIFT_REGISTRY", ini.c_str(), 1);
  fs::current_path(dir);

  // The program starts and connects; the user presses Alt+U and waits for
  // the loader's success message.
  rt::install_odbc_driver();
  rt::HeadlessBackend backend;
  upgrade::db_upgrade_pos app;
  rt::Session session(app, backend);
  session.start(std::string());
  backend.process_events();
  if (!backend.recorder().boxes().empty()) return fail("the program did not connect");
  if (!press) {
    session.end();
    return 0;
  }
  const Clock::time_point pressed = Clock::now();
  backend.press_accelerator(*app.w_db_upgrade, 'u');
  if (backend.recorder().boxes().size() != 1) return fail("the upgrade did not end with its success message");
  const int rc = report(start, pressed);
  session.end();
  return rc;
}

int trivial(Clock::time_point start, const std::string& port, long n) {
  rt::install_odbc_driver();
  rt::transaction bare;
  bare.DBMS = std::string("MSS");
  bare.ServerName = "127.0.0.1," + port;
  bare.Database = std::string("store");
  bare.LogID = std::string("tandrel");
  bare.LogPass = std::string("tolvank");
  bare.SetAutoCommit(true);
  bare.connect();
  if (bare.SQLCode.value_or(0) != 0) return fail("no connection");
  const Clock::time_point connected = Clock::now();
  const std::string request = "set nocount on";
  for (long i = 0; i < n; ++i) {
    bare.execute_immediate(request);
    if (bare.SQLCode.value_or(0) != 0) return fail("a trivial request failed");
  }
  const int rc = report(start, connected);
  bare.disconnect();
  return rc;
}

int usage() {
  std::fprintf(stderr,
               "usage: upgrade_cold pack DIR RECORDS | load DIR RECORDS | prepare DIR | upgrade DIR PORT |"
               " trivial PORT N\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const Clock::time_point start = Clock::now();
  if (argc < 3) return usage();
  const std::string mode = argv[1];
  if (mode == "pack" && argc == 4) return write_pack(argv[2], std::atoi(argv[3]));
  if (mode == "load" && argc == 4) return first_load(start, argv[2], std::atoi(argv[3]));
  if (mode == "prepare" && argc == 3) return prepare(argv[2]);
  if (mode == "upgrade" && argc == 4) return full_upgrade(start, argv[2], argv[3], true);
  if (mode == "start" && argc == 4) return full_upgrade(start, argv[2], argv[3], false);
  if (mode == "trivial" && argc == 4) return trivial(start, argv[2], std::atol(argv[3]));
  return usage();
}
