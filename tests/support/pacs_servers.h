#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace velmarin::test {

// A free TCP port on 127.0.0.1 (bound once and let go).
int FreeLoopbackPort();

// A plain HTTP GET from 127.0.0.1:`port`: the body of a 200 answer, else nullopt.
std::optional<std::string> HttpGet(int port, const std::string& path);

// What arrived in a PACS, one instance.
struct StoredInstance {
  std::string id;  // the PACS's own
  std::string sop_uid;
  int instance_number = 0;
};

// Orthanc (Debian's package) on 127.0.0.1, answering only there, with its own storage folder
// and free ports, the called AE title checked. Started at construction and ready when it
// answers over HTTP; stopped with SIGTERM.
class OrthancServer {
 public:
  static constexpr const char* kAeTitle = "TESTPACS";
  // Why no Orthanc can run here (it is not installed), or empty.
  static std::string Missing();

  OrthancServer();
  ~OrthancServer();
  OrthancServer(const OrthancServer&) = delete;
  OrthancServer& operator=(const OrthancServer&) = delete;

  // Stops it and waits for its end; Start brings it back on the same ports and storage.
  void Stop();
  void Start();

  int dicom_port() const { return dicom_port_; }
  int http_port() const { return http_port_; }
  std::optional<std::string> Get(const std::string& path) const {
    return HttpGet(http_port_, path);
  }
  // The instances stored under `patient_id`, in the order of their instance numbers.
  std::vector<StoredInstance> InstancesOf(const std::string& patient_id) const;
  // The instances stored under `patient_id`, waited for (bounded by `limit`) until there are
  // `count`; fewer at the limit.
  std::vector<StoredInstance> WaitForInstances(const std::string& patient_id, std::size_t count,
                                               std::chrono::milliseconds limit) const;
  // The ids of the instances stored so far, in the order they arrived.
  std::vector<std::string> ArrivalOrder() const;
  // The simplified tags of an instance as JSON text.
  std::string TagsOf(const StoredInstance& instance) const;
  // The encapsulated frame as stored.
  std::string RawFrameOf(const StoredInstance& instance) const;

 private:
  TempDir dir_;
  int dicom_port_;
  int http_port_;
  pid_t pid_ = -1;
};

// DCMTK's storescp on 127.0.0.1: writes each instance it receives into `folder()`. By default
// it takes only uncompressed transfer syntaxes, as a receiver without JPEG does.
class StoreScp {
 public:
  StoreScp();
  ~StoreScp();
  StoreScp(const StoreScp&) = delete;
  StoreScp& operator=(const StoreScp&) = delete;

  int port() const { return port_; }
  std::filesystem::path folder() const { return dir_ / "received"; }
  // The files received, waited for (bounded) until there are `count`.
  std::vector<std::filesystem::path> WaitForFiles(std::size_t count,
                                                  std::chrono::milliseconds limit) const;

 private:
  TempDir dir_;
  int port_;
  pid_t pid_ = -1;
};

}  // namespace velmarin::test
