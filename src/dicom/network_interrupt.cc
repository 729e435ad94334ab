#include "dicom/network_interrupt.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/dcmlayer.h>
#include <dcmtk/dcmnet/dcmtrans.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace velmarin {
namespace {

// A plain TCP connection that an interrupt can shut down; its socket is known to the
// interrupt from its making until it is closed.
class InterruptibleConnection final : public DcmTCPConnection {
 public:
  InterruptibleConnection(DcmNativeSocketType socket, NetworkInterrupt& interrupt)
      : DcmTCPConnection(socket), interrupt_(interrupt) {
    interrupt_.Register(socket);
  }
  // The base class closes the socket, after it was forgotten here.
  ~InterruptibleConnection() override { Forget(); }

  void close() override {
    Forget();
    DcmTCPConnection::close();
  }
  void closeTransportConnection() override {
    Forget();
    DcmTCPConnection::closeTransportConnection();
  }
  ssize_t write(void* buffer, size_t size) override {
    return ::send(getSocket(), buffer, size, MSG_NOSIGNAL);
  }

 private:
  void Forget() {
    if (registered_) interrupt_.Unregister(getSocket());
    registered_ = false;
  }

  NetworkInterrupt& interrupt_;
  bool registered_ = true;
};

class InterruptibleLayer final : public DcmTransportLayer {
 public:
  explicit InterruptibleLayer(NetworkInterrupt& interrupt) : interrupt_(interrupt) {}
  // Every connection is plain TCP, whatever DCMTK asks for.
  DcmTransportConnection* createConnection(DcmNativeSocketType socket, OFBool) override {
    return new InterruptibleConnection(socket, interrupt_);
  }

 private:
  NetworkInterrupt& interrupt_;
};

}  // namespace

NetworkInterrupt::NetworkInterrupt() : event_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void NetworkInterrupt::Trigger() {
  std::lock_guard lock(mutex_);
  triggered_ = true;
  const std::uint64_t one = 1;
  if (event_.valid() && ::write(event_.get(), &one, sizeof one) < 0) {
    // The counter is already set: the wait sees it all the same.
  }
  for (const int socket : sockets_) shutdown(socket, SHUT_RDWR);
}

bool NetworkInterrupt::triggered() const {
  std::lock_guard lock(mutex_);
  return triggered_;
}

DcmTransportLayer* NetworkInterrupt::NewTransportLayer() { return new InterruptibleLayer(*this); }

void NetworkInterrupt::Register(int socket) {
  std::lock_guard lock(mutex_);
  sockets_.insert(socket);
  if (triggered_) shutdown(socket, SHUT_RDWR);
}

void NetworkInterrupt::Unregister(int socket) {
  std::lock_guard lock(mutex_);
  sockets_.erase(socket);
}

}  // namespace velmarin
