// A test double of the simulator's engine: fixed logins and databases,
// batches answered by a function the test gives, and a transaction flag
// moved by the transaction requests. For tests of the wire itself.
#pragma once

#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "storesim/engine.h"

namespace storesim::testing {

class ScriptedEngine : public Engine {
 public:
  std::string user = "tandrel";
  std::string password = "tolvank";
  std::set<std::string> databases{"master", "store"};
  std::string default_database = "master";
  // The answer to a batch; by default one successful statement.
  std::function<BatchResult(const std::string& sql)> on_batch;

  // What the sessions saw (the server serialises engine calls).
  int begins = 0;
  int commits = 0;
  int rollbacks = 0;
  int closes_in_transaction = 0;
  std::string last_password;

  std::unique_ptr<Session> Login(const LoginRequest& login, std::vector<Message>* refusal) override;
};

// A statement result with one result set of varchar columns.
StatementResult Rows(std::vector<std::string> columns, std::vector<std::vector<std::optional<std::string>>> rows);
StatementResult Error(std::int32_t number, std::string text, std::uint8_t cls = 16);
StatementResult Done(std::int64_t count);

}  // namespace storesim::testing
