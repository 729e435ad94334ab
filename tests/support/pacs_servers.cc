#include "support/pacs_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "base/unique_fd.h"
#include "support/program_process.h"

// After the program's headers: Qt's "slots" macro would rewrite Settings::slots.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kOrthanc = "/usr/sbin/Orthanc";
constexpr const char* kStoreScp = "/usr/bin/storescp";
constexpr auto kStartLimit = 30s;

UniqueFd ConnectLoopback(int port) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return UniqueFd();
  }
  return socket;
}

void StopChild(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  pid = -1;
}

QJsonArray JsonArrayOf(const std::optional<std::string>& body) {
  if (!body) return {};
  return QJsonDocument::fromJson(QByteArray::fromStdString(*body)).array();
}

}  // namespace

int FreeLoopbackPort() {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(socket.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return -1;
  }
  return ntohs(address.sin_port);
}

std::optional<std::string> HttpGet(int port, const std::string& path) {
  const UniqueFd socket = ConnectLoopback(port);
  if (!socket.valid()) return std::nullopt;
  const std::string request =
      "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  if (!WriteAll(socket.get(), request)) return std::nullopt;
  // The server keeps the connection open for a moment: the body ends at its length.
  std::string answer;
  std::size_t body_start = std::string::npos;
  std::size_t length = std::string::npos;
  char buffer[65536];
  while (body_start == std::string::npos || length == std::string::npos ||
         answer.size() < body_start + length) {
    const ssize_t got = read(socket.get(), buffer, sizeof buffer);
    if (got <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(got));
    if (body_start == std::string::npos &&
        (body_start = answer.find("\r\n\r\n")) != std::string::npos) {
      body_start += 4;
      std::string head = answer.substr(0, body_start);
      std::transform(head.begin(), head.end(), head.begin(), ::tolower);
      const std::size_t field = head.find("\r\ncontent-length:");
      if (field != std::string::npos) length = std::stoul(head.substr(field + 17));
    }
  }
  if (body_start == std::string::npos || answer.compare(0, 12, "HTTP/1.1 200") != 0) {
    return std::nullopt;
  }
  return answer.substr(body_start, length);
}

std::string OrthancServer::Missing() {
  return access(kOrthanc, X_OK) == 0 ? "" : std::string(kOrthanc) + " is not installed";
}

OrthancServer::OrthancServer() : dicom_port_(FreeLoopbackPort()), http_port_(FreeLoopbackPort()) {
  const std::string storage = (dir_ / "storage").string();
  WriteFileBytes(
      dir_ / "orthanc.json",
      "{\"Name\": \"TestPACS\", \"StorageDirectory\": \"" + storage + "\", \"IndexDirectory\": \"" +
          storage + "\", \"HttpPort\": " + std::to_string(http_port_) +
          ", \"DicomPort\": " + std::to_string(dicom_port_) + ", \"DicomAet\": \"" + kAeTitle +
          "\", \"RemoteAccessAllowed\": false, \"AuthenticationEnabled\": false, "
          "\"DicomCheckCalledAet\": true, \"Plugins\": []}");
  Start();
}

OrthancServer::~OrthancServer() { Stop(); }

void OrthancServer::Start() {
  pid_ = SpawnProcess(kOrthanc, {(dir_ / "orthanc.json").string()}, {}, dir_ / "orthanc.out",
                      dir_ / "orthanc.log");
  const bool ready = WaitFor(
      [&] {
        return HttpGet(http_port_, "/system").has_value() && ConnectLoopback(dicom_port_).valid();
      },
      kStartLimit);
  EXPECT_TRUE(ready) << "Orthanc did not start: " << ReadFileBytes(dir_ / "orthanc.log");
}

void OrthancServer::Stop() { StopChild(pid_); }

std::vector<StoredInstance> OrthancServer::InstancesOf(const std::string& patient_id) const {
  std::vector<StoredInstance> found;
  for (const QJsonValue patient : JsonArrayOf(Get("/patients?expand"))) {
    const QJsonObject object = patient.toObject();
    if (object["MainDicomTags"].toObject()["PatientID"].toString().toStdString() != patient_id) {
      continue;
    }
    const std::string id = object["ID"].toString().toStdString();
    for (const QJsonValue instance : JsonArrayOf(Get("/patients/" + id + "/instances"))) {
      const QJsonObject tags = instance.toObject()["MainDicomTags"].toObject();
      found.push_back({instance.toObject()["ID"].toString().toStdString(),
                       tags["SOPInstanceUID"].toString().toStdString(),
                       tags["InstanceNumber"].toString().toInt()});
    }
  }
  std::sort(found.begin(), found.end(), [](const StoredInstance& a, const StoredInstance& b) {
    return a.instance_number < b.instance_number;
  });
  return found;
}

std::vector<StoredInstance> OrthancServer::WaitForInstances(const std::string& patient_id,
                                                            std::size_t count,
                                                            std::chrono::milliseconds limit) const {
  std::vector<StoredInstance> found;
  WaitFor(
      [&] {
        found = InstancesOf(patient_id);
        return found.size() >= count;
      },
      limit);
  return found;
}

std::vector<std::string> OrthancServer::ArrivalOrder() const {
  std::vector<std::string> ids;
  const auto body = Get("/changes?since=0&limit=10000");
  if (!body) return ids;
  const QJsonObject changes = QJsonDocument::fromJson(QByteArray::fromStdString(*body)).object();
  for (const QJsonValue change : changes["Changes"].toArray()) {
    if (change.toObject()["ChangeType"].toString() == "NewInstance") {
      ids.push_back(change.toObject()["ID"].toString().toStdString());
    }
  }
  return ids;
}

std::string OrthancServer::TagsOf(const StoredInstance& instance) const {
  return Get("/instances/" + instance.id + "/simplified-tags").value_or("");
}

std::string OrthancServer::RawFrameOf(const StoredInstance& instance) const {
  return Get("/instances/" + instance.id + "/frames/0/raw").value_or("");
}

StoreScp::StoreScp() : port_(FreeLoopbackPort()) {
  fs::create_directories(folder());
  pid_ = SpawnProcess(kStoreScp, {"-od", folder().string(), std::to_string(port_)}, {},
                      dir_ / "storescp.out", dir_ / "storescp.log");
  EXPECT_TRUE(WaitFor([&] { return ConnectLoopback(port_).valid(); }, kStartLimit))
      << "storescp did not start: " << ReadFileBytes(dir_ / "storescp.log");
}

StoreScp::~StoreScp() { StopChild(pid_); }

std::vector<fs::path> StoreScp::WaitForFiles(std::size_t count,
                                             std::chrono::milliseconds limit) const {
  std::vector<fs::path> files;
  WaitFor(
      [&] {
        files.clear();
        for (const auto& entry : fs::directory_iterator(folder())) files.push_back(entry.path());
        return files.size() >= count;
      },
      limit);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace velmarin::test
