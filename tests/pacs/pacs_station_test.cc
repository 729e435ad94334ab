#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "dicom/outbox_journal.h"
#include "support/pacs_servers.h"
#include "support/pictures.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kLimit = 30s;
// A PACS that comes back is tried again within the back-off (2, 4, 8, 16 s...).
constexpr auto kRetryLimit = 90s;

// One Orthanc for every test of the binary: each test files its stills under its own ID.
OrthancServer* orthanc = nullptr;

class OrthancEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (OrthancServer::Missing().empty()) orthanc = new OrthancServer();
  }
  void TearDown() override {
    delete orthanc;
    orthanc = nullptr;
  }
};
[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new OrthancEnvironment);

std::string DestinationText(const std::string& called_ae, int port) {
  return "dicom_called_ae = " + called_ae +
         "\ndicom_host = 127.0.0.1\ndicom_port = " + std::to_string(port) +
         "\ndicom_institution = 北クリニック\n";
}

// A station (program folder, its own velmarin.conf) run headless with `id`.
class PacsStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
    if (!orthanc) GTEST_SKIP() << OrthancServer::Missing();
    fs::create_directories(station_);
    UseDestination(DestinationText(OrthancServer::kAeTitle, orthanc->dicom_port()));
  }
  void UseDestination(const std::string& text) {
    fs::create_directories(root_ / "config" / "velmarin");
    WriteFileBytes(root_ / "config" / "velmarin" / "velmarin.conf", text);
  }
  std::vector<std::string> Environment(const std::string& extra = "") const {
    std::vector<std::string> env = {"DISPLAY=", "XDG_CONFIG_HOME=" + (root_ / "config").string()};
    if (!extra.empty()) env.push_back(extra);
    return env;
  }
  std::unique_ptr<BackgroundProgram> StartStation(const std::string& id,
                                                  const std::string& extra_env = "") {
    auto station = std::make_unique<BackgroundProgram>(
        std::vector<std::string>{"--headless", "--dir", station_.string(), "--id", id},
        logs_.path(), Environment(extra_env));
    EXPECT_TRUE(station->WaitForErr("watching " + station_.string(), kLimit));
    return station;
  }
  // A capture of a width of its own, so its transferred file can be told apart.
  void Capture(int n) {
    WriteFileBytes(station_ / ("capture" + std::to_string(n) + ".jpg"),
                   JpegBytes(640 + 8 * n, 480, n));
  }
  // The transferred files by their count, from the headless lines "COUNT<TAB>PATH".
  static std::map<int, fs::path> Transferred(const std::string& out) {
    std::map<int, fs::path> files;
    for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos;
         start = end + 1) {
      const std::string line = out.substr(start, end - start);
      files[std::stoi(line.substr(0, line.find('\t')))] = line.substr(line.find('\t') + 1);
    }
    return files;
  }

  // Whether the station's PACS journal names no still waiting.
  bool NothingWaits() const {
    std::string error;
    const auto journal =
        ParseOutboxJournal(ReadFileBytes(station_ / "velmarin.pacs-journal"), &error);
    return journal && journal->waiting.empty();
  }

  TempDir root_;
  TempDir logs_;
  const fs::path station_ = root_ / "station";
};

TEST_F(PacsStationTest, FiveCapturesAreFiveInstancesUnderTheIdWithTheTransferredBytes) {
  const std::string id = "ヤマダ12";  // not ASCII: UTF-8 in the instances
  auto station = StartStation(id);
  for (int n = 1; n <= 5; ++n) Capture(n);
  const auto instances = orthanc->WaitForInstances(id, 5, kLimit);
  ASSERT_EQ(instances.size(), 5u) << station->err();
  ASSERT_TRUE(WaitFor([&] { return Transferred(station->out()).size() == 5; }, kLimit));
  const auto files = Transferred(station->out());
  for (const StoredInstance& instance : instances) {
    ASSERT_TRUE(files.contains(instance.instance_number));
    const std::string transferred = ReadFileBytes(files.at(instance.instance_number));
    std::string frame = orthanc->RawFrameOf(instance);
    if (frame.size() == transferred.size() + 1 && frame.back() == '\0') frame.pop_back();
    EXPECT_TRUE(frame == transferred) << "instance " << instance.instance_number;
    const std::string tags = orthanc->TagsOf(instance);
    EXPECT_NE(tags.find("\"SOPClassUID\" : \"1.2.840.10008.5.1.4.1.1.7\""), std::string::npos);
    EXPECT_NE(tags.find("\"BurnedInAnnotation\" : \"YES\""), std::string::npos);
  }
  EXPECT_EQ(station->Stop(SIGTERM), 0);
  EXPECT_TRUE(NothingWaits());
  EXPECT_EQ(station->err().find("waiting for the PACS"), std::string::npos) << station->err();
}

TEST_F(PacsStationTest, ThreeCapturesWhileThePacsIsDownArriveOnceInOrderWhenItIsBack) {
  const std::string id = "DOWN3";
  auto station = StartStation(id);
  orthanc->Stop();
  Capture(1);
  ASSERT_TRUE(station->WaitForErr("refused the connection", kLimit));
  Capture(2);
  Capture(3);
  ASSERT_TRUE(station->WaitForErr("3 stills waiting for the PACS", kLimit));
  EXPECT_EQ(Transferred(station->out()).size(), 3u) << "the PACS held back the transfer folder";
  orthanc->Start();
  ASSERT_TRUE(station->WaitForErr("all stills sent to the PACS", kRetryLimit));
  const auto instances = orthanc->InstancesOf(id);
  ASSERT_EQ(instances.size(), 3u);
  std::vector<std::string> arrived;
  for (const std::string& instance : orthanc->ArrivalOrder()) {
    for (const StoredInstance& mine : instances) {
      if (mine.id == instance) arrived.push_back(std::to_string(mine.instance_number));
    }
  }
  EXPECT_EQ(arrived, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(station->Stop(SIGTERM), 0);
}

TEST_F(PacsStationTest, AStationKilledWhileSendingSendsEveryStillOnceAfterItsRestart) {
  const std::string id = "KILL9";
  auto station = StartStation(id, "VELMARIN_TEST_HOLD_AFTER_STORE=" + (root_ / "never").string());
  Capture(1);
  ASSERT_TRUE(station->WaitForErr("stored in the PACS; held", kLimit));
  const auto before = orthanc->InstancesOf(id);
  ASSERT_EQ(before.size(), 1u);
  Capture(2);
  ASSERT_TRUE(WaitFor([&] { return Transferred(station->out()).size() == 2; }, kLimit));
  EXPECT_EQ(station->Stop(SIGKILL), -1);

  // The kill may come before the transfer journal let the second still go: it is then
  // transferred again after the restart, and must not become a second instance.
  station = StartStation(id);
  ASSERT_EQ(orthanc->WaitForInstances(id, 2, kLimit).size(), 2u) << station->err();
  ASSERT_TRUE(
      WaitFor([&] { return !fs::exists(station_ / "velmarin.journal") && NothingWaits(); }, kLimit))
      << station->err();
  EXPECT_EQ(station->Stop(SIGTERM), 0);
  const auto after = orthanc->InstancesOf(id);
  ASSERT_EQ(after.size(), 2u) << "a still went in twice";
  EXPECT_TRUE(after[0].sop_uid == before[0].sop_uid || after[1].sop_uid == before[0].sop_uid)
      << "the still stored before the kill was sent again as another instance";
  EXPECT_TRUE(FolderEntries(station_ / "pacs-outbox").empty());
}

TEST_F(PacsStationTest, APacsThatRefusesTheAeTitleIsSaidAndTheStillStays) {
  UseDestination(DestinationText("NOT-TESTPACS", orthanc->dicom_port()));
  const ProgramResult echo = RunProgram({"--dicom-echo"}, Environment());
  EXPECT_EQ(echo.exit_code, 1);
  EXPECT_NE(echo.err.find("the PACS does not know the called AE title \"NOT-TESTPACS\""),
            std::string::npos)
      << echo.err;

  const std::string id = "REFUSED";
  auto station = StartStation(id);
  Capture(1);
  ASSERT_TRUE(station->WaitForErr("the PACS does not know the called AE title", kLimit));
  ASSERT_TRUE(station->WaitForErr("1 still waiting for the PACS", kLimit));
  EXPECT_EQ(station->Stop(SIGTERM), 0);
  EXPECT_TRUE(orthanc->InstancesOf(id).empty());
  EXPECT_NE(ReadFileBytes(station_ / "velmarin.pacs-journal").find("REFUSED"), std::string::npos);
}

TEST_F(PacsStationTest, AReceiverWithoutJpegGetsThePixelsUncompressedSaidOnce) {
  StoreScp receiver;
  UseDestination(DestinationText("STORESCP", receiver.port()));
  const ProgramResult echo = RunProgram({"--dicom-echo"}, Environment());
  EXPECT_EQ(echo.exit_code, 0) << echo.err;
  EXPECT_NE(echo.out.find("answered"), std::string::npos);

  auto station = StartStation("RAW2");
  Capture(1);
  Capture(2);
  ASSERT_TRUE(WaitFor([&] { return Transferred(station->out()).size() == 2; }, kLimit));
  const auto files = receiver.WaitForFiles(2, kLimit);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(station->Stop(SIGTERM), 0) << station->err();
  for (const fs::path& file : files) {
    DcmFileFormat instance;
    ASSERT_TRUE(instance.loadFile(file.c_str()).good()) << file;
    DcmDataset& dataset = *instance.getDataset();
    EXPECT_EQ(dataset.getOriginalXfer(), EXS_LittleEndianExplicit);
    OFString value;
    dataset.findAndGetOFString(DCM_PhotometricInterpretation, value);
    EXPECT_EQ(value, "RGB");
    dataset.findAndGetOFString(DCM_PatientID, value);
    EXPECT_EQ(value, "RAW2");
  }
  const std::string said = "the PACS takes no JPEG: stills are sent uncompressed";
  const std::string err = station->err();
  ASSERT_NE(err.find(said), std::string::npos) << err;
  EXPECT_EQ(err.find(said, err.find(said) + 1), std::string::npos) << "said more than once";
}

}  // namespace
}  // namespace velmarin::test
