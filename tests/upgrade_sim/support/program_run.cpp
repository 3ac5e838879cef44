#include "support/program_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include "rt/odbc.h"
#include "rt/text.h"
#include "upgrade/globals.h"

namespace e2e {

namespace {

std::string join_row(const storesim::Row& row) {
  std::string line;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i) line += "|";
    line += row[i] ? *row[i] : std::string("NULL");
  }
  return line;
}

}  // namespace

std::string sample_dir() { return SCHEMALIFT_SAMPLE_DIR; }

// The connection object reaches SQL Server through the ODBC client, as in
// the delivered program.
void use_odbc_client() {
  static std::once_flag once;
  std::call_once(once, [] { rt::install_odbc_driver(); });
}

StoreServer::StoreServer(const storesim::SampleOptions& options)
    : engine_(std::make_shared<storesim::MemoryEngine>()) {
  std::string error;
  if (!storesim::CreateSampleStore(*engine_, options, &error)) throw std::runtime_error("sample store: " + error);
  server_ = std::make_unique<storesim::Server>(engine_);
  if (!server_->Start(&error)) throw std::runtime_error("simulator: " + error);
}

StoreServer::~StoreServer() { server_->Stop(); }

std::string StoreServer::server_name() const { return "127.0.0.1," + std::to_string(server_->port()); }

std::vector<std::string> StoreServer::rows(const std::string& table) const {
  std::vector<std::string> out;
  std::optional<std::vector<storesim::Row>> rows = engine_->Rows("store", table);
  if (!rows) return out;
  for (const storesim::Row& r : *rows) out.push_back(join_row(r));
  return out;
}

std::vector<std::string> StoreServer::system_values(const std::string& id) const {
  std::vector<std::string> out;
  std::optional<std::vector<storesim::Row>> rows = engine_->Rows("store", "t_sys_system");
  if (!rows) return out;
  for (const storesim::Row& r : *rows) {
    if (r.size() > 2 && r[0] && *r[0] == id) out.push_back(r[2] ? *r[2] : std::string("NULL"));
  }
  return out;
}

std::string StoreServer::run(const std::string& utf8_sql) {
  auto e = storesim::FirstError(engine_->Execute("store", utf8_sql));
  return e ? e->text : std::string();
}

Workplace::Workplace() {}

void Workplace::point_at(const StoreServer& store) { point_at(store.server_name()); }

void Workplace::point_at(const std::string& server_name) {
  registry_.reset();
  registry_ = std::make_unique<testing_support::ScopedEnvVar>(
      "SCHEMALIFT_REGISTRY",
      dir_.write("registry.ini", "[SOFTWARE\\tandrel]\nSERVERNAME=" + server_name + "\nDATABASE=store\n"));
}

void Workplace::add_update_sql() {
  std::filesystem::copy_file(sample_dir() + "/update.sql", folder() + "/update.sql",
                             std::filesystem::copy_options::overwrite_existing);
}

void Workplace::build_pack(StoreServer& store, const std::string& scripts_dir) {
  point_at(store);
  testing_support::ScopedEnvVar scripts("SCHEMALIFT_SQL_DIR", scripts_dir);
  {
    ProgramRun dev(*this, /*developer=*/true);
    ASSERT_TRUE(dev.backend().click(*dev.window().cb_get));
    ASSERT_TRUE(dev.boxes().empty()) << dev.boxes().front();
    dev.close();
  }
  ASSERT_TRUE(has("db.dat"));
  ASSERT_TRUE(store.server().WaitForIdle());
  store.server().ClearLog();
}

bool Workplace::has(const std::string& name) const { return std::filesystem::exists(folder() + "/" + name); }

ProgramRun::ProgramRun(const Workplace& place, bool developer) : cwd_(place.folder()) {
  use_odbc_client();
  rt::SessionOptions options;
  options.module_handle = developer ? 0u : rt::kProgramModuleHandle;
  session_ = std::make_unique<rt::Session>(app_, backend_, options);
  session_->start(std::string());
  backend_.process_events();
}

ProgramRun::~ProgramRun() {
  if (!ended()) close();
}

bool ProgramRun::upgrade() { return backend_.press_accelerator(window(), 'u'); }

std::vector<std::string> ProgramRun::boxes() {
  std::vector<std::string> out;
  for (const auto& b : backend_.recorder().boxes()) out.push_back(rt::utf8(b.title) + ": " + rt::utf8(b.text));
  return out;
}

void ProgramRun::close() {
  if (app_.w_db_upgrade && window().cb_2) backend_.click(*window().cb_2);
  if (!session_->ended()) session_->end();
}

std::vector<std::string> upgrade_succeeded_boxes() { return {"岚舟商业管理软件: 更新成功！"}; }

}  // namespace e2e
