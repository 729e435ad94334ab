#include "dicom/instance_sender.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>

namespace velmarin {

DicomOutcome DicomInstanceSender::Send(const DicomDestination& destination,
                                       const InstanceFacts& facts, std::string_view jpeg) {
  std::string error;
  const std::unique_ptr<DcmDataset> dataset = BuildSecondaryCapture(facts, jpeg, &error);
  if (!dataset) return {DicomResult::kUnsendable, error};
  return StoreInstance(destination, *dataset, facts.sop_uid, interrupt_);
}

}  // namespace velmarin
