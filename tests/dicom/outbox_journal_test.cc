#include "dicom/outbox_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dicom/dicom_uids.h"
#include "support/temp_dir.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

OutboxEntry Entry(const std::string& target, Cp932Text id, int number) {
  OutboxEntry entry;
  entry.target = target;
  entry.facts.patient_id = std::move(id);
  entry.facts.clock = {2026, 12, 31, 23, 59, 60};
  entry.facts.instance_number = number;
  entry.facts.study_uid = NewDicomUid();
  entry.facts.series_uid = NewDicomUid();
  entry.facts.sop_uid = NewDicomUid();
  return entry;
}

TEST(OutboxJournal, WhatIsWrittenIsReadBackAndAnEmptyOutboxLeavesNoFile) {
  test::TempDir dir;
  const ProgramDir program{dir.path(), Cp932Text(dir.path().string())};
  const OutboxJournal journal(program);
  // A path with a tab and a line end, an ID with a percent sign and two-byte characters.
  const std::vector<OutboxEntry> entries = {
      Entry("/hozon/a\tb\nc.jpg", Cp932Text("12%\x8e\x52"), 1),
      Entry("/hozon/2026/000123_001.jpg", Cp932Text("0"), 2)};
  const std::string sent = NewDicomUid();
  ASSERT_TRUE(journal.Write({entries, {sent}}));
  const auto content =
      journal.Replay([](const OwnMessage& line) { ADD_FAILURE() << line.english; });
  ASSERT_TRUE(content);
  EXPECT_EQ(content->sent, std::vector<std::string>{sent});
  const std::vector<OutboxEntry>* read = &content->waiting;
  ASSERT_EQ(read->size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const InstanceFacts& got = (*read)[i].facts;
    const InstanceFacts& want = entries[i].facts;
    EXPECT_EQ((*read)[i].target, entries[i].target);
    EXPECT_EQ(got.patient_id, want.patient_id);
    EXPECT_EQ(got.clock.second, 60);
    EXPECT_EQ(got.instance_number, want.instance_number);
    EXPECT_EQ(got.study_uid, want.study_uid);
    EXPECT_EQ(got.series_uid, want.series_uid);
    EXPECT_EQ(got.sop_uid, want.sop_uid);
  }
  ASSERT_TRUE(journal.Write({}));
  EXPECT_FALSE(fs::exists(journal.file()));
  EXPECT_TRUE(journal.Replay([](const OwnMessage&) {})->waiting.empty());
}

TEST(OutboxJournal, ADamagedJournalIsSetAsideAndSaid) {
  test::TempDir dir;
  const ProgramDir program{dir.path(), Cp932Text(dir.path().string())};
  const OutboxJournal journal(program);
  const std::string whole = OutboxJournalText({{Entry("/t/1.jpg", Cp932Text("1"), 1)}, {}});
  for (const std::string& damaged : {whole.substr(0, whole.size() - 3), whole + "x\n",
                                     std::string("velmarin pacs journal 1\nend 0")}) {
    test::WriteFileBytes(journal.file(), damaged);
    std::vector<std::string> said;
    EXPECT_FALSE(journal.Replay([&](const OwnMessage& line) { said.push_back(line.english); }));
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("set aside as " + journal.file().string() + ".damaged"),
              std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(journal.file().string() + ".damaged"), damaged);
  }
  std::string error;
  std::string bad_uid = whole;
  bad_uid.replace(bad_uid.find("2.25."), 5, "2.025.");
  EXPECT_FALSE(ParseOutboxJournal(bad_uid, &error));
  EXPECT_EQ(error, "line 2 is damaged");
}

}  // namespace
}  // namespace velmarin
