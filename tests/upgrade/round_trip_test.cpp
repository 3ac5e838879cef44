#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "rt/text.h"
#include "rt/testing/recording_ui.h"
#include "support/fake_database.h"
#include "support/temp_dir.h"
#include "upgrade/encryption_rewrite.h"
#include "upgrade/pack_builder.h"
#include "upgrade/pack_loader.h"

using testing_support::TempDir;
using testing_support::FakeDatabase;

namespace {

// Scripts as a developer keeps them: CR LF line ends, Chinese (GBK)
// comments, a drop part and the CREATE statement.
struct Script {
  std::string object;
  std::string text;
};

// By file name.
std::map<std::string, Script> developer_scripts() {
  std::map<std::string, Script> s;
  s["pr_day_sum_MS.sql"].object = "pr_day_sum";
  s["pr_day_sum_MS.sql"].text = rt::gbk(
      "-- 按日汇总销售额\r\n"
      "drop procedure pr_day_sum\r\n"
      "go\r\n"
      "create procedure pr_day_sum @as_day char(8) -- 营业日\r\n"
      "as\r\n"
      "begin\r\n"
      "  select sum(amount) from t_sale where sale_day = @as_day -- 金额合计\r\n"
      "end\r\n");
  s["tr_stock_MS.sql"].object = "tr_stock";
  s["tr_stock_MS.sql"].text = rt::gbk(
      "drop trigger tr_stock\r\n"
      "GO\r\n"
      "CREATE TRIGGER tr_stock ON t_stock FOR UPDATE AS\r\n"
      "BEGIN\r\n"
      "  -- 库存不能为负数\r\n"
      "  if exists (select 1 from inserted where qty < 0) rollback\r\n"
      "END\r\n");
  // A comment whose two-byte characters end in ASCII letters ("as", "for").
  s["pr_any_ANY5_MS.sql"].object = "pr_any";
  s["pr_any_ANY5_MS.sql"].text = "drop procedure pr_any\r\ngo\r\n"
                            "create procedure pr_any -- \x81" "a\x81s \x81" "f\x81o\x81r\r\n"
                            "as begin return end";
  return s;
}

}  // namespace

TEST(RoundTrip, EveryScriptComesBackAsItsEncryptedCreateStatement) {
  TempDir dir;
  const auto scripts = developer_scripts();
  for (const auto& [name, script] : scripts) dir.write("sql/" + name, script.text);
  dir.sub("run");

  rt::RecordingUi ui;
  rt::ScopedUi scoped(&ui);
  upgrade::MemoryListBox lb;
  ASSERT_TRUE(upgrade::cb_get_clicked(dir.folder() + "run/", lb, dir.folder() + "sql/"));
  EXPECT_EQ(lb.TotalItems(), 3);

  FakeDatabase db;
  db.define("pr_day_sum", "old");
  rt::transaction sqlca;
  db.connect(sqlca);
  const bool loaded = upgrade::cb_put_clicked(sqlca, dir.folder() + "run/");
  std::string shown;
  for (const auto& b : ui.boxes()) shown += rt::utf8(b.text) + "|";
  ASSERT_TRUE(loaded) << shown;
  EXPECT_EQ(shown, "更新成功！|");

  for (const auto& [name, script] : scripts) {
    SCOPED_TRACE(name);
    const std::string create = script.text.substr(rt::lower(script.text)->find("create "));
    const std::string stored = db.committed[script.object];
    // The definition is the script's CREATE statement with the clause put in.
    const std::size_t clause = stored.find(upgrade::kEncryptionClause);
    ASSERT_NE(clause, std::string::npos) << stored;
    EXPECT_EQ(stored.substr(0, clause) + stored.substr(clause + std::string_view(upgrade::kEncryptionClause).size()), create);
    EXPECT_TRUE(rt::gbk_well_formed(stored));
  }
  EXPECT_NE(db.committed["tr_stock"].find("t_stock  with ENCRYPTION FOR UPDATE"), std::string::npos);
  // The letters inside two-byte characters are not taken for "as" or "for".
  EXPECT_NE(db.committed["pr_any"].find("\x81r\r\n with ENCRYPTION as begin"), std::string::npos);
}

// The sample scripts that ship with the program go through the pack whole.
TEST(RoundTrip, TheSampleScriptsLoadAsTheyAreWritten) {
  const std::string sql_dir = std::string(SCHEMALIFT_SAMPLE_DIR) + "/pr_tr/";
  TempDir dir;
  rt::RecordingUi ui;
  rt::ScopedUi scoped(&ui);
  upgrade::MemoryListBox lb;
  ASSERT_TRUE(upgrade::cb_get_clicked(dir.folder(), lb, sql_dir));
  ASSERT_GT(lb.TotalItems(), 0);

  FakeDatabase db;
  rt::transaction sqlca;
  db.connect(sqlca);
  ASSERT_TRUE(upgrade::cb_put_clicked(sqlca, dir.folder()));
  EXPECT_EQ(ui.boxes().size(), 1u);

  // Each script's drop part and its encrypted CREATE statement, in list order.
  std::vector<std::string> expected;
  for (int i = 1; i <= lb.TotalItems(); ++i) {
    std::ifstream in(sql_dir + *lb.Text(i), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    rt::String create = text.str(), drop;
    ASSERT_TRUE(upgrade::wf_get_sql_go(create, drop)) << *lb.Text(i);
    EXPECT_NE(create->find(" with ENCRYPTION "), std::string::npos);
    expected.push_back(*drop);
    expected.push_back(*create);
  }
  EXPECT_EQ(db.statements(), expected);
}
