// What the loader benchmarks share: a client that only counts the
// statements it is given, a message-box service that answers every box at
// once, and the scripts their packs are made of.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "rt/text.h"
#include "rt/transaction.h"
#include "rt/ui.h"
#include "upgrade/script_pack.h"

namespace loader_bench {

class CountingDriver : public rt::DbDriver {
 public:
  explicit CountingDriver(std::int64_t* count) : count_(count) {}
  rt::DbStatus Connect(const rt::DbSettings&) override { return rt::DbStatus::ok(); }
  rt::DbStatus Disconnect() override { return rt::DbStatus::ok(); }
  rt::DbStatus Execute(const std::string& sql) override {
    *count_ += static_cast<std::int64_t>(sql.size() > 0);
    return rt::DbStatus::ok();
  }
  rt::DbStatus SelectString(const std::string&, std::optional<std::string>*) override { return rt::DbStatus::ok(); }
  rt::DbStatus Commit() override { return rt::DbStatus::ok(); }
  rt::DbStatus Rollback() override { return rt::DbStatus::ok(); }
  rt::DbStatus SetAutoCommit(bool) override { return rt::DbStatus::ok(); }

 private:
  std::int64_t* count_;
};

class QuietUi : public rt::UiServices {
 public:
  int MessageBox(const std::string&, const std::string& text, rt::Icon, rt::Buttons) override {
    last = text;
    return 1;
  }
  void Beep() override {}
  rt::Pointer SetPointer(rt::Pointer p) override { return p; }
  std::string last;
};

// A script of about 2,000 bytes with Chinese comments.
inline std::string script(int i) {
  const std::string name = "pr_bench_" + std::to_string(i);
  std::string s = "drop procedure " + name + "\r\ngo\r\ncreate procedure " + name + " @ai_id int\r\nas\r\nbegin\r\n";
  const std::string comment = rt::gbk("  -- 统计门店销售数据，按商品分类汇总\r\n");
  const std::string stmt = "  select count(*) from t_sale where shop_id = @ai_id\r\n";
  while (s.size() < 1950) s += (s.size() / 100) % 2 ? comment : stmt;
  return s + "end\r\n";
}

// A pack of `records` scripts named pr_bench_<i>_MS.sql, with its end marker.
inline std::string pack_text(int records) {
  std::string text;
  for (int i = 0; i < records; ++i)
    upgrade::pack::append_record(text, "pr_bench_" + std::to_string(i) + "_MS.sql", script(i));
  text += upgrade::pack::kEndMarker;
  return text;
}

// A connected store database of kind "MSS" whose client only counts the
// statements, with every message box answered at once. One at a time.
class CountingSession {
 public:
  CountingSession() {
    rt::transaction::set_driver_factory(
        [this](const std::string&) { return std::make_unique<CountingDriver>(&statements); });
    sqlca.DBMS = std::string("MSS");
    sqlca.SetAutoCommit(true);
    sqlca.connect();
  }
  CountingSession(const CountingSession&) = delete;
  CountingSession& operator=(const CountingSession&) = delete;

  std::int64_t statements = 0;
  rt::transaction sqlca;
  QuietUi ui;

 private:
  rt::ScopedUi scoped_{&ui};
};

}  // namespace loader_bench
