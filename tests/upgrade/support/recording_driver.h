// A database client for tests: records every operation, keeps a small
// catalogue of procedures and triggers with transactional DDL, and refuses
// chosen statements with a server error number and text.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rt/transaction.h"

namespace upgrade_test {

struct DriverState {
  // "exec:<text>", "commit", "rollback", "autocommit:on", "autocommit:off".
  std::vector<std::string> log;
  // Committed definitions by object name (lower case), and the working copy
  // that the open transaction sees.
  std::map<std::string, std::string> committed;
  std::map<std::string, std::string> working;
  bool autocommit = false;
  // Statements to refuse: when the predicate holds, the statement fails
  // with this number and text and changes nothing.
  struct Refusal {
    std::function<bool(const std::string&)> matches;
    std::int32_t number;
    std::string text;
  };
  std::vector<Refusal> refusals;
  // When set, every COMMIT fails with this text (number 3902) and keeps
  // the transaction open.
  std::string failing_commit;

  void refuse(std::function<bool(const std::string&)> matches, std::int32_t number, std::string text) {
    refusals.push_back({std::move(matches), number, std::move(text)});
  }
  // The executed statement texts, in order.
  std::vector<std::string> executed() const;
  // Sets an object's definition as if it had been created and committed.
  void define(const std::string& name, const std::string& definition) {
    committed[name] = definition;
    working[name] = definition;
  }
};

// Installs a driver factory whose drivers share `state`, for the life of
// the object; connects `sqlca` through it.
class RecordingDatabase {
 public:
  RecordingDatabase();
  ~RecordingDatabase();
  RecordingDatabase(const RecordingDatabase&) = delete;
  RecordingDatabase& operator=(const RecordingDatabase&) = delete;

  DriverState& state() { return *state_; }
  // Connects with the given database kind and autocommit setting.
  void connect(rt::transaction& sqlca, const std::string& dbms = "MSS", bool autocommit = true);

 private:
  std::shared_ptr<DriverState> state_;
  rt::transaction::DriverFactory previous_;
};

}  // namespace upgrade_test
