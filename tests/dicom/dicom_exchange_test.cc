#include "dicom/dicom_exchange.h"

#include <arpa/inet.h>
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>
#include <vector>

#include "base/unique_fd.h"
#include "dicom/dicom_uids.h"
#include "dicom/secondary_capture.h"
#include "support/pacs_servers.h"
#include "support/pictures.h"

namespace velmarin {
namespace {

using namespace std::chrono_literals;

// A TCP server on 127.0.0.1 that takes connections and never answers, or answers each with
// `answer` and hangs up.
class ListeningSocket {
 public:
  ListeningSocket() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    EXPECT_EQ(bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
    EXPECT_EQ(listen(socket_.get(), 8), 0);
    getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~ListeningSocket() {
    shutdown(socket_.get(), SHUT_RDWR);
    if (answering_.joinable()) answering_.join();
  }
  // Takes the association request and never answers; `requested` is set when one came.
  void Stall() {
    answering_ = std::thread([this] {
      std::vector<UniqueFd> peers;
      while (true) {
        UniqueFd peer(accept(socket_.get(), nullptr, nullptr));
        if (!peer.valid()) return;
        char request[256];
        if (read(peer.get(), request, sizeof request) > 0) requested_.set_value();
        peers.push_back(std::move(peer));
      }
    });
  }
  std::future<void> requested() { return requested_.get_future(); }

  void Answer(std::string answer) {
    answering_ = std::thread([this, answer = std::move(answer)] {
      // Until the listening socket is shut down; a connection that says nothing (a check
      // that the port answers) gets nothing.
      while (true) {
        UniqueFd peer(accept(socket_.get(), nullptr, nullptr));
        if (!peer.valid()) return;
        char request[256];
        if (read(peer.get(), request, sizeof request) > 0) WriteAll(peer.get(), answer);
      }
    });
  }
  int port() const { return port_; }

 private:
  UniqueFd socket_;
  int port_ = 0;
  std::promise<void> requested_;
  std::thread answering_;
};

DicomDestination Destination(int port) {
  DicomDestination destination;
  destination.called_ae = "ARCHIVE";
  destination.host = "127.0.0.1";
  destination.port = port;
  return destination;
}

std::unique_ptr<DcmDataset> Instance(std::string* sop_uid) {
  InstanceFacts facts;
  facts.patient_id = Cp932Text("1");
  facts.clock = {2026, 1, 2, 3, 4, 5};
  facts.study_uid = facts.series_uid = facts.sop_uid = *sop_uid = NewDicomUid();
  std::string error;
  return BuildSecondaryCapture(facts, test::JpegBytes(64, 48, 1), &error);
}

TEST(StoreStatus, OnlySuccessAndThreeWarningsCountAsStored) {
  EXPECT_EQ(StoreStatusOutcome(0x0000).result, DicomResult::kDone);
  for (const std::uint16_t warning : {0xB000, 0xB006, 0xB007}) {
    const DicomOutcome outcome = StoreStatusOutcome(warning);
    EXPECT_EQ(outcome.result, DicomResult::kDone);
    EXPECT_NE(outcome.text.find("warning"), std::string::npos) << outcome.text;
  }
  for (const std::uint16_t later : {0xA700, 0xA7FF, 0x0110, 0x0213, 0xFE00}) {
    EXPECT_EQ(StoreStatusOutcome(later).result, DicomResult::kRetry) << std::hex << later;
  }
  for (const std::uint16_t never : {0x0122, 0x0124, 0xA900, 0xC123, 0x0001, 0x0107}) {
    EXPECT_EQ(StoreStatusOutcome(never).result, DicomResult::kRefused) << std::hex << never;
  }
}

TEST(DicomExchange, APortWithoutServiceIsRefusedAndTriedAgainLater) {
  NetworkInterrupt interrupt;
  const DicomOutcome outcome = EchoDestination(Destination(test::FreeLoopbackPort()), interrupt);
  EXPECT_EQ(outcome.result, DicomResult::kRetry);
  EXPECT_NE(outcome.text.find("refused the connection"), std::string::npos) << outcome.text;
}

TEST(DicomExchange, AStalledPacsNeverHoldsAStop) {
  ListeningSocket stalled;
  stalled.Stall();
  auto requested = stalled.requested();
  NetworkInterrupt interrupt;
  std::string sop_uid;
  const auto dataset = Instance(&sop_uid);
  auto store = std::async(std::launch::async, [&] {
    return StoreInstance(Destination(stalled.port()), *dataset, sop_uid, interrupt);
  });
  // The association waits for an answer for 30 s; the stop ends it at once.
  ASSERT_EQ(requested.wait_for(10s), std::future_status::ready);
  interrupt.Trigger();
  ASSERT_EQ(store.wait_for(10s), std::future_status::ready) << "the stop waited for the PACS";
  EXPECT_EQ(store.get().result, DicomResult::kStopped);
}

TEST(DicomExchange, ANonsenseAnswerEndsTheAssociationNotTheProgram) {
  const std::string answers[] = {
      std::string("HTTP/1.1 400 Bad Request\r\n\r\n"),
      // An A-ASSOCIATE-AC that claims far more than it holds.
      std::string("\x02\x00\xff\xff\xff\xff\x00\x01", 8),
      // An A-ASSOCIATE-AC whose items are garbage.
      std::string(
          "\x02\x00\x00\x00\x00\x10\x00\x01\x00\x00\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 20),
  };
  for (const std::string& answer : answers) {
    ListeningSocket server;
    server.Answer(answer);
    NetworkInterrupt interrupt;
    std::string sop_uid;
    const auto dataset = Instance(&sop_uid);
    const DicomOutcome outcome =
        StoreInstance(Destination(server.port()), *dataset, sop_uid, interrupt);
    EXPECT_EQ(outcome.result, DicomResult::kRetry) << outcome.text;
  }
}

}  // namespace
}  // namespace velmarin
