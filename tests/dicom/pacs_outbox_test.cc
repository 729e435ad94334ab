#include "dicom/pacs_outbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>

#include "support/pictures.h"
#include "support/program_process.h"
#include "support/recorded_messages.h"
#include "support/scripted_instance_sender.h"
#include "support/temp_dir.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kLimit = 10s;
constexpr const char* kDestination =
    "dicom_called_ae = ARCHIVE\ndicom_host = localhost\ndicom_port = 11112\n";

// The outbox on a temporary program folder, its PACS scripted, its clock stepped by the test.
class PacsOutboxTest : public ::testing::Test {
 protected:
  PacsOutboxTest() : program_{dir_.path(), Cp932Text(dir_.path().string())} {
    fs::create_directories(dir_ / "hozon");
    WriteConfig(kDestination);
  }
  ~PacsOutboxTest() override { outbox_.reset(); }

  void WriteConfig(const std::string& text) { test::WriteFileBytes(dir_ / "velmarin.conf", text); }

  void Start() {
    auto sender = std::make_unique<test::ScriptedInstanceSender>();
    sender_ = sender.get();
    OutboxSetup setup;
    setup.config_file = dir_ / "velmarin.conf";
    setup.sender = std::move(sender);
    setup.timing.clock = [this] { return start_ + std::chrono::milliseconds(offset_ms_.load()); };
    setup.on_status = [this](const OutboxStatus& status) {
      std::lock_guard lock(mutex_);
      status_ = status;
      changed_.notify_all();
    };
    outbox_.emplace(program_, errors_, messages_, std::move(setup));
    outbox_->Start();
  }

  // A still transferred as hozon/NAME, its number `number`.
  fs::path Transfer(const std::string& name, int number) {
    const fs::path target = dir_ / "hozon" / name;
    test::WriteFileBytes(target, test::JpegBytes(64 + 8 * number, 48, number));
    ArrivedStill still;
    still.path = dir_ / "watch" / name;
    still.identity = {name, static_cast<std::uint64_t>(number), 0};
    still.creation_time_ns = number;
    still.binding.capture_id = Cp932Text("4711");
    still.binding.clock = {2026, 5, 1, 9, 30, number};
    still.count = number;
    outbox_->Add(still, target);
    return target;
  }

  // Waits (bounded) until the outbox's status satisfies `done`.
  OutboxStatus WaitForStatus(const std::function<bool(const OutboxStatus&)>& done) {
    std::unique_lock lock(mutex_);
    EXPECT_TRUE(changed_.wait_for(lock, kLimit, [&] { return status_ && done(*status_); }))
        << "the outbox did not get there";
    return status_.value_or(OutboxStatus{});
  }

  // How long the outbox waits before it tries again.
  std::chrono::milliseconds Pause(const OutboxStatus& status) const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        status.next_try - (start_ + std::chrono::milliseconds(offset_ms_.load())));
  }
  void PassTime(std::chrono::milliseconds time) {
    offset_ms_ += time.count();
    outbox_->Wake();
  }
  bool ErrorSaid(const std::string& text) {
    return test::WaitFor([&] { return errors_.Get().bytes() == text; }, kLimit);
  }

  test::TempDir dir_;
  ProgramDir program_;
  LastErrorText errors_;
  test::RecordedMessages messages_;
  test::ScriptedInstanceSender* sender_ = nullptr;
  std::optional<PacsOutbox> outbox_;
  const Clock::time_point start_ = Clock::now();
  std::atomic<long long> offset_ms_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<OutboxStatus> status_;
};

TEST_F(PacsOutboxTest, SendsEachStillOnceInOrderAndForgetsWhatWasSent) {
  Start();
  std::vector<fs::path> targets;
  for (int i = 1; i <= 3; ++i) targets.push_back(Transfer("still" + std::to_string(i) + ".jpg", i));
  WaitForStatus([](const OutboxStatus& s) { return s.waiting == 0 && s.attempts == 3; });
  const auto sent = sender_->sent();
  ASSERT_EQ(sent.size(), 3u);
  std::set<std::string> sop_uids;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(sent[i].facts.instance_number, static_cast<int>(i) + 1);
    EXPECT_TRUE(sent[i].jpeg == test::ReadFileBytes(targets[i]));
    EXPECT_EQ(sent[i].destination.called_ae, "ARCHIVE");
    EXPECT_EQ(sent[i].facts.study_uid, sent[0].facts.study_uid);
    EXPECT_EQ(sent[i].facts.series_uid, sent[0].facts.series_uid);
    sop_uids.insert(sent[i].facts.sop_uid);
  }
  EXPECT_EQ(sop_uids.size(), 3u);
  outbox_->BeginRun();
  Transfer("still4.jpg", 1);
  ASSERT_TRUE(sender_->WaitForSends(4, kLimit));
  EXPECT_NE(sender_->sent()[3].facts.series_uid, sent[0].facts.series_uid) << "a new run";
  WaitForStatus([](const OutboxStatus& s) { return s.waiting == 0; });
  std::string error;
  const auto journal =
      ParseOutboxJournal(test::ReadFileBytes(dir_ / "velmarin.pacs-journal"), &error);
  ASSERT_TRUE(journal) << error;
  EXPECT_TRUE(journal->waiting.empty());
  EXPECT_EQ(journal->sent.size(), 4u);
  EXPECT_TRUE(test::FolderEntries(dir_ / "pacs-outbox").empty());
}

// A crash after the outbox took a still but before the transfer journal let it go transfers
// it again after the restart: waiting or sent already, it is not sent a second time.
TEST_F(PacsOutboxTest, AStillTransferredAgainIsNotSentTwice) {
  Start();
  Transfer("a.jpg", 1);
  WaitForStatus([](const OutboxStatus& s) { return s.waiting == 0; });
  outbox_.reset();
  Start();
  sender_->Hold();
  Transfer("a.jpg", 1);  // sent before the crash
  Transfer("b.jpg", 2);
  Transfer("b.jpg", 2);  // waiting
  sender_->Release();
  WaitForStatus([](const OutboxStatus& s) { return s.waiting == 0; });
  ASSERT_EQ(sender_->sent().size(), 1u);
  EXPECT_EQ(sender_->sent()[0].facts.instance_number, 2);
}

TEST_F(PacsOutboxTest, BacksOffWhileThePacsIsDownAndSaysHowManyWait) {
  const DicomOutcome down{DicomResult::kRetry, "127.0.0.1:11112 refused the connection"};
  Start();
  sender_->Script({down, down, down, down, down, down, down});
  Transfer("a.jpg", 1);
  ASSERT_TRUE(ErrorSaid("127.0.0.1:11112 refused the connection "));
  Transfer("b.jpg", 2);
  Transfer("c.jpg", 3);
  EXPECT_TRUE(ErrorSaid("3 stills waiting for the PACS "));
  // 2 s, doubled at every failure, at most a minute.
  int failures = 0;
  for (const auto pause : {2s, 4s, 8s, 16s, 32s, 60s, 60s}) {
    ++failures;
    const OutboxStatus status = WaitForStatus([&](const OutboxStatus& s) {
      return s.failures == failures && s.attempts == static_cast<std::uint64_t>(failures);
    });
    EXPECT_EQ(Pause(status), pause) << "after failure " << failures;
    PassTime(pause);
  }
  WaitForStatus([](const OutboxStatus& s) { return s.waiting == 0; });
  EXPECT_TRUE(ErrorSaid("all stills sent to the PACS "));
  const auto sent = sender_->sent();
  ASSERT_EQ(sent.size(), 10u);
  EXPECT_EQ(sent[7].facts.instance_number, 1);
  EXPECT_EQ(sent[8].facts.instance_number, 2);
  EXPECT_EQ(sent[9].facts.instance_number, 3);
  EXPECT_EQ(sent[0].facts.sop_uid, sent[7].facts.sop_uid) << "a try again is the same instance";
}

TEST_F(PacsOutboxTest, ARefusalIsSaidOnceAndTheStillsWaitUntilTheDestinationChanges) {
  Start();
  sender_->Script(
      {{DicomResult::kRefused, "the PACS does not know the called AE title \"ARCHIVE\""}});
  Transfer("a.jpg", 1);
  OutboxStatus status = WaitForStatus([](const OutboxStatus& s) { return s.refused; });
  ASSERT_EQ(messages_.texts().size(), 1u);
  EXPECT_NE(messages_.texts()[0].find("the PACS does not know the called AE title"),
            std::string::npos);
  EXPECT_TRUE(ErrorSaid("1 still waiting for the PACS "));
  // A minute on, velmarin.conf is read again: unchanged, nothing is sent.
  PassTime(60s);
  status = WaitForStatus([&](const OutboxStatus& s) { return s.next_try > status.next_try; });
  EXPECT_EQ(status.attempts, 1u);
  WriteConfig("dicom_called_ae = ARCHIVE2\ndicom_host = localhost\ndicom_port = 11112\n");
  PassTime(60s);
  WaitForStatus([](const OutboxStatus& s) { return s.waiting == 0; });
  ASSERT_EQ(sender_->sent().size(), 2u);
  EXPECT_EQ(sender_->sent()[1].destination.called_ae, "ARCHIVE2");
  EXPECT_EQ(messages_.texts().size(), 1u);
}

TEST_F(PacsOutboxTest, AnUnusableDestinationKeepsTheStillsUntilItIsMended) {
  WriteConfig("dicom_called_ae = ARCHIVE\ndicom_host = localhost\ndicom_port = 0\n");
  Start();
  ASSERT_TRUE(outbox_->enabled());
  Transfer("a.jpg", 1);
  EXPECT_TRUE(ErrorSaid("1 still waiting for the PACS "));
  EXPECT_EQ(outbox_->status().attempts, 0u);
  EXPECT_TRUE(fs::exists(dir_ / "velmarin.pacs-journal"));
  WriteConfig(kDestination);
  PassTime(60s);
  WaitForStatus([](const OutboxStatus& s) { return s.waiting == 0; });
  EXPECT_EQ(sender_->sent().size(), 1u);
}

TEST_F(PacsOutboxTest, AStillStoppedWhileSendingIsTheSameInstanceAtTheNextStart) {
  Start();
  sender_->Hold();
  const fs::path target = Transfer("a.jpg", 1);
  ASSERT_TRUE(sender_->WaitForSends(1, kLimit));
  const test::ScriptedInstanceSender::Sent first = sender_->sent()[0];
  outbox_.reset();  // a stop in the middle of the send: it ends at once
  // The transfer folder's file may go meanwhile: the outbox has its own copy.
  fs::remove(target);
  Start();
  WaitForStatus([](const OutboxStatus& s) { return s.waiting == 0; });
  ASSERT_EQ(sender_->sent().size(), 1u);
  const auto again = sender_->sent()[0];
  EXPECT_EQ(again.facts.sop_uid, first.facts.sop_uid);
  EXPECT_EQ(again.facts.series_uid, first.facts.series_uid);
  EXPECT_TRUE(again.jpeg == first.jpeg);
}

TEST_F(PacsOutboxTest, AStationWithoutADestinationHasNoOutbox) {
  WriteConfig("input = auto\n");
  Start();
  EXPECT_FALSE(outbox_->enabled());
  Transfer("a.jpg", 1);
  EXPECT_FALSE(fs::exists(dir_ / "velmarin.pacs-journal"));
  EXPECT_FALSE(fs::exists(dir_ / "pacs-outbox"));
  EXPECT_EQ(outbox_->status().waiting, 0u);
}

}  // namespace
}  // namespace velmarin
