// The statements that the upgrade sends to a store database, in order, as
// the engine receives them (UTF-8): those of the golden conversation
// (tests/upgrade/golden). The update-script run is not among them.
#pragma once

#include <string>
#include <vector>

namespace storesim_test {

struct UpgradeItem {
  int number;
  std::string text;
};

// Items 1 to 66 and the grant insert (68).
const std::vector<UpgradeItem>& UpgradeStatements();
// The stage read.
const std::string& StageRead();

}  // namespace storesim_test
