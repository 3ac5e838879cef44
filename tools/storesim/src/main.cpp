// storesim --port N [--state FILE]
//
// Serves the sample store database as SQL Server would, on 127.0.0.1:N,
// until interrupted. With --state the databases are loaded from FILE when
// it exists and saved to it after every connection and at the end, so a
// run continues where the last one stopped.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include "storesim/memory_engine.h"
#include "storesim/sample_store.h"
#include "storesim/server.h"

namespace {

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "storesim: %s\n", why);
  std::fprintf(stderr, "usage: storesim --port N [--state FILE]\n");
  return 2;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  long port = -1;
  std::string state;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--port" && i + 1 < argc) {
      char* end = nullptr;
      port = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || port < 0 || port > 65535) return Usage("the port is a number from 0 to 65535");
    } else if (a == "--state" && i + 1 < argc) {
      state = argv[++i];
    } else if (a == "--help" || a == "-h") {
      return Usage(nullptr);
    } else {
      return Usage(("unknown argument: " + a).c_str());
    }
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
  if (!state.empty() && FileExists(state)) {
    if (!engine->Load(state, &error)) {
      std::fprintf(stderr, "storesim: cannot load %s: %s\n", state.c_str(), error.c_str());
      return 1;
    }
  } else if (!storesim::CreateSampleStore(*engine, {}, &error)) {
    std::fprintf(stderr, "storesim: cannot build the sample store database: %s\n", error.c_str());
    return 1;
  }

  storesim::ServerOptions options;
  options.port = static_cast<std::uint16_t>(port);
  storesim::Server server(engine, options);
  auto save = [&] {
    if (state.empty()) return;
    std::string why;
    bool ok = server.WithEngine([&](storesim::Engine&) { return engine->Save(state, &why); });
    if (!ok) std::fprintf(stderr, "storesim: cannot save %s: %s\n", state.c_str(), why.c_str());
  };
  server.OnConnectionClosed(save);
  if (!server.Start(&error)) {
    std::fprintf(stderr, "storesim: cannot listen on 127.0.0.1:%ld: %s\n", port, error.c_str());
    return 1;
  }
  std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(server.port()));
  std::fflush(stdout);

  int sig = 0;
  sigwait(&stop_signals, &sig);
  server.Stop();
  save();
  return 0;
}
