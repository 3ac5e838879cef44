// schemalift end to end: the store database served by the simulator on
// loopback, the program's working folder with its registry settings, and
// runs of the program on the headless window, connected through the ODBC
// client as the delivered program connects.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rt/window/headless.h"
#include "rt/window/session.h"
#include "storesim/memory_engine.h"
#include "storesim/sample_store.h"
#include "storesim/server.h"
#include "support/scoped.h"
#include "support/temp_dir.h"
#include "upgrade/db_upgrade_pos.h"

namespace e2e {

// tools/sample of the source tree: pr_tr/ and update.sql.
std::string sample_dir();

// Makes the ODBC client the connection object's driver, once per process
// (a program run does it too); a test that installs its own factory over
// it calls this first.
void use_odbc_client();

// The sample store database in a fresh engine, served on a free port.
class StoreServer {
 public:
  explicit StoreServer(const storesim::SampleOptions& options = {});
  ~StoreServer();
  StoreServer(const StoreServer&) = delete;
  StoreServer& operator=(const StoreServer&) = delete;

  storesim::MemoryEngine& engine() { return *engine_; }
  storesim::Server& server() { return *server_; }
  // "127.0.0.1,<port>", as SERVERNAME names it.
  std::string server_name() const;

  // The rows of a table of the store database, each as its values joined
  // by "|" (NULL written NULL), in key order. The simulator keeps text as
  // UTF-8 (the client's GBK is converted on the wire).
  std::vector<std::string> rows(const std::string& table) const;
  // The values recorded under a sys_var_id of t_sys_system (UTF-8; NULL
  // written NULL).
  std::vector<std::string> system_values(const std::string& id) const;
  // The first error of a batch run directly in the store database,
  // empty when it ran.
  std::string run(const std::string& utf8_sql);
  // Canonical text of every database: catalog, rows and definitions.
  std::string dump() const { return engine_->Dump(); }

 private:
  std::shared_ptr<storesim::MemoryEngine> engine_;
  std::unique_ptr<storesim::Server> server_;
};

// The program's working folder and its registry settings (the INI named by
// SCHEMALIFT_REGISTRY) for the life of the object.
class Workplace {
 public:
  Workplace();
  const std::string& folder() const { return dir_.path(); }
  // Points SERVERNAME at `store` (or at a server name "127.0.0.1,<port>")
  // and DATABASE at "store".
  void point_at(const StoreServer& store);
  void point_at(const std::string& server_name);
  // Copies tools/sample/update.sql into the folder.
  void add_update_sql();
  // Builds "db.dat" in the folder from tools/sample/pr_tr (or from
  // `scripts`) with the pack builder of a developer run ("get"), pointed at
  // `store`; the server's request log is cleared afterwards.
  void build_pack(StoreServer& store, const std::string& scripts = sample_dir() + "/pr_tr");
  void put(const std::string& name, const std::string& bytes) const { dir_.write(name, bytes); }
  bool has(const std::string& name) const;

 private:
  testing_support::TempDir dir_;
  std::unique_ptr<testing_support::ScopedEnvVar> registry_;
};

// One start of the program: the application on the headless backend with
// the working folder as current directory; the window is open and the
// posted start-up (the connection) has run when the constructor returns.
class ProgramRun {
 public:
  explicit ProgramRun(const Workplace& place, bool developer = false);
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  upgrade::w_db_upgrade& window() { return *app_.w_db_upgrade; }
  rt::HeadlessBackend& backend() { return backend_; }

  // The user presses Alt+U; false when the button did not take the click.
  bool upgrade();
  // Message boxes so far, each "title: text" in UTF-8.
  std::vector<std::string> boxes();
  // The user presses the exit button; the program ends.
  void close();
  bool ended() const { return session_ && session_->ended(); }

 private:
  testing_support::ScopedCwd cwd_;
  rt::HeadlessBackend backend_;
  upgrade::db_upgrade_pos app_;
  std::unique_ptr<rt::Session> session_;
};

// The boxes of an upgrade that ran through to the loader's success.
std::vector<std::string> upgrade_succeeded_boxes();

}  // namespace e2e
