// The connection object's own part of every statement: what it hands to
// the database client and the status it leaves.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "rt/transaction.h"

namespace {

// A client that records the texts it is given and answers each with success.
struct Sent {
  std::vector<std::string> texts;
};

class RecordingClient : public rt::DbDriver {
 public:
  explicit RecordingClient(std::shared_ptr<Sent> sent) : sent_(std::move(sent)) {}
  rt::DbStatus Connect(const rt::DbSettings&) override { return rt::DbStatus::ok(); }
  rt::DbStatus Disconnect() override { return rt::DbStatus::ok(); }
  rt::DbStatus Execute(const std::string& sql) override {
    sent_->texts.push_back(sql);
    return rt::DbStatus::ok(1);
  }
  rt::DbStatus SelectString(const std::string& sql, std::optional<std::string>* value) override {
    sent_->texts.push_back(sql);
    *value = std::string("value");
    return rt::DbStatus::ok(1);
  }
  rt::DbStatus Commit() override { return rt::DbStatus::ok(); }
  rt::DbStatus Rollback() override { return rt::DbStatus::ok(); }
  rt::DbStatus SetAutoCommit(bool) override { return rt::DbStatus::ok(); }

 private:
  std::shared_ptr<Sent> sent_;
};

class Statements : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = rt::transaction::driver_factory();
    rt::transaction::set_driver_factory(
        [sent = sent_](const std::string&) { return std::make_unique<RecordingClient>(sent); });
    sqlca_.DBMS = std::string("MSS");
    sqlca_.connect();
    ASSERT_EQ(*sqlca_.SQLCode, 0);
  }
  void TearDown() override { rt::transaction::set_driver_factory(previous_); }

  void expect_refused(const std::string& text_shown) {
    EXPECT_EQ(*sqlca_.SQLCode, -1);
    EXPECT_EQ(*sqlca_.SQLNRows, 0);
    EXPECT_EQ(*sqlca_.SQLErrText, text_shown);
  }

  std::shared_ptr<Sent> sent_ = std::make_shared<Sent>();
  rt::transaction::DriverFactory previous_;
  rt::transaction sqlca_;
};

TEST_F(Statements, ATextWithAZeroByteIsNotSent) {
  const std::string update("update t_sys_system set sys_var_value='V9' \0where sys_var_id='zzz'", 66);
  sqlca_.execute_immediate(update);
  expect_refused("Statement text not sent: it holds a zero byte at byte offset 43.");

  rt::String target = std::string("kept");
  sqlca_.select_into(std::string("select 1\0", 9), target);
  expect_refused("Statement text not sent: it holds a zero byte at byte offset 8.");
  EXPECT_EQ(*target, "kept");
  EXPECT_TRUE(sent_->texts.empty());
}

TEST_F(Statements, ATextThatIsNotGbkIsNotSent) {
  sqlca_.execute_immediate(std::string("create procedure pr_a as select '\xC9\xFD\xFF'"));
  expect_refused("Statement text not sent: it is not GBK text at byte offset 35 (0xFF 0x27).");
  sqlca_.execute_immediate(std::string("select 1 \x81"));
  expect_refused("Statement text not sent: it is not GBK text at byte offset 9 (0x81).");
  // The first fault in the text is the one named.
  sqlca_.execute_immediate(std::string("\xFF\0", 2));
  expect_refused("Statement text not sent: it is not GBK text at byte offset 0 (0xFF 0x00).");
  rt::String target = std::string("kept");
  sqlca_.select_into(std::string("select '\x81\x7F'"), target);
  expect_refused("Statement text not sent: it is not GBK text at byte offset 8 (0x81 0x7F).");
  EXPECT_EQ(*target, "kept");
  EXPECT_TRUE(sent_->texts.empty());
}

TEST_F(Statements, GbkTextIsSentAsWrittenAndClearsARefusal) {
  sqlca_.execute_immediate(std::string("\xFF"));
  ASSERT_EQ(*sqlca_.SQLCode, -1);
  const std::string text = "update t set a = '\xC9\xFD\xBC\xB6 \x80 \x81\x40\xFE\xFE'";
  sqlca_.execute_immediate(text);
  EXPECT_EQ(*sqlca_.SQLCode, 0);
  EXPECT_EQ(*sqlca_.SQLErrText, "");
  rt::String target;
  sqlca_.select_into(std::string("select '\xC9\xFD'"), target);
  EXPECT_EQ(*sqlca_.SQLCode, 0);
  EXPECT_EQ(*target, "value");
  EXPECT_EQ(sent_->texts, (std::vector<std::string>{text, "select '\xC9\xFD'"}));
}

}  // namespace
