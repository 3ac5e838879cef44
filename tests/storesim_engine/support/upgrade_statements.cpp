#include "support/upgrade_statements.h"

#include "rt/text.h"
#include "support/golden.h"

namespace storesim_test {

const std::vector<UpgradeItem>& UpgradeStatements() {
  static const std::vector<UpgradeItem> items = [] {
    std::vector<UpgradeItem> r;
    for (const testing_support::GoldenEntry& e : testing_support::upgrade_conversation())
      if (e.op == "exec" && e.item > 0) r.push_back({e.item, rt::utf8(e.text)});
    return r;
  }();
  return items;
}

const std::string& StageRead() {
  static const std::string read = rt::utf8(testing_support::upgrade_conversation().front().text);
  return read;
}

}  // namespace storesim_test
