#pragma once

#include <mutex>
#include <set>

#include "base/unique_fd.h"

class DcmTransportLayer;

namespace velmarin {

// Ends the network waits of one sender at once, from another thread: a connection being made
// (its wait polls `fd()`) and every DICOM connection open (shut down, so a read or write in
// progress returns). Once triggered it stays so; a new connection is shut down as it opens.
class NetworkInterrupt {
 public:
  NetworkInterrupt();
  NetworkInterrupt(const NetworkInterrupt&) = delete;
  NetworkInterrupt& operator=(const NetworkInterrupt&) = delete;

  void Trigger();
  bool triggered() const;
  // Readable once triggered.
  int fd() const { return event_.get(); }

  // The connections of DCMTK's associations, made through this layer, are the ones Trigger
  // shuts down. Their writes never raise SIGPIPE. Owned by the network it is given to.
  DcmTransportLayer* NewTransportLayer();

  void Register(int socket);
  void Unregister(int socket);

 private:
  UniqueFd event_;
  mutable std::mutex mutex_;
  std::set<int> sockets_;
  bool triggered_ = false;
};

}  // namespace velmarin
