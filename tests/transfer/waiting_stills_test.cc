#include <sys/mount.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

#include "support/cp932_text_testing.h"
#include "support/temp_dir.h"
#include "transfer/claimed_target.h"
#include "transfer/folder_monitor_fixture.h"
#include "transfer/still_journal.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The folder thread with its transfer folder on a share outside the program folder, whose
// file system the test decides (a table of folder places).
class WaitingStills : public FolderMonitorFixture {
 protected:
  WaitingStills() : share_(share_root_ / "hozon"), share_fake_(share_) {
    fs::create_directories(share_);
    SetSlot(SettingSlot::TransferFolder, share_.string());
    SetPipeline(share_fake_);
    memory_.transfer_folders = TransferFolderCheck(
        [this](const fs::path& path) {
          std::lock_guard lock(places_mutex_);
          const auto place = RealFolderPlace(path);
          if (!place) return place;
          const auto moved = places_.find(path);
          return moved == places_.end() ? place : std::optional(moved->second);
        },
        [this] {
          std::lock_guard lock(places_mutex_);
          return unmounted_;
        });
  }

  // The thread ends before the pipeline it uses.
  ~WaitingStills() override {
    RequestStop();
    Join();
  }

  // The file system `folder` is said to lie on from now on.
  void PlaceOn(const fs::path& folder, FolderPlace place) {
    std::lock_guard lock(places_mutex_);
    places_[folder] = place;
  }

  std::vector<std::string> TransferredBytes() const {
    std::vector<std::string> bytes;
    for (const auto& [count, target] : Transferred()) bytes.push_back(ReadFileBytes(target));
    return bytes;
  }

  TempDir share_root_;
  const fs::path share_;
  FakePipeline share_fake_;
  std::mutex places_mutex_;
  std::map<fs::path, FolderPlace> places_;
  std::vector<fs::path> unmounted_;  // declared mount points not mounted now
};

// A share that went away: nothing is written and the folder is not made again; the stills
// wait in order and go at the first look after it is back, whatever the back-off.
TEST_F(WaitingStills, MissingTransferFolderIsNeverMadeAndItsStillsGoInOrderWhenItReturns) {
  Start();
  fs::remove_all(share_);
  AddImage("a.jpg", "a");
  AddImage("b.jpg", "b");
  RunCycle();
  EXPECT_FALSE(fs::exists(share_));
  EXPECT_TRUE(share_fake_.calls().empty());
  EXPECT_EQ(errors_.Get(), "transfer folder not available: " + share_.string());
  RunCycle();  // a look before the back-off ran out says how many wait
  EXPECT_EQ(errors_.Get(), "2 stills waiting ");
  AdvanceClock(seconds(2));
  RunCycle();  // tried again: still missing, said no more
  EXPECT_EQ(errors_.Get(), "2 stills waiting ");

  AddImageAndRunCycle("c.jpg", "c");
  EXPECT_EQ(errors_.Get(), "3 stills waiting ");
  fs::create_directories(share_);
  RunCycle();
  EXPECT_EQ(TransferredBytes(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Transferred()[2].first, 3);
  EXPECT_EQ(errors_.Get(), "all waiting stills sent ");
  EXPECT_EQ(image_count_, 3);
}

// An unmounted share leaves its empty mount point on the file system below it; a share
// mounted again may get another device number, which is accepted.
TEST_F(WaitingStills, FolderOnTheFileSystemBelowItsShareIsRefusedAndARemountAccepted) {
  const auto below = RealFolderPlace(share_root_.path());
  ASSERT_TRUE(below);
  PlaceOn(share_, {below->device + 1, 0x6969});  // an NFS share mounted on it
  Start();
  PlaceOn(share_, *below);  // unmounted: the bare mount point
  AddImageAndRunCycle("a.jpg", "a");
  EXPECT_TRUE(Transferred().empty());
  EXPECT_TRUE(share_fake_.calls().empty());
  EXPECT_EQ(errors_.Get(), "transfer folder not available: " + share_.string());

  PlaceOn(share_, {below->device + 7, 0xFE534D42});  // another file system (SMB)
  AdvanceClock(seconds(2));
  RunCycle();
  EXPECT_TRUE(Transferred().empty());

  PlaceOn(share_, {below->device + 9, 0x6969});  // the NFS share again, a new device number
  RunCycle();
  EXPECT_EQ(TransferredBytes(), (std::vector<std::string>{"a"}));
  EXPECT_EQ(errors_.Get(), "all waiting stills sent ");
}

// The program started while the share was down: its bare mount point is never learnt as the
// transfer folder; the still goes once the share is mounted.
TEST_F(WaitingStills, FolderBelowAnUnmountedShareAtStartIsRefusedUntilItIsMounted) {
  const auto below = RealFolderPlace(share_root_.path());
  ASSERT_TRUE(below);
  unmounted_ = {share_root_.path()};
  Start();
  AddImageAndRunCycle("a.jpg", "a");
  EXPECT_TRUE(share_fake_.calls().empty());
  EXPECT_EQ(errors_.Get(), "transfer folder not available: " + share_.string());

  {
    std::lock_guard lock(places_mutex_);
    unmounted_.clear();
  }
  PlaceOn(share_, {below->device + 1, 0x6969});  // the NFS share mounted
  RunCycle();
  EXPECT_EQ(TransferredBytes(), (std::vector<std::string>{"a"}));
}

// A full disk: the still waits with the ID and clock it arrived with, and the back-off
// stops growing at a minute.
TEST_F(WaitingStills, FullDiskKeepsTheStillWithItsIdUntilThereIsRoom) {
  share_fake_.disk_full = true;
  Start();
  AddImageAndRunCycle("a.jpg", "a");
  EXPECT_EQ(errors_.Get(), "jpg_file_open_error! ");
  SetCaptureId("999");
  for (const int wait : {2, 4, 8, 16, 32, 60, 60}) {
    const std::size_t tried = share_fake_.calls_of("process").size();
    AdvanceClock(seconds(wait) - milliseconds(1));
    RunCycle();
    EXPECT_EQ(share_fake_.calls_of("process").size(), tried) << wait;
    AdvanceClock(milliseconds(1));
    RunCycle();
    EXPECT_EQ(share_fake_.calls_of("process").size(), tried + 1) << wait;
  }
  // Every look waits at most its idle period, and no longer than the back-off.
  for (const auto timeout : events_.timeouts()) EXPECT_LE(timeout, milliseconds(500));
  EXPECT_EQ(errors_.Get(), "jpg_file_open_error! ");  // why the one still waits
  EXPECT_EQ(share_fake_.calls_of("process").size(), 8u);
  share_fake_.disk_full = false;
  AdvanceClock(seconds(60));
  RunCycle();
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(share_fake_.calls_of("process").back().capture_id, "123456");
}

// A still that cannot be read is not tried again until its writer writes it anew; the
// stills behind it never wait for it.
TEST_F(WaitingStills, UnreadableStillIsNotRetriedUntilItChanges) {
  share_fake_.unreadable = 1;
  Start();
  AddImageAndRunCycle("bad.jpg", "bad");
  AddImageAndRunCycle("good.jpg", "good");
  AdvanceClock(seconds(60));
  RunCycles(2);
  EXPECT_EQ(TransferredBytes(), (std::vector<std::string>{"good"}));
  EXPECT_EQ(share_fake_.calls_of("read").size(), 2u);

  WriteFileBytes(Watch("bad.jpg"), "mended");  // rewritten in place
  Event(FolderEvent::Kind::kClosedAfterWrite, "bad.jpg");
  RunCycle();
  EXPECT_EQ(TransferredBytes(), (std::vector<std::string>{"good", "mended"}));
}

// Every still not yet sent is in the journal; a new run takes it with the ID it arrived
// with, even though the listing at its start shows it as present.
TEST_F(WaitingStills, JournalKeepsWaitingStillsForTheNextRunWithTheirId) {
  share_fake_.disk_full = true;
  Start();
  AddImageAndRunCycle("a.jpg", "a");
  const fs::path journal = root_.path() / "velmarin.journal";
  ASSERT_TRUE(fs::exists(journal));
  EXPECT_NE(ReadFileBytes(journal).find(Watch("a.jpg").string()), std::string::npos);

  // The program ends (its memory is gone) and starts again with another ID.
  RequestStop();
  Join();
  const auto replayed = ReplayJournal({root_.path(), Cp932Text(root_.path().string())}, Settings{},
                                      [](const OwnMessage&) { FAIL(); });
  ASSERT_EQ(replayed.size(), 1u);
  memory_.arrivals = StillArrivals();
  memory_.start_over = true;
  memory_.arrivals.Restore(replayed);
  memory_.retry = {};
  share_fake_.disk_full = false;
  SetCaptureId("777");
  Restart(true);
  RunCycle();
  EXPECT_EQ(TransferredBytes(), (std::vector<std::string>{"a"}));
  EXPECT_EQ(share_fake_.calls_of("process").back().capture_id, "123456");
  EXPECT_FALSE(fs::exists(journal));  // nothing left to keep
  // It is not counted against the new ID (the title would read "777-1"); that it went is said
  // once.
  EXPECT_EQ(image_count_, 0);
  EXPECT_EQ(Transferred().back().first, 0);
  EXPECT_EQ(errors_.Get(), "1 still from the last run sent ");
  const auto said = errors_.Generation();
  AddImageAndRunCycle("b.jpg", "b");
  EXPECT_EQ(image_count_, 1);
  EXPECT_EQ(Transferred().back().first, 1);
  EXPECT_EQ(errors_.Generation(), said);
}

// The share is a server's disk (a tmpfs) bound on the transfer folder; it is unmounted
// (lazily, as `umount -l` does) while a still is written. The image never reaches the bare
// mount point, the one that reached the share through the folder held open is removed again,
// nothing is said sent, and the still goes once the share is back.
TEST_F(WaitingStills, ShareUnmountedWhileAStillIsWrittenGetsItOnlyOnceItIsBack) {
  const fs::path server = share_root_ / "server";
  fs::create_directories(server);
  if (mount("velmarin-test", server.c_str(), "tmpfs", 0, "size=4m") != 0) {
    GTEST_SKIP() << "mounting a tmpfs is not allowed here: " << std::strerror(errno);
  }
  struct Unmount {
    std::vector<fs::path> folders;
    ~Unmount() {
      for (const fs::path& folder : folders) umount2(folder.c_str(), MNT_DETACH);
    }
  } unmount{{share_, server}};
  const auto bind = [&] {
    return mount(server.c_str(), share_.c_str(), nullptr, MS_BIND, nullptr);
  };
  ASSERT_EQ(bind(), 0) << std::strerror(errno);
  std::atomic<bool> drop{true};
  share_fake_.before_write = [&] {
    if (drop.exchange(false)) umount2(share_.c_str(), MNT_DETACH);
  };
  Start();
  AddImageAndRunCycle("a.jpg", "a");
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(share_fake_.calls_of("process").size(), 1u);
  EXPECT_EQ(errors_.Get(), "transfer folder not available: " + share_.string());
  EXPECT_TRUE(FolderEntries(share_).empty()) << "written onto the bare mount point";
  EXPECT_TRUE(FolderEntries(server).empty()) << "left on the share that was unmounted";

  ASSERT_EQ(bind(), 0) << std::strerror(errno);
  RunCycle();
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(Transferred()[0].second, share_ / "image2.jpg");
  EXPECT_EQ(FolderEntries(server), std::vector<std::string>{"image2.jpg"});
  EXPECT_EQ(ReadFileBytes(server / "image2.jpg"), "a");
  EXPECT_EQ(errors_.Get(), "all waiting stills sent ");
}

// The last run claimed a name for a still's image and ended before its journal could say the
// still was sent. Its image is there with its content: the still counts as sent and is not
// sent again. Another still's claimed name holds another station's image: it is sent anew.
TEST_F(WaitingStills, StillWhoseImageWasClaimedBeforeACrashIsNotSentAgain) {
  WriteFileBytes(share_ / "004711_001.jpg", "a, edited");
  WriteFileBytes(share_ / "004711_002.jpg", "another station's");
  Settings settings = DefaultSettings(Cp932Text(root_.path().string()));
  settings[SettingSlot::TransferFolder] = Cp932Text(share_.string());
  std::vector<ArrivedStill> journalled;
  for (const auto& [name, target] :
       {std::pair{"a.jpg", "004711_001.jpg"}, {"b.jpg", "004711_002.jpg"}}) {
    WriteNewFile(Watch(name), name);
    ArrivedStill still;
    still.path = Watch(name);
    still.identity = IdentityOf(*QueryDirectoryEntry(watch_, name));
    still.binding = {Cp932Text("4711"), {2026, 3, 4, 5, 6, 7}, settings};
    still.claimed = ClaimedTarget{share_ / target, *ContentHash(share_ / "004711_001.jpg")};
    journalled.push_back(std::move(still));
  }
  memory_.arrivals.Restore(std::move(journalled));
  Start();
  RunCycle();
  const auto sent = Transferred();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].second, share_ / "004711_001.jpg");
  EXPECT_EQ(sent[1].second, share_ / "image1.jpg");
  EXPECT_EQ(ReadFileBytes(share_ / "image1.jpg"), "b.jpg");
  EXPECT_EQ(share_fake_.calls_of("process").size(), 1u);
  EXPECT_EQ(ReadFileBytes(share_ / "004711_002.jpg"), "another station's");
}

TEST(StillJournal, DamagedJournalIsSetAsideWithAMessageAndNeverTrusted) {
  TempDir root;
  const ProgramDir program_dir{root.path(), Cp932Text(root.path().string())};
  WriteFileBytes(root / "still.jpg", "x");
  ArrivedStill still;
  still.path = root / "still.jpg";
  still.identity = IdentityOf(*QueryDirectoryEntry(root.path(), "still.jpg"));
  still.binding = {"AB\t%12", {2026, 12, 7, 19, 58, 1}, {}};
  const std::string text = JournalText({&still});
  std::string error;
  const auto back = ParseJournal(text, Settings{}, &error);
  ASSERT_TRUE(back) << error;
  ASSERT_EQ(back->size(), 1u);
  EXPECT_EQ((*back)[0].identity, still.identity);
  EXPECT_EQ((*back)[0].binding.capture_id, "AB\t%12");
  EXPECT_EQ((*back)[0].binding.clock.minute, 58);

  for (const std::string& damaged :
       {text.substr(0, text.find('\t')) + "\tx\n", text + "left\tnot a still\n",
        std::string("velmarin journal 1\nend 1\n"), std::string("\x01\x02garbage")}) {
    EXPECT_FALSE(ParseJournal(damaged, Settings{}, &error)) << damaged;
  }

  WriteFileBytes(root / "velmarin.journal", text + "claim\tdamaged\n");
  std::vector<OwnMessage> lines;
  const auto replayed = ReplayJournal(program_dir, Settings{},
                                      [&](const OwnMessage& line) { lines.push_back(line); });
  EXPECT_TRUE(replayed.empty());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].english.find("set aside as " + (root / "velmarin.journal.damaged").string()),
            std::string::npos);
  // The window's box says it in Japanese.
  EXPECT_NE(
      lines[0].japanese.find((root / "velmarin.journal").string() + " が壊れています。" +
                             (root / "velmarin.journal.damaged").string() + " に移しました。"),
      std::string::npos)
      << lines[0].japanese;
  EXPECT_FALSE(fs::exists(root / "velmarin.journal"));
  EXPECT_TRUE(fs::exists(root / "velmarin.journal.damaged"));
}

}  // namespace
}  // namespace velmarin::test
