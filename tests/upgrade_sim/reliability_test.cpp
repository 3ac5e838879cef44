// An upgrade cut off at any point and started again ends where one clean
// upgrade ends.
//
// The connection is cut after each request that a full upgrade from
// "00000000" sends (the start-up's statements, every item, every update.sql
// batch, the loader's statements and transaction requests, the final
// COMMIT). The program is then started again, as the user would, with a new
// connection, and upgrades once more. The database that results (catalog,
// rows and definitions, as the simulator's dump shows them) must equal the
// database after one uncut upgrade.
//
// That comparison is the right one because a finished upgrade is a fixed
// point: its last stage runs again at every upgrade, and running it again
// changes nothing (checked first). The sample store keys t_sys_system on
// sys_var_id, as store databases do; without the key every restart from
// "00000000" would leave one more bootstrap row behind.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace {

using e2e::ProgramRun;
using e2e::StoreServer;
using e2e::Workplace;

storesim::SampleOptions sample() {
  storesim::SampleOptions o;
  o.upgrade_date = "00000000";
  o.system_primary_key = true;
  return o;
}

// One program run: Alt+U when the start-up connected, then exit. Returns
// the boxes the user saw.
std::vector<std::string> run_program(const Workplace& place, StoreServer& store) {
  std::vector<std::string> boxes;
  {
    ProgramRun run(place);
    run.upgrade();  // refused when the connection failed at start-up
    boxes = run.boxes();
    run.close();
  }
  EXPECT_TRUE(store.server().WaitForIdle());
  return boxes;
}

class CutConnection : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    place.add_update_sql();
    StoreServer store(sample());
    place.build_pack(store);
    place.point_at(store);
    ASSERT_EQ(run_program(place, store), e2e::upgrade_succeeded_boxes());
    for (const storesim::LoggedRequest& r : store.server().Log())
      if (r.kind != storesim::RequestKind::Login) ++requests;
    clean = store.dump();

    // A finished upgrade is a fixed point of the next one.
    ASSERT_EQ(run_program(place, store), e2e::upgrade_succeeded_boxes());
    ASSERT_EQ(store.dump(), clean);
  }

  Workplace place;
  int requests = 0;   // what a full upgrade sends after its login
  std::string clean;  // the database after one uncut upgrade
};

TEST_P(CutConnection, EveryCutPointEndsLikeOneCleanUpgrade) {
  const bool answered = GetParam();
  ASSERT_GT(requests, 90);

  int survived = 0;
  std::ostringstream failures;
  for (int k = 1; k <= requests; ++k) {
    StoreServer store(sample());
    place.point_at(store);
    store.server().CloseConnectionAfter(k, answered);
    run_program(place, store);
    const std::vector<std::string> boxes = run_program(place, store);

    const bool same = store.dump() == clean;
    const bool succeeded = boxes == e2e::upgrade_succeeded_boxes();
    if (same && succeeded) {
      ++survived;
    } else {
      failures << "  cut at request " << k << ":" << (same ? "" : " database differs")
               << (succeeded ? "" : " restart did not end with the success message") << "\n";
    }
  }
  std::cout << "cuts survived (" << (answered ? "after the request was answered" : "before the request was carried out")
            << "): " << survived << " of " << requests << "\n";
  RecordProperty("cuts_tried", requests);
  RecordProperty("cuts_survived", survived);
  EXPECT_EQ(survived, requests) << failures.str();
}

INSTANTIATE_TEST_SUITE_P(Points, CutConnection, ::testing::Bool(), [](const auto& info) {
  return info.param ? std::string("AfterAnswer") : std::string("BeforeExecution");
});

}  // namespace
