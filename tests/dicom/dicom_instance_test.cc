#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "dicom/dicom_uids.h"
#include "dicom/jpeg_frame.h"
#include "dicom/secondary_capture.h"
#include "dicom/station_identity.h"
#include "support/pictures.h"

namespace velmarin {
namespace {

std::string TagOf(DcmDataset& dataset, const DcmTagKey& tag) {
  OFString value;
  return dataset.findAndGetOFStringArray(tag, value).good() ? value.c_str() : "<missing>";
}

// The bytes of the one fragment of the encapsulated pixel data.
std::string FragmentOf(DcmDataset& dataset) {
  DcmElement* element = nullptr;
  if (dataset.findAndGetElement(DCM_PixelData, element).bad()) return {};
  DcmPixelSequence* sequence = nullptr;
  if (static_cast<DcmPixelData*>(element)
          ->getEncapsulatedRepresentation(EXS_JPEGProcess1, nullptr, sequence)
          .bad() ||
      sequence->card() != 2) {
    return {};
  }
  DcmPixelItem* fragment = nullptr;
  Uint8* bytes = nullptr;
  if (sequence->getItem(fragment, 1).bad() || fragment->getUint8Array(bytes).bad()) return {};
  return std::string(reinterpret_cast<const char*>(bytes), fragment->getLength());
}

InstanceFacts Facts(Cp932Text id) {
  InstanceFacts facts;
  facts.patient_id = std::move(id);
  facts.clock = {2026, 3, 9, 14, 5, 7};
  facts.instance_number = 12;
  facts.study_uid = StudyUidFor("station", facts.patient_id, facts.clock);
  facts.series_uid = NewDicomUid();
  facts.sop_uid = NewDicomUid();
  facts.institution = "Kita Clinic";
  facts.station_name = "CAPTURE1";
  return facts;
}

TEST(DicomUids, NewOnesAreValidAndUniqueAndNamedOnesStable) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string uid = NewDicomUid();
    EXPECT_TRUE(uid.starts_with("2.25.")) << uid;
    EXPECT_TRUE(IsValidDicomUid(uid)) << uid;
    seen.insert(uid);
  }
  EXPECT_EQ(seen.size(), 1000u);
  const LocalTime morning{2026, 3, 9, 8, 0, 0};
  const LocalTime evening{2026, 3, 9, 19, 30, 0};
  const LocalTime next_day{2026, 3, 10, 8, 0, 0};
  const std::string study = StudyUidFor("a", Cp932Text("123456"), morning);
  EXPECT_TRUE(IsValidDicomUid(study));
  EXPECT_EQ(StudyUidFor("a", Cp932Text("123456"), evening), study);
  EXPECT_NE(StudyUidFor("a", Cp932Text("123456"), next_day), study);
  EXPECT_NE(StudyUidFor("a", Cp932Text("123457"), morning), study);
  EXPECT_NE(StudyUidFor("b", Cp932Text("123456"), morning), study);
  for (const char* bad : {"", "2.25.", "2..25", "2.025", "1.2.a", ".1",
                          "1.2345678901234567890123456789012345678901234567890123456789012345"}) {
    EXPECT_FALSE(IsValidDicomUid(bad)) << bad;
  }
}

TEST(JpegFrame, TellsSizeComponentsBaselineAndSubsampling) {
  const auto colour = ReadJpegFrame(test::JpegBytes(648, 480, 1));
  ASSERT_TRUE(colour);
  EXPECT_EQ(colour->width, 648);
  EXPECT_EQ(colour->height, 480);
  EXPECT_EQ(colour->components, 3);
  EXPECT_TRUE(colour->baseline);
  EXPECT_TRUE(colour->subsampled);
  test::TestJpegFormat grey;
  grey.components = 1;
  grey.in_colour_space = 1;  // JCS_GRAYSCALE
  const auto grey_frame = ReadJpegFrame(test::EncodeTestJpeg(
      16, 8, [](int x, int, std::uint8_t* samples) { samples[0] = static_cast<std::uint8_t>(x); },
      grey));
  ASSERT_TRUE(grey_frame);
  EXPECT_EQ(grey_frame->components, 1);
  EXPECT_FALSE(grey_frame->subsampled);
  const auto progressive = test::JpegBytesOf(test::PatternDib(32, 32, 2), 90, /*progressive=*/true);
  ASSERT_TRUE(progressive);
  EXPECT_FALSE(ReadJpegFrame(*progressive)->baseline);

  const std::string whole = test::JpegBytes(64, 48, 3);
  EXPECT_FALSE(ReadJpegFrame(whole.substr(0, 20)));
  EXPECT_FALSE(ReadJpegFrame("GIF89a"));
  EXPECT_FALSE(ReadJpegFrame(""));
}

TEST(SecondaryCapture, CarriesEveryTagAndTheFileUnchanged) {
  const std::string jpeg = test::JpegBytes(640, 480, 4);
  const InstanceFacts facts = Facts(Cp932Text("123456"));
  std::string error;
  const auto dataset = BuildSecondaryCapture(facts, jpeg, &error);
  ASSERT_TRUE(dataset) << error;
  DcmDataset& d = *dataset;
  EXPECT_EQ(TagOf(d, DCM_SOPClassUID), "1.2.840.10008.5.1.4.1.1.7");
  EXPECT_EQ(TagOf(d, DCM_SOPInstanceUID), facts.sop_uid);
  EXPECT_EQ(TagOf(d, DCM_StudyInstanceUID), facts.study_uid);
  EXPECT_EQ(TagOf(d, DCM_SeriesInstanceUID), facts.series_uid);
  EXPECT_EQ(TagOf(d, DCM_PatientID), "123456");
  EXPECT_EQ(TagOf(d, DCM_StudyDate), "20260309");
  EXPECT_EQ(TagOf(d, DCM_StudyTime), "140507");
  EXPECT_EQ(TagOf(d, DCM_ContentDate), "20260309");
  EXPECT_EQ(TagOf(d, DCM_ContentTime), "140507");
  EXPECT_EQ(TagOf(d, DCM_InstanceNumber), "12");
  EXPECT_EQ(TagOf(d, DCM_BurnedInAnnotation), "YES");
  EXPECT_EQ(TagOf(d, DCM_Modality), "OT");
  EXPECT_EQ(TagOf(d, DCM_Manufacturer), "Velmarin");
  EXPECT_EQ(TagOf(d, DCM_StationName), "CAPTURE1");
  EXPECT_EQ(TagOf(d, DCM_InstitutionName), "Kita Clinic");
  EXPECT_EQ(TagOf(d, DCM_SpecificCharacterSet), "<missing>");
  EXPECT_EQ(TagOf(d, DCM_Rows), "480");
  EXPECT_EQ(TagOf(d, DCM_Columns), "640");
  EXPECT_EQ(TagOf(d, DCM_SamplesPerPixel), "3");
  EXPECT_EQ(TagOf(d, DCM_PhotometricInterpretation), "YBR_FULL_422");
  EXPECT_EQ(TagOf(d, DCM_BitsAllocated), "8");
  EXPECT_EQ(TagOf(d, DCM_LossyImageCompression), "01");
  EXPECT_TRUE(d.canWriteXfer(EXS_JPEGProcess1));

  std::string fragment = FragmentOf(d);
  // A fragment has an even length: a file of an odd one gets a zero byte after it.
  if (jpeg.size() % 2 == 1) {
    ASSERT_EQ(fragment.size(), jpeg.size() + 1);
    EXPECT_EQ(fragment.back(), '\0');
    fragment.pop_back();
  }
  EXPECT_TRUE(fragment == jpeg) << "the JPEG was changed on its way into the instance";

  EXPECT_FALSE(BuildSecondaryCapture(facts, jpeg.substr(0, 10), &error));
  EXPECT_EQ(error, "the file is no JPEG");
}

TEST(SecondaryCapture, AnIdBeyondAsciiIsUtf8WithItsCharacterSet) {
  // "山田" and a half-width katakana "ｱ" in code page 932, then a backslash.
  const InstanceFacts facts = Facts(Cp932Text("\x8e\x52\x93\x63\xb1\\1"));
  std::string error;
  const auto dataset = BuildSecondaryCapture(facts, test::JpegBytes(64, 48, 5), &error);
  ASSERT_TRUE(dataset) << error;
  EXPECT_EQ(TagOf(*dataset, DCM_SpecificCharacterSet), "ISO_IR 192");
  EXPECT_EQ(TagOf(*dataset, DCM_PatientID), "山田ｱ¥1");
}

TEST(SecondaryCapture, DecodesForAReceiverWithoutJpeg) {
  const Dib picture = test::PatternDib(64, 48, 6);
  const auto jpeg = test::JpegBytesOf(picture, 95);
  ASSERT_TRUE(jpeg);
  std::string error;
  const auto dataset = BuildSecondaryCapture(Facts(Cp932Text("1")), *jpeg, &error);
  ASSERT_TRUE(dataset) << error;
  ASSERT_TRUE(DecodeToUncompressed(*dataset, &error)) << error;
  EXPECT_EQ(TagOf(*dataset, DCM_PhotometricInterpretation), "RGB");
  const Uint8* pixels = nullptr;
  ASSERT_TRUE(dataset->findAndGetUint8Array(DCM_PixelData, pixels).good());
  // Pixel (5, 7) against the picture, within the JPEG's loss.
  const test::Rgb expected = test::PixelOf(picture, 5, 7);
  const Uint8* at = pixels + (7 * 64 + 5) * 3;
  EXPECT_TRUE(test::Near({at[0], at[1], at[2]}, expected, 24));
}

}  // namespace
}  // namespace velmarin
