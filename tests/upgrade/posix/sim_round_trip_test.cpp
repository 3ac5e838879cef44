// The pack builder and the loader against the store-database simulator,
// through the ODBC client over loopback: the definitions the server keeps.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "rt/odbc.h"
#include "rt/text.h"
#include "rt/testing/recording_ui.h"
#include "storesim/memory_engine.h"
#include "storesim/sample_store.h"
#include "storesim/server.h"
#include "support/temp_dir.h"
#include "upgrade/pack_builder.h"
#include "upgrade/pack_loader.h"
#include "upgrade/script_pack.h"

using testing_support::TempDir;

namespace {

class SimulatorRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = std::make_shared<storesim::MemoryEngine>();
    std::string error;
    ASSERT_TRUE(storesim::CreateSampleStore(*engine_, {}, &error)) << error;
    ASSERT_TRUE(run("create table t_stock (item_no varchar(20) not null, qty numeric(16, 4) null)").empty());
    server_ = std::make_unique<storesim::Server>(engine_);
    ASSERT_TRUE(server_->Start(&error)) << error;

    previous_factory_ = rt::transaction::driver_factory();
    rt::install_odbc_driver();
    sqlca_.DBMS = std::string("MSS");
    sqlca_.ServerName = "127.0.0.1," + std::to_string(server_->port());
    sqlca_.Database = std::string("store");
    sqlca_.LogID = std::string("tandrel");
    sqlca_.LogPass = std::string("tolvank");
    sqlca_.Lock = std::string("RU");
    sqlca_.SetAutoCommit(true);
    sqlca_.connect();
    ASSERT_EQ(*sqlca_.SQLCode, 0) << rt::utf8(*sqlca_.SQLErrText);
    dir_.sub("sql");
  }

  void TearDown() override {
    if (sqlca_.connected()) sqlca_.disconnect();
    rt::transaction::set_driver_factory(previous_factory_);
  }

  // The server's errors for a batch run directly in the store database.
  std::string run(const std::string& sql) {
    auto e = storesim::FirstError(engine_->Execute("store", sql));
    return e ? e->text : std::string();
  }
  // A script file (UTF-8 source text, stored as GBK).
  void script(const std::string& name, const std::string& utf8_text) { dir_.write("sql/" + name, rt::gbk(utf8_text)); }
  bool build() { return upgrade::cb_get_clicked(dir_.folder(), lb_, dir_.folder() + "sql/"); }
  bool load() { return upgrade::cb_put_clicked(sqlca_, dir_.folder()); }
  std::vector<std::string> boxes() const {
    std::vector<std::string> r;
    for (const auto& b : ui_.boxes()) r.push_back(rt::utf8(b.title) + ": " + rt::utf8(b.text));
    return r;
  }

  std::shared_ptr<storesim::MemoryEngine> engine_;
  std::unique_ptr<storesim::Server> server_;
  rt::transaction::DriverFactory previous_factory_;
  rt::transaction sqlca_;
  TempDir dir_;
  upgrade::MemoryListBox lb_;
  rt::RecordingUi ui_;
  rt::ScopedUi scoped_ui_{&ui_};
};

const std::string kApp = "岚舟商业管理软件";

}  // namespace

TEST_F(SimulatorRoundTrip, TheServerKeepsEachScriptsCreateStatementEncrypted) {
  ASSERT_EQ(run("create procedure pr_day_sum as begin select 0 end"), "");
  script("pr_day_sum_MS.sql",
         "-- 按日汇总销售额\r\n"
         "drop procedure pr_day_sum\r\n"
         "go\r\n"
         "create procedure pr_day_sum @as_day char(8) -- 营业日\r\n"
         "as\r\n"
         "begin\r\n"
         "  select count(*) from t_stock where item_no = @as_day -- 合计\r\n"
         "end\r\n");
  script("tr_stock_MS.sql",
         "drop trigger tr_stock\r\n"
         "GO\r\n"
         "CREATE TRIGGER tr_stock ON t_stock FOR UPDATE AS\r\n"
         "BEGIN\r\n"
         "  -- 库存不能为负数\r\n"
         "  return\r\n"
         "END\r\n");
  script("pr_other_ANY5.sql", "drop procedure pr_other\r\ngo\r\ncreate procedure pr_other as begin return end");
  ASSERT_TRUE(build());
  ASSERT_TRUE(load());
  EXPECT_EQ(boxes(), std::vector<std::string>{kApp + ": 更新成功！"});

  const std::map<std::string, std::string> expected = {
      {"pr_day_sum",
       "create procedure pr_day_sum @as_day char(8) -- 营业日\r\n"
       " with ENCRYPTION as\r\n"
       "begin\r\n"
       "  select count(*) from t_stock where item_no = @as_day -- 合计\r\n"
       "end\r\n"},
      {"tr_stock",
       "CREATE TRIGGER tr_stock ON t_stock  with ENCRYPTION FOR UPDATE AS\r\n"
       "BEGIN\r\n"
       "  -- 库存不能为负数\r\n"
       "  return\r\n"
       "END\r\n"},
  };
  for (const auto& [name, text] : expected) {
    SCOPED_TRACE(name);
    auto m = engine_->Module("store", name);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text, text);
    EXPECT_TRUE(m->encrypted);
  }
  EXPECT_FALSE(engine_->Module("store", "pr_other"));  // not for this kind of database
  EXPECT_TRUE(test(sqlca_.AutoCommit()));
}

TEST_F(SimulatorRoundTrip, ARefusedDefinitionLeavesTheObjectAsItWas) {
  ASSERT_EQ(run("create procedure pr_a as begin select 'old a' end"), "");
  ASSERT_EQ(run("create procedure pr_b as begin select 'old b' end"), "");
  ASSERT_EQ(run("create procedure pr_c as begin select 'old c' end"), "");
  script("pr_a_MS.sql", "drop procedure pr_a\r\ngo\r\ncreate procedure pr_a as\r\nbegin\r\n select 1\r\nend");
  // The header's last "for" begins a parameter name: the clause lands
  // where the server refuses it, after the drop part has run.
  script("pr_b_MS.sql", "drop procedure pr_b\r\ngo\r\ncreate procedure pr_b @for_x int as\r\nbegin\r\n select 2\r\nend");
  script("pr_c_MS.sql", "drop procedure pr_c\r\ngo\r\ncreate procedure pr_c as\r\nbegin\r\n select 3\r\nend");
  ASSERT_TRUE(build());
  EXPECT_FALSE(load());

  auto a = engine_->Module("store", "pr_a");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->text, "create procedure pr_a  with ENCRYPTION as\r\nbegin\r\n select 1\r\nend");
  auto b = engine_->Module("store", "pr_b");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->text, "create procedure pr_b as begin select 'old b' end");
  EXPECT_FALSE(b->encrypted);
  EXPECT_EQ(engine_->Module("store", "pr_c")->text, "create procedure pr_c as begin select 'old c' end");

  std::vector<std::string> shown = boxes();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].rfind("pr_b_MS.sql: ", 0), 0u) << shown[0];
  EXPECT_EQ(shown[1].rfind(kApp + ": 更新失败！(错误信息：", 0), 0u) << shown[1];
  EXPECT_EQ(ui_.beeps(), 1);
  EXPECT_TRUE(test(sqlca_.AutoCommit()));

  // The connection is still good for what comes after the loader.
  sqlca_.execute_immediate(std::string("select 1"));
  EXPECT_EQ(*sqlca_.SQLCode, 0);
}

TEST_F(SimulatorRoundTrip, ATamperedRecordThatIsNotGbkLeavesTheOldDefinition) {
  ASSERT_EQ(run("create procedure pr_a as begin select 'old a' end"), "");
  // A pack altered after it was built: the byte 0xFF is no GBK text.
  std::string packed;
  const std::string script =
      rt::gbk("drop procedure pr_a\r\ngo\r\ncreate procedure pr_a as\r\nbegin\r\n select '升级") + "\xFF'\r\nend\r\n";
  upgrade::pack::append_record(packed, "pr_a_MS.sql", script);
  packed += upgrade::pack::kEndMarker;
  dir_.write("db.dat", packed);
  EXPECT_FALSE(load());

  auto a = engine_->Module("store", "pr_a");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->text, "create procedure pr_a as begin select 'old a' end");
  const std::string refusal = "Statement text not sent: it is not GBK text at byte offset 63 (0xFF 0x27).";
  EXPECT_EQ(boxes(),
            (std::vector<std::string>{"pr_a_MS.sql: " + refusal, kApp + ": 更新失败！(错误信息：" + refusal + ")"}));
}
