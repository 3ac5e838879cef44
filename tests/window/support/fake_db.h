// A database driver for tests: a server that knows a few databases, accepts
// or refuses the login, and records every call.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "rt/transaction.h"

namespace testing_support {

struct FakeServer {
  // The server name that reaches this server; any other is unreachable.
  std::string name = "127.0.0.1,1433";
  std::set<std::string> databases = {"master", "store"};
  // Set to refuse every login with this number and text.
  std::optional<std::pair<int, std::string>> refuse_login;
  // The one value every singleton SELECT gives; none: no row comes back.
  std::optional<std::string> select_value;
  // Called inside each connect, before it is answered.
  std::function<void()> on_connect;

  // What happened: "CONNECT", "EXEC <text>", "COMMIT", "DISCONNECT", ...
  std::vector<std::string> log;
  rt::DbSettings last_settings;
  std::string current_database;
  int connections = 0;  // open right now

  std::vector<std::string> statements() const;  // the EXEC texts in order
  int count(const std::string& entry) const;
};

// Installs a driver factory whose drivers talk to `server`; the previous
// factory comes back at the end of the scope.
class ScopedFakeServer {
 public:
  explicit ScopedFakeServer(FakeServer& server);
  ~ScopedFakeServer();
  ScopedFakeServer(const ScopedFakeServer&) = delete;
  ScopedFakeServer& operator=(const ScopedFakeServer&) = delete;

 private:
  rt::transaction::DriverFactory previous_;
};

inline const char* kUnreachableText = "Unable to connect: Adaptive Server is unavailable or does not exist";

}  // namespace testing_support
