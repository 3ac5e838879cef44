// storesim --port N [--state FILE] [--log FILE] [--login-timeout SECONDS]
//          [--max-connections N] [--max-request BYTES]
// storesim [--state FILE] --query SQL
// storesim [--state FILE] --dump
//
// Serves the sample store database as SQL Server would, on 127.0.0.1:N,
// until interrupted (SIGINT, SIGTERM). With --state the databases are
// loaded from FILE when it exists, and what the clients committed is saved
// to it when a client that logged in goes away and at the end, so a run
// continues where the last one stopped; a kill leaves the last saved file
// whole (see StateKeeper). With --log the requests that the clients sent
// are written to FILE when the run ends. A connection that has not logged
// in within --login-timeout (30 s) is closed; past --max-connections (256)
// open connections new ones are closed on arrival; a request message longer
// than --max-request bytes (4 MiB) ends its connection. The sample store
// keys t_sys_system on sys_var_id, as store databases do.
//
// With --query nothing is served: SQL runs once in the store database (of
// the state file, or a fresh sample) and its result rows are printed, one
// line each, values separated by tabs; the state is not saved.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include "storesim/memory_engine.h"
#include "storesim/sample_store.h"
#include "storesim/server.h"
#include "storesim/state_keeper.h"

namespace {

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "storesim: %s\n", why);
  std::fprintf(stderr, "usage: storesim --port N [--state FILE] [--log FILE] [--login-timeout SECONDS]\n"
                       "                [--max-connections N] [--max-request BYTES]\n"
                       "       storesim [--state FILE] --query SQL\n"
                       "       storesim [--state FILE] --dump\n");
  return 2;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The databases of the state file, or the sample store when there is none.
bool LoadDatabases(storesim::MemoryEngine& engine, const std::string& state) {
  std::string error;
  if (!state.empty() && FileExists(state)) {
    if (!engine.Load(state, &error)) {
      std::fprintf(stderr, "storesim: cannot load %s: %s\n", state.c_str(), error.c_str());
      return false;
    }
    return true;
  }
  storesim::SampleOptions sample;
  sample.system_primary_key = true;
  if (!storesim::CreateSampleStore(engine, sample, &error)) {
    std::fprintf(stderr, "storesim: cannot build the sample store database: %s\n", error.c_str());
    return false;
  }
  return true;
}

int Query(storesim::MemoryEngine& engine, const std::string& sql) {
  storesim::BatchResult r = engine.Execute("store", sql);
  for (const storesim::StatementResult& st : r.statements) {
    if (!st.result) continue;
    for (const auto& row : st.result->rows) {
      std::string line;
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) line += '\t';
        line += row[i] ? *row[i] : std::string("NULL");
      }
      std::printf("%s\n", line.c_str());
    }
  }
  if (auto e = storesim::FirstError(r)) {
    std::fprintf(stderr, "storesim: %d: %s\n", e->number, e->text.c_str());
    return 1;
  }
  return 0;
}

const char* KindName(storesim::RequestKind k) {
  switch (k) {
    case storesim::RequestKind::Login: return "login";
    case storesim::RequestKind::Batch: return "batch";
    case storesim::RequestKind::Begin: return "begin transaction";
    case storesim::RequestKind::Commit: return "commit";
    case storesim::RequestKind::Rollback: return "rollback";
    case storesim::RequestKind::TransactionOther: return "transaction request";
    case storesim::RequestKind::Rpc: return "rpc";
    case storesim::RequestKind::Attention: return "attention";
  }
  return "request";
}

// The request log as text: one entry a line, "#connection kind", then the
// statement text with its lines indented.
bool WriteLog(const std::vector<storesim::LoggedRequest>& log, const std::string& path) {
  std::ofstream out(path + ".tmp", std::ios::binary | std::ios::trunc);
  for (const storesim::LoggedRequest& r : log) {
    out << '#' << r.connection << ' ' << KindName(r.kind);
    if (r.kind == storesim::RequestKind::Login) out << ' ' << r.text << " to " << (r.database.empty() ? "(default)" : r.database);
    if (r.begin_new) out << ", next transaction begun";
    out << '\n';
    if (r.kind == storesim::RequestKind::Batch || r.kind == storesim::RequestKind::Rpc) {
      std::string line;
      for (char c : r.text + "\n") {
        if (c == '\n') {
          if (!line.empty() && line.back() == '\r') line.pop_back();
          out << "    " << line << '\n';
          line.clear();
        } else {
          line += c;
        }
      }
    }
  }
  out.close();
  return out && std::rename((path + ".tmp").c_str(), path.c_str()) == 0;
}

}  // namespace

namespace {

// A whole number from `low` to `high`, or nothing.
std::optional<long long> Number(const char* text, long long low, long long high) {
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < low || v > high) return std::nullopt;
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  storesim::ServerOptions options;
  long port = -1;
  std::string state, log_file;
  const char* query = nullptr;
  bool dump = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--port" && i + 1 < argc) {
      char* end = nullptr;
      port = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || port < 0 || port > 65535) return Usage("the port is a number from 0 to 65535");
    } else if (a == "--login-timeout" && i + 1 < argc) {
      auto v = Number(argv[++i], 1, 24 * 3600);
      if (!v) return Usage("the login timeout is a number of seconds from 1 to 86400");
      options.login_timeout = std::chrono::seconds(*v);
    } else if (a == "--max-connections" && i + 1 < argc) {
      auto v = Number(argv[++i], 1, 100000);
      if (!v) return Usage("the connection limit is a number from 1 to 100000");
      options.max_connections = static_cast<std::size_t>(*v);
    } else if (a == "--max-request" && i + 1 < argc) {
      auto v = Number(argv[++i], 4096, 1ll << 30);
      if (!v) return Usage("the request limit is a number of bytes from 4096 to 1073741824");
      options.max_request = static_cast<std::size_t>(*v);
    } else if (a == "--state" && i + 1 < argc) {
      state = argv[++i];
    } else if (a == "--log" && i + 1 < argc) {
      log_file = argv[++i];
    } else if (a == "--query" && i + 1 < argc) {
      query = argv[++i];
    } else if (a == "--dump") {
      dump = true;
    } else if (a == "--help" || a == "-h") {
      return Usage(nullptr);
    } else {
      return Usage(("unknown argument: " + a).c_str());
    }
  }
  if (query && dump) return Usage("--query and --dump do not go together");
  if (query || dump) {
    storesim::MemoryEngine engine;
    if (!LoadDatabases(engine, state)) return 1;
    if (query) return Query(engine, query);
    std::string text = engine.Dump();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (port < 0) return Usage("--port is required");

  // SIGINT and SIGTERM end the run through sigwait below; every thread
  // started from here on inherits the mask. A shell may start us with
  // SIGINT ignored, and an ignored signal never reaches sigwait.
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  auto engine = std::make_shared<storesim::MemoryEngine>();
  std::string error;
  if (!LoadDatabases(*engine, state)) return 1;

  options.port = static_cast<std::uint16_t>(port);
  storesim::Server server(engine, options);
  auto report = [state](const std::string& why) {
    std::fprintf(stderr, "storesim: cannot save %s: %s\n", state.c_str(), why.c_str());
  };
  std::unique_ptr<storesim::StateKeeper> keeper;
  if (!state.empty()) keeper = std::make_unique<storesim::StateKeeper>(server, engine, state, report);
  if (!server.Start(&error)) {
    std::fprintf(stderr, "storesim: cannot listen on 127.0.0.1:%ld: %s\n", port, error.c_str());
    return 1;
  }
  std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(server.port()));
  std::fflush(stdout);

  int sig = 0;
  sigwait(&stop_signals, &sig);
  server.Stop();
  int code = 0;
  if (keeper) {
    std::string why;
    if (!keeper->Save(&why)) {
      report(why);
      code = 1;
    }
  }
  if (!log_file.empty() && !WriteLog(server.Log(), log_file)) {
    std::fprintf(stderr, "storesim: cannot write %s\n", log_file.c_str());
  }
  return code;
}
