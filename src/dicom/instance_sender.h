#pragma once

#include <string_view>

#include "dicom/dicom_exchange.h"
#include "dicom/network_interrupt.h"
#include "dicom/secondary_capture.h"
#include "settings/user_config.h"

namespace velmarin {

// Sends one still's instance to the PACS, so the outbox can be exercised without one.
class InstanceSender {
 public:
  virtual ~InstanceSender() = default;
  // The instance of `facts` with the JPEG file `jpeg`, on an association of its own.
  virtual DicomOutcome Send(const DicomDestination& destination, const InstanceFacts& facts,
                            std::string_view jpeg) = 0;
  // From another thread: a Send in progress ends at once (kStopped), and so does every later
  // one.
  virtual void Interrupt() = 0;
};

// The real one: the instance built by BuildSecondaryCapture, stored with StoreInstance.
class DicomInstanceSender final : public InstanceSender {
 public:
  DicomOutcome Send(const DicomDestination& destination, const InstanceFacts& facts,
                    std::string_view jpeg) override;
  void Interrupt() override { interrupt_.Trigger(); }

 private:
  NetworkInterrupt interrupt_;
};

}  // namespace velmarin
