// Feeds arbitrary bytes to the pack reader and the loader's record loop
// (against a database client that accepts or refuses statements by their
// first byte). Checks that every record lies inside the text and that the
// records and the rest put back together give the text again.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "rt/transaction.h"
#include "rt/ui.h"
#include "upgrade/pack_loader.h"
#include "upgrade/script_pack.h"

namespace {

class SinkDriver : public rt::DbDriver {
 public:
  rt::DbStatus Connect(const rt::DbSettings&) override { return rt::DbStatus::ok(); }
  rt::DbStatus Disconnect() override { return rt::DbStatus::ok(); }
  rt::DbStatus Execute(const std::string& sql) override {
    // Refuse some statements so that the stop path runs too.
    if (!sql.empty() && (static_cast<unsigned char>(sql.back()) & 7) == 7) return rt::DbStatus::error(156, "no");
    return rt::DbStatus::ok();
  }
  rt::DbStatus SelectString(const std::string&, std::optional<std::string>*) override { return rt::DbStatus::ok(); }
  rt::DbStatus Commit() override { return rt::DbStatus::ok(); }
  rt::DbStatus Rollback() override { return rt::DbStatus::ok(); }
  rt::DbStatus SetAutoCommit(bool) override { return rt::DbStatus::ok(); }
};

class QuietUi : public rt::UiServices {
 public:
  int MessageBox(const std::string&, const std::string&, rt::Icon, rt::Buttons) override { return 1; }
  void Beep() override {}
  rt::Pointer SetPointer(rt::Pointer p) override { return p; }
};

void check(bool ok) {
  if (!ok) std::abort();
}

bool inside(std::string_view part, std::string_view whole) {
  return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An owned copy, exactly as long as the input, so that reading past it is caught.
  std::unique_ptr<char[]> owned(new char[size ? size : 1]);
  for (std::size_t i = 0; i < size; ++i) owned[i] = static_cast<char>(data[i]);
  const std::string_view text(owned.get(), size);

  namespace pack = upgrade::pack;
  pack::Reader reader(text);
  pack::Record rec;
  std::string rebuilt;
  for (;;) {
    const std::size_t before = reader.rest().size();
    const pack::Reader::Step step = reader.Next(&rec);
    if (step != pack::Reader::Step::Record) {
      check(step != pack::Reader::Step::End || reader.rest() == pack::kEndMarker);
      rebuilt += reader.rest();
      break;
    }
    check(reader.rest().size() < before);
    check(inside(rec.name, text) && inside(rec.body, text));
    check(rec.name.find(pack::kBodyHead) == std::string_view::npos);
    check(rec.body.find(pack::kRecordEnd) == std::string_view::npos);
    // Record length as taken: from the cut before it to the rest after it.
    rebuilt.append(text.substr(text.size() - before, before - reader.rest().size()));
  }
  check(rebuilt == text);

  static QuietUi ui;
  static bool once = [] {
    rt::set_ui(&ui);
    rt::transaction::set_driver_factory([](const std::string&) { return std::make_unique<SinkDriver>(); });
    return true;
  }();
  (void)once;
  static rt::transaction* sqlca = [] {
    auto* t = new rt::transaction;
    t->DBMS = std::string("MSS");
    t->SetAutoCommit(true);
    t->connect();
    return t;
  }();
  upgrade::load_pack_text(*sqlca, text);
  check(test(sqlca->AutoCommit()));
  return 0;
}
