// The test programs' main() in the Windows build. It prints the results
// with a printer of its own: the stock printer also hands every failure to
// OutputDebugStringA, and under Wine on a kernel without IA-32 emulation
// (32-bit code run by qemu-i386) the exception that call raises and unwinds
// wrecks the test program, so that a failing check ends the whole run.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class Printer : public ::testing::EmptyTestEventListener {
 public:
  void OnTestProgramStart(const ::testing::UnitTest& u) override {
    std::printf("[==========] Running %d tests from %d test suites.\n", u.test_to_run_count(),
                u.test_suite_to_run_count());
    std::fflush(stdout);
  }
  void OnTestStart(const ::testing::TestInfo& t) override {
    std::printf("[ RUN      ] %s.%s\n", t.test_suite_name(), t.name());
    std::fflush(stdout);
  }
  void OnTestPartResult(const ::testing::TestPartResult& r) override {
    if (r.type() == ::testing::TestPartResult::kSuccess) return;
    const char* kind = r.type() == ::testing::TestPartResult::kSkip ? "Skipped" : "Failure";
    if (r.file_name())
      std::printf("%s:%d: %s\n%s\n", r.file_name(), r.line_number(), kind, r.message());
    else
      std::printf("%s\n%s\n", kind, r.message());
    std::fflush(stdout);
  }
  void OnTestEnd(const ::testing::TestInfo& t) override {
    const ::testing::TestResult* r = t.result();
    const char* tag = r->Skipped() ? "[  SKIPPED ]" : r->Failed() ? "[  FAILED  ]" : "[       OK ]";
    std::printf("%s %s.%s (%lld ms)\n", tag, t.test_suite_name(), t.name(), static_cast<long long>(r->elapsed_time()));
    if (r->Failed()) failed_.push_back(std::string(t.test_suite_name()) + "." + t.name());
    std::fflush(stdout);
  }
  void OnTestProgramEnd(const ::testing::UnitTest& u) override {
    std::printf("[==========] %d tests from %d test suites ran. (%lld ms total)\n", u.test_to_run_count(),
                u.test_suite_to_run_count(), static_cast<long long>(u.elapsed_time()));
    std::printf("[  PASSED  ] %d tests.\n", u.successful_test_count());
    if (u.skipped_test_count() > 0) std::printf("[  SKIPPED ] %d tests.\n", u.skipped_test_count());
    for (const std::string& name : failed_) std::printf("[  FAILED  ] %s\n", name.c_str());
    if (!failed_.empty()) std::printf("\n%zu FAILED TESTS\n", failed_.size());
    std::fflush(stdout);
  }

 private:
  std::vector<std::string> failed_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
  delete listeners.Release(listeners.default_result_printer());
  listeners.Append(new Printer);
  return RUN_ALL_TESTS();
}
