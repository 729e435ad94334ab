#include "control/station_bus.h"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <QXmlStreamReader>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "control/station_bus_names.h"
#include "platform/encoding.h"
#include "platform/inotify_folder_events.h"
#include "support/program_process.h"
#include "support/recorded_messages.h"
#include "support/recording_input.h"
#include "support/scripted_serial_port.h"
#include "support/session_bus.h"
#include "support/simulated_usb_io_board.h"
#include "support/temp_dir.h"
#include "transfer/image_transfer_pipeline.h"

namespace velmarin::test {
namespace {

using namespace std::chrono_literals;

// Generous: the suite may share the machine with other builds.
constexpr auto kLimit = 30s;

// The station's commands as a front end without a window has them.
class SessionCommands final : public StationCommands {
 public:
  explicit SessionCommands(ProgramSession& session) : session_(session) {}
  std::optional<Cp932Text> Start(const Cp932Text& id) override { return session_.StartWithId(id); }
  void SetId(const Cp932Text& id) override { session_.SetId(id); }
  Cp932Text Stop() override { return session_.Stop(); }

 private:
  ProgramSession& session_;
};

// What the bus thread tells the test: its lines and its wakes of the owner, waited on.
class BusEvents {
 public:
  void Say(std::string_view line) {
    const std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
    changed_.notify_all();
  }
  void Wake() {
    const std::lock_guard lock(mutex_);
    ++wakes_;
    changed_.notify_all();
  }
  bool WaitForWakes(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kLimit, [&] { return wakes_ >= count; });
  }
  ::testing::AssertionResult WaitForLine(std::string_view text) {
    std::unique_lock lock(mutex_);
    const auto said = [&] {
      for (const std::string& line : lines_) {
        if (line.find(text) != std::string::npos) return true;
      }
      return false;
    };
    if (changed_.wait_for(lock, kLimit, said)) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "not said: " << text << "; said:";
    for (const std::string& line : lines_) failure << "\n  " << line;
    return failure;
  }
  int wakes() {
    const std::lock_guard lock(mutex_);
    return wakes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  int wakes_ = 0;
};

// A session (on the doubles) whose station is on a private session bus; the test is the
// thread that owns the station. busctl, gdbus and dbus-monitor are the other programs.
class StationBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (bus_.address().empty()) GTEST_SKIP() << bus_.error();
    session_.StartUp();
  }

  void StartStation(bool notify_desktop = false) {
    station_ = std::make_unique<StationBus>(
        session_, commands_,
        StationBusOptions{notify_desktop, [this] { events_.Wake(); },
                          [this](std::string_view line) { events_.Say(line); }});
    station_->Start();
    ASSERT_TRUE(events_.WaitForLine("on the session bus as " + name_));
  }

  // `busctl --user ARGS...` on the station's object, to its end.
  ProgramResult Busctl(const std::string& verb, std::vector<std::string> args) {
    std::vector<std::string> all = {"--user", verb, name_, kStationObjectPath, kStationInterface};
    all.insert(all.end(), args.begin(), args.end());
    return RunExecutable("busctl", all);
  }
  // The same in the background, for a call the test must answer as the owner.
  std::unique_ptr<BackgroundProgram> BusctlCall(std::vector<std::string> args) {
    std::vector<std::string> all = {"--user", "call", name_, kStationObjectPath, kStationInterface};
    all.insert(all.end(), args.begin(), args.end());
    return std::make_unique<BackgroundProgram>(Executable{"busctl"}, all, logs_.path());
  }
  std::string CaptureId() { return session_.state().CaptureId().bytes(); }

  PrivateSessionBus bus_;  // first made, last gone: the threads below read its address
  TempDir logs_;
  TempDir dir_;
  ProgramDir program_dir_{dir_.path(), Cp932Text(dir_.path().string())};
  const std::string name_ = StationBusName(dir_.path()).value();
  SimulatedHidTransport hid_;
  ScriptedSerialOpener serial_;
  RecordingInput input_;
  ImageTransferPipeline pipeline_;  // no still arrives in these tests
  InotifyFolderEvents folder_events_;
  RecordedMessages messages_;
  ProgramSession session_{program_dir_,
                          {hid_, serial_, input_, pipeline_, messages_, folder_events_}};
  SessionCommands commands_{session_};
  BusEvents events_;
  std::unique_ptr<StationBus> station_;  // gone before the session
};

TEST_F(StationBusTest, CallsRunOnTheOwnersThreadAndAreAnsweredWithTheStatus) {
  StartStation();
  const std::vector<std::string> start = {
      "call",          "--session",        "--dest",   name_,
      "--object-path", kStationObjectPath, "--method", std::string(kStationInterface) + ".Start",
      "123456"};
  BackgroundProgram gdbus(Executable{"gdbus"}, start, logs_.path());
  ASSERT_TRUE(events_.WaitForWakes(1));
  EXPECT_EQ(CaptureId(), "0");  // nothing changes before the owner runs the call
  station_->RunCommands();
  EXPECT_EQ(gdbus.WaitForExit(kLimit), 0) << gdbus.err();
  EXPECT_EQ(gdbus.out(), "('スイッチ未接続 監視中',)\n");
  EXPECT_EQ(CaptureId(), "123456");
  EXPECT_TRUE(session_.state().monitoring_active);

  // SetId leaves monitoring as it is; Stop stops it.
  auto set_id = BusctlCall({"SetId", "s", "42"});
  ASSERT_TRUE(events_.WaitForWakes(2));
  station_->RunCommands();
  EXPECT_EQ(set_id->WaitForExit(kLimit), 0) << set_id->err();
  EXPECT_EQ(CaptureId(), "42");
  EXPECT_TRUE(session_.state().monitoring_active);
  auto stop = BusctlCall({"Stop"});
  ASSERT_TRUE(events_.WaitForWakes(3));
  station_->RunCommands();
  EXPECT_EQ(stop->WaitForExit(kLimit), 0) << stop->err();
  EXPECT_FALSE(session_.state().monitoring_active);

  const ProgramResult read = Busctl("get-property", {"Id", "Monitoring", "ProgramFolder"});
  EXPECT_EQ(read.out, "s \"42\"\nb false\ns \"" + dir_.path().string() + "\"\n") << read.err;
}

// An ID over the bus passes the checks of one typed on the keypad; a refused one changes
// nothing and never reaches the owner.
TEST_F(StationBusTest, BadIdsAreRefusedWithTheReasonOfATypedOne) {
  StartStation();
  const ProgramResult too_long = Busctl("call", {"Start", "s", "12345678901"});
  EXPECT_NE(too_long.exit_code, 0);
  EXPECT_NE(too_long.err.find("the ID is longer than 10 bytes in code page 932; nothing was "
                              "changed"),
            std::string::npos)
      << too_long.err;
  // Six Japanese characters are twelve bytes.
  EXPECT_NE(Busctl("call", {"SetId", "s", "あいうえおか"}).exit_code, 0);
  const ProgramResult emoji = RunExecutable(
      "gdbus", {"call", "--session", "--dest", name_, "--object-path", kStationObjectPath,
                "--method", std::string(kStationInterface) + ".SetId", "ID\xF0\x9F\x98\x80"});
  EXPECT_NE(emoji.exit_code, 0);
  EXPECT_NE(emoji.err.find("org.velmarin.Velmarin.Error.InvalidId: the ID has characters outside "
                           "code page 932"),
            std::string::npos)
      << emoji.err;
  EXPECT_EQ(events_.wakes(), 0);
  EXPECT_EQ(CaptureId(), "0");
}

TEST_F(StationBusTest, CallsDuringTheShutdownAreRefusedAndChangeNothing) {
  StartStation();
  auto before = BusctlCall({"Start", "s", "5"});
  ASSERT_TRUE(events_.WaitForWakes(1));
  session_.BeginShutDown();
  station_->RunCommands();  // a call that came before the shutdown, run after it began
  EXPECT_EQ(before->WaitForExit(kLimit), 1);
  EXPECT_NE(before->err().find("the station is shutting down; nothing was changed"),
            std::string::npos)
      << before->err();
  const ProgramResult during = Busctl("call", {"SetId", "s", "6"});
  EXPECT_NE(during.err.find("the station is shutting down"), std::string::npos) << during.err;
  EXPECT_EQ(events_.wakes(), 1);
  EXPECT_EQ(CaptureId(), "0");
  EXPECT_FALSE(session_.state().monitoring_active);
}

TEST_F(StationBusTest, ACallLeftOpenWhenTheStationEndsIsAnswered) {
  StartStation();
  auto open = BusctlCall({"Stop"});
  ASSERT_TRUE(events_.WaitForWakes(1));
  station_->Stop();  // the owner never ran it
  EXPECT_EQ(open->WaitForExit(kLimit), 1);
  EXPECT_NE(open->err().find("the station has ended; nothing was changed"), std::string::npos)
      << open->err();
}

// The caller is gone before its answer: the call still takes effect, and the station goes on
// answering others.
TEST_F(StationBusTest, AClientThatVanishesMidCallLeavesTheStationWorking) {
  StartStation();
  sd_bus* client = nullptr;
  ASSERT_GE(sd_bus_open_user(&client), 0);
  sd_bus_message* call = nullptr;
  ASSERT_GE(sd_bus_message_new_method_call(client, &call, name_.c_str(), kStationObjectPath,
                                           kStationInterface, "Start"),
            0);
  ASSERT_GE(sd_bus_message_append(call, "s", "31"), 0);
  ASSERT_GE(sd_bus_call_async(client, nullptr, call, nullptr, nullptr, 0), 0);
  sd_bus_message_unref(call);
  sd_bus_flush_close_unref(client);
  ASSERT_TRUE(events_.WaitForWakes(1));
  station_->RunCommands();

  auto stop = BusctlCall({"Stop"});
  ASSERT_TRUE(events_.WaitForWakes(2));
  station_->RunCommands();
  EXPECT_EQ(stop->WaitForExit(kLimit), 0) << stop->err();
  EXPECT_EQ(CaptureId(), "31");
  EXPECT_EQ(Busctl("get-property", {"Id"}).out, "s \"31\"\n");
}

TEST_F(StationBusTest, SignalsAndChangedPropertiesReachAMonitor) {
  StartStation();
  BackgroundProgram monitor(
      Executable{"dbus-monitor"},
      {"--session", "type='signal',path='" + std::string(kStationObjectPath) + "'"}, logs_.path());
  // Once it monitors, it says that it lost its own name.
  ASSERT_TRUE(
      WaitFor([&] { return monitor.out().find("member=NameLost") != std::string::npos; }, kLimit));
  station_->StillTransferred("/watch/cap1.jpg", "/hozon/123456_001.jpg", Cp932Text("123456"));
  station_->StillFailed("/watch/bad\x82\xA0.jpg", Cp932Text("fopen_error! "));
  station_->WaitingChanged(3);
  session_.SetId(Cp932Text("9"));
  session_.Tick();  // the owner's tick publishes the status
  ASSERT_TRUE(WaitFor(
      [&] { return monitor.out().find("member=PropertiesChanged") != std::string::npos; }, kLimit))
      << monitor.out();
  const std::string out = monitor.out();
  EXPECT_NE(out.find("member=StillTransferred\n   string \"/watch/cap1.jpg\"\n"
                     "   string \"/hozon/123456_001.jpg\"\n   string \"123456\"\n"),
            std::string::npos)
      << out;
  // A file name that is not UTF-8 goes with U+FFFD for each bad byte.
  EXPECT_NE(out.find("member=StillFailed\n   string \"/watch/bad\uFFFD\uFFFD.jpg\"\n"
                     "   string \"fopen_error! \"\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("member=WaitingChanged\n   uint32 3\n"), std::string::npos) << out;
  const std::string changed = out.substr(out.find("member=PropertiesChanged"));
  EXPECT_NE(changed.find("string \"Id\"\n         variant             string \"9\""),
            std::string::npos)
      << changed;
  EXPECT_EQ(changed.find("\"ImageCount\""), std::string::npos) << changed;  // unchanged
}

TEST_F(StationBusTest, NoticesGoToTheDesktopAndEachOnWaitingReplacesTheLast) {
  StandInNotificationServer desktop;
  ASSERT_TRUE(desktop.ready());
  StartStation(/*notify_desktop=*/true);
  station_->StillFailed("/watch/cap7.jpg", Cp932Text("JPEG read error! (Not a JPEG file)"));
  station_->WaitingChanged(2);
  auto notices = desktop.WaitForNotices(2, kLimit);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].app_name, "Velmarin");
  EXPECT_EQ(notices[0].desktop_entry, "org.velmarin.Velmarin");
  EXPECT_EQ(notices[0].summary, "転送できませんでした: cap7.jpg");
  EXPECT_EQ(notices[0].body, "JPEG read error! (Not a JPEG file)");
  EXPECT_EQ(notices[0].urgency, 2);
  EXPECT_EQ(notices[1].summary, "転送を待っている画像: 2枚");
  EXPECT_EQ(notices[1].replaces_id, 0u);
  EXPECT_EQ(notices[1].urgency, 1);

  // The server's answer (id 2) has reached the station once a call to the server and then
  // one to the station have come back: the bus keeps each connection's order.
  EXPECT_EQ(RunExecutable("busctl",
                          {"--user", "call", "org.freedesktop.Notifications",
                           "/org/freedesktop/Notifications", "org.freedesktop.DBus.Peer", "Ping"})
                .exit_code,
            0);
  EXPECT_EQ(Busctl("get-property", {"Waiting"}).exit_code, 0);
  station_->WaitingChanged(0);
  notices = desktop.WaitForNotices(3, kLimit);
  ASSERT_EQ(notices.size(), 3u);
  EXPECT_EQ(notices[2].summary, "待っていた画像をすべて転送しました");
  EXPECT_EQ(notices[2].replaces_id, 2u);
}

TEST_F(StationBusTest, ASecondStationOnTheSameNameSaysItIsTaken) {
  StartStation();
  BusEvents second_events;
  StationBus second(session_, commands_,
                    {false, {}, [&](std::string_view line) { second_events.Say(line); }});
  second.Start();
  EXPECT_TRUE(second_events.WaitForLine("the session bus name " + name_ +
                                        " is taken by another program; other programs cannot "
                                        "give this station an ID"));
  second.Stop();
  // The first station's calls still reach it.
  EXPECT_EQ(Busctl("get-property", {"Id"}).out, "s \"0\"\n");
}

// The elements of the station's interface in `xml` (introspection data), each with its
// attributes in name order: what a client can rely on, whatever the layout.
std::vector<std::string> InterfaceItems(const std::string& xml) {
  std::vector<std::string> items;
  QXmlStreamReader reader(QByteArray::fromStdString(xml));
  int depth = 0;  // within the interface
  while (!reader.atEnd()) {
    reader.readNext();
    if (reader.isStartElement()) {
      const bool ours = reader.name() == QStringLiteral("interface") &&
                        reader.attributes().value("name") == QLatin1String(kStationInterface);
      if (depth == 0 && !ours) continue;
      ++depth;
      std::vector<std::string> attributes;
      for (const QXmlStreamAttribute& attribute : reader.attributes()) {
        attributes.push_back(attribute.name().toString().toStdString() + "=" +
                             attribute.value().toString().toStdString());
      }
      std::sort(attributes.begin(), attributes.end());
      std::string item = reader.name().toString().toStdString();
      for (const std::string& attribute : attributes) item += " " + attribute;
      items.push_back(item);
    } else if (reader.isEndElement() && depth > 0) {
      --depth;
    }
  }
  EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
  return items;
}

TEST_F(StationBusTest, IntrospectionIsTheInterfaceInstalledAndDocumented) {
  StartStation();
  const ProgramResult live = RunExecutable(
      "busctl", {"--user", "introspect", "--xml-interface", name_, kStationObjectPath});
  ASSERT_EQ(live.exit_code, 0) << live.err;
  const std::filesystem::path source(VELMARIN_SOURCE_PATH);
  const std::string installed = ReadFileBytes(source / "dist/org.velmarin.Velmarin.Station.xml");
  const std::vector<std::string> items = InterfaceItems(installed);
  EXPECT_EQ(items.size(),
            25u);  // the interface, 3 methods, 7 properties, 3 signals, 1 note, 10 arguments
  EXPECT_EQ(InterfaceItems(live.out), items);
  // docs/BUS.md shows the installed interface as it stands.
  const std::size_t from = installed.find(" <interface");
  const std::size_t to = installed.find("</interface>");
  ASSERT_NE(to, std::string::npos);
  EXPECT_NE(ReadFileBytes(source / "docs/BUS.md").find(installed.substr(from, to - from)),
            std::string::npos);
}

}  // namespace
}  // namespace velmarin::test
