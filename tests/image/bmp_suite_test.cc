#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "base/unique_fd.h"
#include "image/bmp_reader.h"
#include "image/dib_convert.h"
#include "image/jpeg_files.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

// The reader must give the reference's pixels; only the rounding of 5- and 6-bit channels
// may differ by one level.
constexpr int kMaxReadError = 1;
// The suite's pictures dither saturated colours pixel by pixel, which the encoder's 2x2
// chroma subsampling smears (up to 30 levels on average for pal4), so the converted file
// is compared with the reference passed through the same encoder: the two files must decode
// to nearly the same pixels.
constexpr double kMaxMeanError = 1.0;
constexpr int kMaxPixelError = 12;
constexpr int kQuality = 99;  // what the folder monitor uses for BMP files

// tests/data/bmpsuite of the checkout, unless VELMARIN_TESTDATA names another copy.
fs::path SuiteFolder() {
  const char* root = std::getenv("VELMARIN_TESTDATA");
  return fs::path(root != nullptr ? root : "") / "bmpsuite";
}

std::vector<fs::path> BmpFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".bmp") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// "g/pal8.bmp" -> {"pal8.png", ...} from the table in REFERENCES.md.
using References = std::map<std::string, std::vector<std::string>>;

References ReadReferences(const fs::path& suite) {
  References references;
  std::ifstream in(suite / "REFERENCES.md");
  const std::regex row(R"(^\| ([a-z]/[^ ]+\.bmp) \| (.*) \|$)");
  const std::regex picture(R"([A-Za-z0-9_-]+\.(png|jpg))");
  std::string line;
  while (std::getline(in, line)) {
    std::smatch match;
    if (!std::regex_match(line, match, row)) continue;
    const std::string cell = match[2];
    for (auto it = std::sregex_iterator(cell.begin(), cell.end(), picture);
         it != std::sregex_iterator(); ++it) {
      references[match[1]].push_back(it->str());
    }
  }
  return references;
}

Dib DibFromImage(const QImage& image) {
  return test::PaintPicture(image.width(), image.height(), [&](int x, int y) {
    const QRgb q = image.pixel(x, y);
    return test::Rgb{qRed(q), qGreen(q), qBlue(q)};
  });
}

std::optional<Dib> ReadExpanded(const fs::path& bmp) {
  const std::optional<Dib> dib = ReadBmpToDib(UniqueFile(std::fopen(bmp.c_str(), "rb")).get());
  return dib ? ExpandDibTo24(*dib) : std::nullopt;
}

class BmpSuiteTest : public testing::Test {
 protected:
  void SetUp() override {
    suite_ = SuiteFolder();
    ASSERT_TRUE(fs::is_directory(suite_ / "g")) << suite_;
  }

  void ExpectConvertsLikeItsReference(const fs::path& bmp, const References& references,
                                      const std::string& listed_as);

  // Converts like the folder monitor does (quality 99) and decodes the result.
  std::optional<Dib> Convert(const fs::path& bmp, ImageStatus& status) {
    const fs::path jpeg = dir_ / (bmp.stem().string() + ".jpg");
    status = ConvertBmpToJpeg(bmp, jpeg, kQuality).status;
    if (status != ImageStatus::kDone) return std::nullopt;
    return test::DecodeJpegFile(jpeg);
  }

  fs::path suite_;
  test::TempDir dir_;
};

// Converts `bmp` and compares it with its reference of the same size.
void BmpSuiteTest::ExpectConvertsLikeItsReference(const fs::path& bmp, const References& references,
                                                  const std::string& listed_as) {
  SCOPED_TRACE(listed_as);
  ImageStatus status{};
  const std::optional<Dib> dib = Convert(bmp, status);
  ASSERT_TRUE(dib) << static_cast<int>(status);
  const auto listed = references.find(listed_as);
  ASSERT_NE(listed, references.end());
  // Where two renderings are allowed, the one of the file's own size applies: the
  // non-square-pixel picture is kept squashed, as an editor keeps it.
  for (const std::string& name : listed->second) {
    const QImage reference(QString::fromStdString((suite_ / "html" / name).string()));
    ASSERT_FALSE(reference.isNull()) << name;
    if (reference.width() != dib->width() || reference.height() != dib->height()) continue;
    const Dib reference_dib = DibFromImage(reference);
    const std::optional<Dib> read = ReadExpanded(bmp);
    ASSERT_TRUE(read);
    EXPECT_LE(test::Compare(*read, reference_dib).max, kMaxReadError) << name;

    const auto encoded_reference = test::JpegBytesOf(reference_dib, kQuality);
    ASSERT_TRUE(encoded_reference);
    const test::Difference d =
        test::Compare(*dib, test::DecodeJpegBytes(*encoded_reference).value());
    EXPECT_LT(d.mean, kMaxMeanError) << name;
    EXPECT_LE(d.max, kMaxPixelError) << name;
    return;
  }
  ADD_FAILURE() << "no reference of the same size";
}

TEST_F(BmpSuiteTest, EveryGoodFileConvertsAndMatchesItsReference) {
  const References references = ReadReferences(suite_);
  const std::vector<fs::path> files = BmpFiles(suite_ / "g");
  ASSERT_FALSE(files.empty());
  for (const fs::path& bmp : files) {
    ExpectConvertsLikeItsReference(bmp, references, "g/" + bmp.filename().string());
  }
}

// Bad files whose damage lies only in a field the picture does not need are read like good
// ones; those that lack pixels or cannot be read safely fail with the read message.
TEST_F(BmpSuiteTest, BadFilesAreReadWhereOnlyAnUnneededFieldIsWrong) {
  const References references = ReadReferences(suite_);
  std::vector<std::string> refused;
  for (const fs::path& bmp : BmpFiles(suite_ / "b")) {
    const std::string listed_as = "b/" + bmp.filename().string();
    if (references.count(listed_as) != 0) {
      ExpectConvertsLikeItsReference(bmp, references, listed_as);
      continue;
    }
    SCOPED_TRACE(listed_as);
    ImageStatus status{};
    EXPECT_FALSE(Convert(bmp, status));
    EXPECT_EQ(status, ImageStatus::kSourceNotDecoded);
    EXPECT_FALSE(fs::exists(dir_ / (bmp.stem().string() + ".jpg")));
    refused.push_back(bmp.stem().string());
  }
  EXPECT_EQ(refused,
            (std::vector<std::string>{"badbitcount", "badheadersize", "badrle", "badwidth",
                                      "pal8badindex", "reallybig", "rletopdown", "shortfile"}));
}

// Questionable files either convert or fail with the read message. Those that convert and
// have an opaque reference of their size must match it like the good files; references
// with transparency are skipped, as a JPEG keeps no alpha channel.
TEST_F(BmpSuiteTest, QuestionableFilesConvertOrFailCleanly) {
  const auto references = ReadReferences(suite_);
  int converted = 0;
  int compared = 0;
  const std::vector<fs::path> files = BmpFiles(suite_ / "q");
  for (const fs::path& bmp : files) {
    SCOPED_TRACE(bmp.filename().string());
    ImageStatus status{};
    const std::optional<Dib> dib = Convert(bmp, status);
    if (!dib) {
      EXPECT_EQ(status, ImageStatus::kSourceNotDecoded);
      continue;
    }
    ++converted;
    const auto listed = references.find("q/" + bmp.filename().string());
    if (listed == references.end()) continue;
    for (const std::string& name : listed->second) {
      const QImage reference(QString::fromStdString((suite_ / "html" / name).string()));
      if (reference.hasAlphaChannel() || reference.width() != dib->width() ||
          reference.height() != dib->height()) {
        continue;
      }
      const std::optional<Dib> read = ReadExpanded(bmp);
      ASSERT_TRUE(read);
      EXPECT_LE(test::Compare(*read, DibFromImage(reference)).max, kMaxReadError) << name;
      ++compared;
      break;
    }
  }
  RecordProperty("converted", converted);
  RecordProperty("compared", compared);
  EXPECT_GT(converted, static_cast<int>(files.size()) / 2);
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace velmarin
