#include "dicom/secondary_capture.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmjpeg/djdecode.h>
#include <dcmtk/oflog/oflog.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "dicom/jpeg_frame.h"
#include "platform/encoding.h"

namespace velmarin {
namespace {

constexpr const char* kUtf8CharacterSet = "ISO_IR 192";

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

std::string DateOf(const LocalTime& clock) {
  return Digits(clock.year, 4) + Digits(clock.month, 2) + Digits(clock.day, 2);
}

std::string TimeOf(const LocalTime& clock) {
  return Digits(clock.hour, 2) + Digits(clock.minute, 2) + Digits(clock.second, 2);
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The JPEG file as the single fragment of encapsulated pixel data, after an empty offset
// table.
DcmPixelData* EncapsulatedPixels(std::string_view jpeg) {
  auto* sequence = new DcmPixelSequence(DcmTag(DCM_PixelData, EVR_OB));
  sequence->insert(new DcmPixelItem(DcmTag(DCM_Item, EVR_OB)));
  auto* fragment = new DcmPixelItem(DcmTag(DCM_Item, EVR_OB));
  fragment->putUint8Array(reinterpret_cast<const Uint8*>(jpeg.data()),
                          static_cast<unsigned long>(jpeg.size()));
  sequence->insert(fragment);
  auto* pixels = new DcmPixelData(DCM_PixelData);
  pixels->putOriginalRepresentation(EXS_JPEGProcess1, nullptr, sequence);
  return pixels;
}

}  // namespace

std::string PatientIdValue(const Cp932Text& id, bool* non_ascii) {
  std::string value;
  for (const char c : Cp932ToUtf8Replacing(id)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      value += "\u00a5";
    } else if (byte < 0x20 || byte == 0x7f) {
      value += '?';
    } else {
      value += c;
    }
  }
  *non_ascii = !IsAscii(value);
  return value;
}

void QuietenDcmtk() {
  static std::once_flag once;
  std::call_once(once, [] { OFLog::configure(OFLogger::OFF_LOG_LEVEL); });
}

std::unique_ptr<DcmDataset> BuildSecondaryCapture(const InstanceFacts& facts, std::string_view jpeg,
                                                  std::string* error) {
  QuietenDcmtk();
  const auto frame = ReadJpegFrame(jpeg);
  if (!frame || !frame->baseline) {
    *error = frame ? "the file is no baseline JPEG" : "the file is no JPEG";
    return nullptr;
  }
  bool id_non_ascii = false;
  const std::string patient_id = PatientIdValue(facts.patient_id, &id_non_ascii);
  const bool colour = frame->components == 3;

  auto dataset = std::make_unique<DcmDataset>();
  bool ok = true;
  const auto put = [&](const DcmTagKey& tag, const std::string& value) {
    ok = ok && dataset->putAndInsertString(tag, value.c_str()).good();
  };
  const auto put16 = [&](const DcmTagKey& tag, int value) {
    ok = ok && dataset->putAndInsertUint16(tag, static_cast<Uint16>(value)).good();
  };
  if (id_non_ascii || !IsAscii(facts.institution)) put(DCM_SpecificCharacterSet, kUtf8CharacterSet);
  put(DCM_ImageType, "DERIVED\\SECONDARY");
  put(DCM_SOPClassUID, kSecondaryCaptureClass);
  put(DCM_SOPInstanceUID, facts.sop_uid);
  put(DCM_StudyDate, DateOf(facts.clock));
  put(DCM_ContentDate, DateOf(facts.clock));
  put(DCM_StudyTime, TimeOf(facts.clock));
  put(DCM_ContentTime, TimeOf(facts.clock));
  put(DCM_AccessionNumber, "");
  put(DCM_Modality, "OT");
  put(DCM_ConversionType, "WSD");
  put(DCM_Manufacturer, "Velmarin");
  if (!facts.institution.empty()) put(DCM_InstitutionName, facts.institution);
  put(DCM_ReferringPhysicianName, "");
  put(DCM_StationName, facts.station_name);
  put(DCM_ManufacturerModelName, "Velmarin");
  put(DCM_PatientName, "");
  put(DCM_PatientID, patient_id);
  put(DCM_PatientBirthDate, "");
  put(DCM_PatientSex, "");
  put(DCM_SoftwareVersions, VELMARIN_VERSION);
  put(DCM_StudyInstanceUID, facts.study_uid);
  put(DCM_SeriesInstanceUID, facts.series_uid);
  put(DCM_StudyID, "");
  put(DCM_SeriesNumber, "");
  put(DCM_InstanceNumber, std::to_string(facts.instance_number));
  put(DCM_PatientOrientation, "");
  put16(DCM_SamplesPerPixel, frame->components);
  // The colour of a baseline JPEG is coded as luminance and chrominance, the chrominance
  // usually with fewer samples.
  put(DCM_PhotometricInterpretation,
      !colour ? "MONOCHROME2" : (frame->subsampled ? "YBR_FULL_422" : "YBR_FULL"));
  if (colour) put16(DCM_PlanarConfiguration, 0);
  put16(DCM_Rows, frame->height);
  put16(DCM_Columns, frame->width);
  put16(DCM_BitsAllocated, 8);
  put16(DCM_BitsStored, 8);
  put16(DCM_HighBit, 7);
  put16(DCM_PixelRepresentation, 0);
  // The ID, date and free text are stamped on the picture.
  put(DCM_BurnedInAnnotation, "YES");
  put(DCM_LossyImageCompression, "01");
  put(DCM_LossyImageCompressionMethod, "ISO_10918_1");
  ok = ok && dataset->insert(EncapsulatedPixels(jpeg), true).good();
  if (!ok) {
    *error = "the instance could not be made (out of memory?)";
    return nullptr;
  }
  return dataset;
}

bool DecodeToUncompressed(DcmDataset& dataset, std::string* error) {
  static std::once_flag registered;
  // The instance keeps its UID: it is the same picture, only coded otherwise.
  std::call_once(registered, [] {
    DJDecoderRegistration::registerCodecs(EDC_photometricInterpretation, EUC_never);
  });
  const OFCondition decoded = dataset.chooseRepresentation(EXS_LittleEndianExplicit, nullptr);
  if (decoded.bad() || !dataset.canWriteXfer(EXS_LittleEndianExplicit)) {
    *error = std::string("the JPEG does not decode: ") + decoded.text();
    return false;
  }
  return true;
}

}  // namespace velmarin
