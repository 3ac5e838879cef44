// The trial upgrade's sample files against the engine: the batches of
// update.sql and the procedure and trigger scripts, drop part then CREATE
// with the encryption clause, as the upgrade sends them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "rt/text.h"
#include "support/engine_helpers.h"
#include "support/upgrade_statements.h"

using storesim::BatchResult;
using storesim_test::Errors;
using storesim_test::SampleEngine;
using storesim_test::TextOf;

namespace {

const std::filesystem::path kSamples = SCHEMALIFT_SAMPLE_DIR;

std::string ReadUtf8(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::string gbk((std::istreambuf_iterator<char>(f)), {});
  return rt::utf8(gbk);
}

std::string ErrorText(const BatchResult& r) {
  auto e = Errors(r);
  return e.empty() ? std::string() : std::to_string(e[0]) + " " + TextOf(r, e[0]);
}

std::unique_ptr<storesim::MemoryEngine> UpgradedEngine() {
  auto engine = SampleEngine();
  for (const auto& item : storesim_test::UpgradeStatements()) engine->Execute("store", item.text);
  return engine;
}

TEST(SampleFiles, UpdateScriptBatchesRunAndRunAgain) {
  ASSERT_TRUE(std::filesystem::exists(kSamples / "update.sql")) << kSamples;
  auto engine = UpgradedEngine();
  // Batches as the runner builds them: each line after a line feed, up to a line "GO".
  std::vector<std::string> batches;
  std::string text = ReadUtf8(kSamples / "update.sql"), batch, line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() == 2 && (line == "GO" || line == "go" || line == "Go" || line == "gO")) {
      batches.push_back(batch);
      batch.clear();
    } else {
      batch += "\n" + line;
    }
  }
  ASSERT_FALSE(batches.empty());
  for (int round = 0; round < 2; ++round) {
    for (const auto& b : batches) {
      BatchResult r = engine->Execute("store", b);
      EXPECT_EQ(ErrorText(r), "") << "round " << round << ":" << b;
    }
  }
  EXPECT_EQ(storesim_test::Scalar(engine->Execute(
                "store", "select count(*) from t_sys_system where sys_var_id = 'PRINT_COPIES'")),
            "1");
}

TEST(SampleFiles, ProcedureAndTriggerScriptsLoadEncrypted) {
  ASSERT_TRUE(std::filesystem::exists(kSamples / "pr_tr")) << kSamples;
  auto engine = UpgradedEngine();
  int loaded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kSamples / "pr_tr")) {
    std::string script = ReadUtf8(entry.path());
    std::size_t go = script.find("\r\ngo");
    std::size_t create = script.find("create ");
    ASSERT_NE(go, std::string::npos);
    ASSERT_NE(create, std::string::npos);
    std::string drop = script.substr(0, go);
    std::string header = script.substr(create, script.find("begin", create) - create);
    std::string body = script.substr(create + header.size());
    // The clause before the header's last "for", else before its last "as".
    std::size_t at = header.rfind("for");
    if (at == std::string::npos) at = header.rfind("as");
    std::string statement = header.substr(0, at) + " with ENCRYPTION " + header.substr(at) + body;
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(ErrorText(engine->Execute("store", drop)), "") << entry.path();
      EXPECT_EQ(ErrorText(engine->Execute("store", statement)), "") << entry.path() << "\n" << statement;
    }
    std::string name = entry.path().stem().string();
    auto m = engine->Module("store", name);
    ASSERT_TRUE(m) << name;
    EXPECT_TRUE(m->encrypted);
    EXPECT_EQ(m->text, statement);
    ++loaded;
  }
  EXPECT_EQ(loaded, 4);
  // Without the drop part a second CREATE is refused.
  EXPECT_EQ(Errors(engine->Execute("store", "create procedure pr_vip_small_query_MS as return")),
            std::vector<int>{2714});
}

}  // namespace
