#include "dicom/dicom_exchange.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/assoc.h>
#include <dcmtk/dcmnet/dcmtrans.h>
#include <dcmtk/dcmnet/dimse.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "dicom/peer_reach.h"
#include "dicom/secondary_capture.h"

namespace velmarin {
namespace {

struct Context {
  T_ASC_PresentationContextID id;
  const char* abstract_syntax;
  std::vector<const char*> transfer_syntaxes;
};

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

std::string RejectReasonText(const T_ASC_RejectParameters& rejection) {
  switch (rejection.reason) {
    case ASC_REASON_SP_ACSE_PROTOCOLVERSIONNOTSUPPORTED:
      return "protocol version not supported";
    case ASC_REASON_SP_PRES_TEMPORARYCONGESTION:
      return "temporary congestion";
    case ASC_REASON_SP_PRES_LOCALLIMITEXCEEDED:
      return "local limit exceeded";
    default:
      return "no reason given";
  }
}

DicomOutcome RejectionOutcome(const T_ASC_RejectParameters& rejection,
                              const DicomDestination& destination) {
  switch (rejection.reason) {
    case ASC_REASON_SU_CALLEDAETITLENOTRECOGNIZED:
      return {DicomResult::kRefused, "the PACS does not know the called AE title \"" +
                                         destination.called_ae + "\" (dicom_called_ae)"};
    case ASC_REASON_SU_CALLINGAETITLENOTRECOGNIZED:
      return {DicomResult::kRefused, "the PACS does not accept the calling AE title \"" +
                                         destination.calling_ae + "\" (dicom_calling_ae)"};
    case ASC_REASON_SU_APPCONTEXTNAMENOTSUPPORTED:
      return {DicomResult::kRefused, "the PACS does not speak DICOM's application context"};
    default:
      break;
  }
  if (rejection.result == ASC_RESULT_REJECTEDTRANSIENT) {
    return {DicomResult::kRetry,
            "the PACS refused the association for now (" + RejectReasonText(rejection) + ")"};
  }
  return {DicomResult::kRefused,
          "the PACS refused the association for good (" + RejectReasonText(rejection) + ")"};
}

// One association with the destination, aborted on destruction unless released.
class Association {
 public:
  Association(const DicomDestination& destination, NetworkInterrupt& interrupt)
      : destination_(destination), interrupt_(interrupt) {}
  ~Association() {
    if (assoc_) {
      if (open_) ASC_abortAssociation(assoc_);
      ASC_destroyAssociation(&assoc_);
    } else if (params_) {
      ASC_destroyAssociationParameters(&params_);
    }
    if (net_) ASC_dropNetwork(&net_);
  }
  Association(const Association&) = delete;
  Association& operator=(const Association&) = delete;

  // `offered` names what the contexts carry, for the refusal when the PACS accepts none.
  DicomOutcome Open(const std::vector<Context>& contexts, const std::string& offered) {
    QuietenDcmtk();
    const int timeout = destination_.timeout_seconds;
    const PeerReach reach =
        ReachPeer(destination_.host, destination_.port, std::chrono::seconds(timeout), interrupt_);
    if (reach.result == PeerReach::Result::kStopped) return {DicomResult::kStopped, reach.text};
    if (reach.result != PeerReach::Result::kReached) return {DicomResult::kRetry, reach.text};
    dcmConnectionTimeout.set(timeout);
    dcmSocketSendTimeout.set(timeout);
    dcmSocketReceiveTimeout.set(timeout);
    OFCondition cond = ASC_initializeNetwork(NET_REQUESTOR, 0, timeout, &net_);
    if (cond.good()) cond = ASC_setTransportLayer(net_, interrupt_.NewTransportLayer(), 1);
    if (cond.good()) cond = ASC_createAssociationParameters(&params_, ASC_DEFAULTMAXPDU);
    if (cond.good()) {
      cond = ASC_setAPTitles(params_, destination_.calling_ae.c_str(),
                             destination_.called_ae.c_str(), nullptr);
    }
    const std::string address = destination_.host + ":" + std::to_string(destination_.port);
    if (cond.good()) cond = ASC_setPresentationAddresses(params_, "localhost", address.c_str());
    for (const Context& context : contexts) {
      if (cond.bad()) break;
      std::vector<const char*> syntaxes = context.transfer_syntaxes;
      cond = ASC_addPresentationContext(params_, context.id, context.abstract_syntax,
                                        syntaxes.data(), static_cast<int>(syntaxes.size()));
    }
    if (cond.bad()) return {DicomResult::kRetry, std::string("DICOM setup failed: ") + cond.text()};
    cond = ASC_requestAssociation(net_, params_, &assoc_);
    if (cond.bad()) {
      if (interrupt_.triggered()) return {DicomResult::kStopped, "stopped"};
      if (cond == DUL_ASSOCIATIONREJECTED) {
        T_ASC_RejectParameters rejection{};
        ASC_getRejectParameters(params_, &rejection);
        return RejectionOutcome(rejection, destination_);
      }
      return {DicomResult::kRetry,
              "the PACS at " + address + " did not take the association (" + cond.text() + ")"};
    }
    open_ = true;
    if (ASC_countAcceptedPresentationContexts(params_) == 0) {
      return {DicomResult::kRefused, "the PACS accepts no " + offered};
    }
    return {};
  }

  // Ends the association politely; a PACS that does not answer the release is left.
  void Release() {
    if (open_ && ASC_releaseAssociation(assoc_).bad()) ASC_abortAssociation(assoc_);
    open_ = false;
  }

  // How a failed exchange on the open association ended: it is aborted.
  DicomOutcome Broken(const std::string& what, const OFCondition& cond) {
    if (open_) ASC_abortAssociation(assoc_);
    open_ = false;
    if (interrupt_.triggered()) return {DicomResult::kStopped, "stopped"};
    return {DicomResult::kRetry, what + " (" + cond.text() + ")"};
  }

  T_ASC_Association* get() { return assoc_; }
  T_ASC_Parameters* params() { return params_; }
  int timeout() const { return destination_.timeout_seconds; }

 private:
  const DicomDestination& destination_;
  NetworkInterrupt& interrupt_;
  T_ASC_Network* net_ = nullptr;
  T_ASC_Parameters* params_ = nullptr;  // owned by assoc_ once it exists
  T_ASC_Association* assoc_ = nullptr;
  bool open_ = false;
};

void CopyUid(char (&field)[sizeof(DIC_UI)], const std::string& uid) {
  std::snprintf(field, sizeof field, "%s", uid.c_str());
}

}  // namespace

DicomOutcome StoreStatusOutcome(std::uint16_t status) {
  const std::string code = "status " + Hex4(status);
  if (status == 0x0000) return {};
  if (status == 0xB000) return {DicomResult::kDone, "stored with warning B000 (elements coerced)"};
  if (status == 0xB006)
    return {DicomResult::kDone, "stored with warning B006 (elements discarded)"};
  if (status == 0xB007) {
    return {DicomResult::kDone, "stored with warning B007 (data set does not match SOP class)"};
  }
  if ((status & 0xFF00) == 0xA700 || status == 0x0213) {
    return {DicomResult::kRetry, "the PACS is out of resources (" + code + ")"};
  }
  if (status == 0x0110 || status == 0xFE00) {
    return {DicomResult::kRetry, "the PACS could not store the instance now (" + code + ")"};
  }
  if (status == 0x0122) {
    return {DicomResult::kRefused,
            "the PACS does not store Secondary Capture images (" + code + ")"};
  }
  if (status == 0x0124) {
    return {DicomResult::kRefused, "the PACS does not let this station store (" + code + ")"};
  }
  if ((status & 0xFF00) == 0xA900) {
    return {DicomResult::kRefused,
            "the PACS finds the instance does not match its class (" + code + ")"};
  }
  if ((status & 0xF000) == 0xC000) {
    return {DicomResult::kRefused, "the PACS cannot understand the instance (" + code + ")"};
  }
  return {DicomResult::kRefused, "the PACS answered the C-STORE with " + code};
}

DicomOutcome EchoDestination(const DicomDestination& destination, NetworkInterrupt& interrupt) {
  Association association(destination, interrupt);
  DicomOutcome opened =
      association.Open({{1, UID_VerificationSOPClass, {UID_LittleEndianImplicitTransferSyntax}}},
                       "C-ECHO (Verification)");
  if (opened.result != DicomResult::kDone) return opened;
  T_ASC_Association* assoc = association.get();
  DIC_US status = 0;
  DcmDataset* detail = nullptr;
  const OFCondition cond = DIMSE_echoUser(assoc, assoc->nextMsgID++, DIMSE_NONBLOCKING,
                                          association.timeout(), &status, &detail);
  delete detail;
  if (cond.bad()) return association.Broken("the PACS did not answer the C-ECHO", cond);
  association.Release();
  if (status != 0) {
    return {DicomResult::kRefused, "the PACS answered the C-ECHO with status " + Hex4(status)};
  }
  return {};
}

DicomOutcome StoreInstance(const DicomDestination& destination, DcmDataset& dataset,
                           const std::string& sop_uid, NetworkInterrupt& interrupt) {
  constexpr T_ASC_PresentationContextID kJpegContext = 1;
  constexpr T_ASC_PresentationContextID kUncompressedContext = 3;
  Association association(destination, interrupt);
  DicomOutcome opened = association.Open(
      {{kJpegContext, kSecondaryCaptureClass, {UID_JPEGProcess1TransferSyntax}},
       {kUncompressedContext,
        kSecondaryCaptureClass,
        {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax}}},
      "Secondary Capture images");
  if (opened.result != DicomResult::kDone) return opened;
  T_ASC_Association* assoc = association.get();
  DicomOutcome outcome;
  T_ASC_PresentationContextID context = kJpegContext;
  T_ASC_PresentationContext accepted{};
  if (ASC_findAcceptedPresentationContext(association.params(), kJpegContext, &accepted).bad() ||
      accepted.resultReason != ASC_P_ACCEPTANCE) {
    context = kUncompressedContext;
    std::string error;
    if (!DecodeToUncompressed(dataset, &error)) return {DicomResult::kUnsendable, error};
    outcome.uncompressed = true;
  }
  T_DIMSE_C_StoreRQ request{};
  request.MessageID = assoc->nextMsgID++;
  CopyUid(request.AffectedSOPClassUID, kSecondaryCaptureClass);
  CopyUid(request.AffectedSOPInstanceUID, sop_uid);
  request.DataSetType = DIMSE_DATASET_PRESENT;
  request.Priority = DIMSE_PRIORITY_MEDIUM;
  T_DIMSE_C_StoreRSP response{};
  DcmDataset* detail = nullptr;
  const OFCondition cond =
      DIMSE_storeUser(assoc, context, &request, nullptr, &dataset, nullptr, nullptr,
                      DIMSE_NONBLOCKING, association.timeout(), &response, &detail);
  delete detail;
  if (cond.bad()) return association.Broken("the PACS broke off the C-STORE", cond);
  if ((response.opts & O_STORE_AFFECTEDSOPINSTANCEUID) != 0 &&
      std::strcmp(response.AffectedSOPInstanceUID, sop_uid.c_str()) != 0) {
    return association.Broken("the PACS answered about another instance",
                              OFCondition(DIMSE_BADMESSAGE));
  }
  association.Release();
  const DicomOutcome status = StoreStatusOutcome(response.DimseStatus);
  outcome.result = status.result;
  outcome.text = status.text;
  return outcome;
}

}  // namespace velmarin
