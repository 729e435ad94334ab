#include "image/jpeg_codec.h"

#include <algorithm>
#include <bitset>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "image/dib_convert.h"

static_assert(JPEG_LIB_VERSION == 62, "the IJG release 6b interface (libjpeg62) is required");

namespace velmarin {
namespace {

// Rows handed to the library per call: enough to cover its largest upsampling group.
constexpr int kRowsPerCall = 16;
// A progressive file may hold any number of scans; each one costs a pass over the whole
// coefficient buffer. Real encoders write about a dozen, so this many means a hostile file.
constexpr int kMaxScans = 500;

// The library reports errors through error_exit and warnings through emit_message; both
// come back here by longjmp to the point set by the function that drives the library.
// Only plain C data lives between setjmp and longjmp, so nothing is skipped that would need
// a destructor.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  JpegWarnings warnings = JpegWarnings::kReportOnce;
  std::bitset<256> reported;        // the warning codes already told for this picture
  std::string* messages = nullptr;  // where the texts go; dropped when null
};

JpegErrorManager& ManagerOf(j_common_ptr cinfo) {
  return *reinterpret_cast<JpegErrorManager*>(cinfo->err);
}

// Called from inside the library, which no exception may cross: a text that finds no memory
// is dropped.
void Tell(JpegErrorManager& manager, std::string_view text) noexcept {
  if (manager.messages == nullptr) return;
  try {
    if (!manager.messages->empty()) manager.messages->append("; ");
    manager.messages->append(text);
  } catch (const std::bad_alloc&) {
  }
}

[[noreturn]] void JumpBack(j_common_ptr cinfo) { std::longjmp(ManagerOf(cinfo).jump, 1); }

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  JumpBack(cinfo);
}

// Bytes before a marker that some encoders leave after their headers or scan data.
constexpr int kFewExtraneousBytes = 8;

// Warnings that leave the picture whole and correct. Bytes skipped before a marker are
// damage where they lie inside the scan data (before a restart marker: that interval's data
// did not end where its blocks did), and where they are more than a few: the decoder lost
// its place in the data, so the rest of the picture came out shifted or grey.
bool WarningIsHarmless(const jpeg_error_mgr& err) {
  const int code = err.msg_code;
  if (code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR) return true;
  if (code != JWRN_EXTRANEOUS_DATA) return false;
  const int skipped = err.msg_parm.i[0];
  const int marker = err.msg_parm.i[1];
  const bool restart = marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7;
  return !restart && skipped <= kFewExtraneousBytes;
}

// Damage inside the data and a file cut short only come as warnings; the library would go
// on and fill what it lacks with grey. A file cut short always ends the decoding like an
// error; other damage does only where the caller refuses it.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace output
  ++cinfo->err->num_warnings;
  JpegErrorManager& manager = ManagerOf(cinfo);
  const int code = cinfo->err->msg_code;
  // What leaves the picture whole is not worth telling anyone.
  if (WarningIsHarmless(*cinfo->err)) return;
  if (manager.warnings == JpegWarnings::kRefuseSilently) JumpBack(cinfo);
  const auto index = static_cast<std::size_t>(code);
  if (index >= manager.reported.size() || !manager.reported[index]) {
    if (index < manager.reported.size()) manager.reported.set(index);
    (*cinfo->err->output_message)(cinfo);
  }
  if (code == JWRN_JPEG_EOF) JumpBack(cinfo);
}

void LimitScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    Tell(ManagerOf(cinfo), "JPEG file has too many scans");
    JumpBack(cinfo);
  }
}

// The library's own texts go to the caller, who says them where its other messages go.
void RouteJpegMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  Tell(ManagerOf(cinfo), text);
}

jpeg_error_mgr* InstallErrorManager(JpegErrorManager& errors, std::string* messages,
                                    JpegWarnings warnings = JpegWarnings::kReportOnce) {
  errors.warnings = warnings;
  errors.messages = messages;
  jpeg_error_mgr* pub = jpeg_std_error(&errors.pub);
  pub->output_message = RouteJpegMessage;
  pub->error_exit = JpegErrorExit;
  pub->emit_message = JpegEmitMessage;
  return pub;
}

// The library's own stdio source reads 4 KiB at a time, and its fast Huffman decoder runs only
// while a few KiB of data are buffered: from such a source most of a picture takes the slow
// path, a fifth more time for a photograph. This one reads a megabyte at a time.
constexpr std::size_t kInputBytes = std::size_t{1} << 20;

struct StreamSource {
  jpeg_source_mgr pub{};
  std::FILE* file = nullptr;
  std::vector<JOCTET> buffer;
  bool at_start = true;
};

void InitSource(j_decompress_ptr cinfo) {
  reinterpret_cast<StreamSource*>(cinfo->src)->at_start = true;
}

boolean FillInput(j_decompress_ptr cinfo) {
  auto& source = *reinterpret_cast<StreamSource*>(cinfo->src);
  std::size_t got = std::fread(source.buffer.data(), 1, source.buffer.size(), source.file);
  if (got == 0) {
    if (source.at_start) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    // A file cut short: the warning, then an end marker so the library can stop cleanly.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source.buffer[0] = 0xFF;
    source.buffer[1] = JPEG_EOI;
    got = 2;
  }
  source.pub.next_input_byte = source.buffer.data();
  source.pub.bytes_in_buffer = got;
  source.at_start = false;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr& source = *cinfo->src;
  auto left = static_cast<std::size_t>(count);
  while (left > source.bytes_in_buffer) {
    left -= source.bytes_in_buffer;
    FillInput(cinfo);
  }
  source.next_input_byte += left;
  source.bytes_in_buffer -= left;
}

void TermSource(j_decompress_ptr) {}

struct DecodeJob {
  jpeg_decompress_struct cinfo{};
  JpegErrorManager errors{};
  jpeg_progress_mgr progress{};
  StreamSource source;
  std::optional<Dib> dib;
};

bool PickOutputColourSpace(jpeg_decompress_struct& cinfo) {
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo.out_color_space = JCS_EXT_BGR;  // gray is widened by the library
      return true;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo.out_color_space = JCS_CMYK;  // YCCK is turned into CMYK by the library
      return true;
    default:
      return false;
  }
}

// Points `rows` at the Dib rows of the scan-lines from `first` on, as many as one call of the
// library takes, and gives their number. Scan-line k (0 = top) is Dib row height - 1 - k.
JDIMENSION ScanLineRows(std::uint8_t* pixels, std::size_t stride, JDIMENSION height,
                        JDIMENSION first, JSAMPROW (&rows)[kRowsPerCall]) {
  const JDIMENSION count = std::min<JDIMENSION>(kRowsPerCall, height - first);
  for (JDIMENSION i = 0; i < count; ++i) rows[i] = pixels + stride * (height - 1 - first - i);
  return count;
}

bool ReadBgrRows(jpeg_decompress_struct& cinfo, Dib& dib) {
  JSAMPROW rows[kRowsPerCall];
  while (cinfo.output_scanline < cinfo.output_height) {
    const JDIMENSION count =
        ScanLineRows(dib.pixels(), dib.stride(), cinfo.output_height, cinfo.output_scanline, rows);
    if (jpeg_read_scanlines(&cinfo, rows, count) == 0) return false;
  }
  return true;
}

std::uint8_t InkToLight(unsigned ink, unsigned black) {
  return static_cast<std::uint8_t>((ink * black + 127) / 255);
}

// Adobe writes CMYK inverted (0 = full ink); then a light value is simply C x K / 255.
bool ReadCmykRows(jpeg_decompress_struct& cinfo, Dib& dib) {
  const bool inverted = cinfo.saw_Adobe_marker;
  const JDIMENSION width = cinfo.output_width;
  const JDIMENSION height = cinfo.output_height;
  JSAMPARRAY scratch =
      (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, width * 4, 1);
  while (cinfo.output_scanline < height) {
    std::uint8_t* out = dib.row(static_cast<int>(height - 1 - cinfo.output_scanline));
    if (jpeg_read_scanlines(&cinfo, scratch, 1) == 0) return false;
    const std::uint8_t* in = scratch[0];
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
      const unsigned c = inverted ? in[0] : 255u - in[0];
      const unsigned m = inverted ? in[1] : 255u - in[1];
      const unsigned y = inverted ? in[2] : 255u - in[2];
      const unsigned k = inverted ? in[3] : 255u - in[3];
      out[0] = InkToLight(y, k);
      out[1] = InkToLight(m, k);
      out[2] = InkToLight(c, k);
    }
  }
  return true;
}

bool Decode(DecodeJob& job, std::FILE* file, JpegWarnings warnings, std::string* messages) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  cinfo.err = InstallErrorManager(job.errors, messages, warnings);
  if (setjmp(job.errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    job.dib.reset();
    return false;
  }
  jpeg_create_decompress(&cinfo);
  job.progress.progress_monitor = LimitScans;
  cinfo.progress = &job.progress;
  StreamSource& source = job.source;
  source.file = file;
  source.buffer.resize(kInputBytes);
  source.pub = {nullptr, 0, InitSource, FillInput, SkipInput, jpeg_resync_to_restart, TermSource};
  cinfo.src = &source.pub;
  jpeg_read_header(&cinfo, TRUE);
  // Refused before the library sets up any buffer of picture size.
  if (!DibSizeAllowed(cinfo.image_width, cinfo.image_height) || !PickOutputColourSpace(cinfo)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_start_decompress(&cinfo);
  job.dib = Dib::Create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                        24, 0, DibRows::kOverwritten);
  const bool rows_read =
      job.dib && (cinfo.out_color_space == JCS_CMYK ? ReadCmykRows(cinfo, *job.dib)
                                                    : ReadBgrRows(cinfo, *job.dib));
  if (rows_read) jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  if (!rows_read) job.dib.reset();
  return rows_read;
}

struct EncodeJob {
  jpeg_compress_struct cinfo{};
  JpegErrorManager errors{};
};

// Rows go from Dib row height - 1 (the top of the picture) down to row 0; the library
// reads them as blue, green, red, which gives the same file as swapping to RGB first.
bool Encode(EncodeJob& job, std::FILE* file, const Dib& dib, int quality, bool progressive,
            std::string* messages) {
  jpeg_compress_struct& cinfo = job.cinfo;
  cinfo.err = InstallErrorManager(job.errors, messages);
  if (setjmp(job.errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(dib.width());
  cinfo.image_height = static_cast<JDIMENSION>(dib.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);

  // The library only reads the rows; its interface just lacks const.
  std::uint8_t* const pixels = const_cast<std::uint8_t*>(dib.pixels());
  JSAMPROW rows[kRowsPerCall];
  bool written = true;
  while (written && cinfo.next_scanline < cinfo.image_height) {
    const JDIMENSION count =
        ScanLineRows(pixels, dib.stride(), cinfo.image_height, cinfo.next_scanline, rows);
    written = jpeg_write_scanlines(&cinfo, rows, count) != 0;
  }
  if (written) jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return written;
}

}  // namespace

std::optional<Dib> ReadJpegToDib(std::FILE* file, JpegWarnings warnings, std::string* messages) {
  if (file == nullptr) return std::nullopt;
  auto job = std::make_unique<DecodeJob>();
  if (!Decode(*job, file, warnings, messages)) return std::nullopt;
  return std::move(job->dib);
}

bool WriteDibToJpeg(std::FILE* file, const Dib& dib, int quality, bool progressive,
                    std::string* messages) {
  if (file == nullptr || !dib.valid()) return false;
  std::optional<Dib> expanded;
  if (dib.bit_count() != 24) {
    expanded = ExpandDibTo24(dib);
    if (!expanded) return false;
  }
  auto job = std::make_unique<EncodeJob>();
  return Encode(*job, file, expanded ? *expanded : dib, std::clamp(quality, 1, 100), progressive,
                messages);
}

}  // namespace velmarin
