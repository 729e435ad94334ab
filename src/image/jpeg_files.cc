#include "image/jpeg_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "image/bmp_reader.h"
#include "image/dib_convert.h"
#include "image/jpeg_codec.h"
#include "platform/encoding.h"

namespace velmarin {
namespace {

constexpr int kNormalizedQuality = 100;
// Bytes of the target's stem kept in a temporary name: the 8 bytes the temporary adds must
// not push a target name near the 255-byte limit over it.
constexpr std::size_t kTemporaryStemBytes = 100;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::filesystem::path& path) {
  return FilePtr(std::fopen(path.c_str(), "rb"));
}

// The process umask, read without changing it (umask() would change it for a moment,
// racing with other threads that create files).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 022;
}

// A temporary file beside the target that is removed unless it was moved into place. Its
// name, ".<stem>.XXXXXX", lacks ".jpg", so a folder scan for pictures never takes it.
class PendingFile {
 public:
  explicit PendingFile(const std::filesystem::path& target) {
    if (target.filename().empty()) return;
    const std::string stem = target.stem().string().substr(0, kTemporaryStemBytes);
    name_ = (Folder(target) / ("." + stem + ".XXXXXX")).string();
    const int fd = mkstemp(name_.data());
    if (fd < 0) {
      name_.clear();
      return;
    }
    // mkstemp makes the file private; the picture gets the permissions of a plain new file.
    fchmod(fd, 0666 & ~CurrentUmask());
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) close(fd);
  }

  ~PendingFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!name_.empty()) unlink(name_.c_str());
  }

  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  std::FILE* file() const { return file_; }

  // Flushes the data (to the disk when synced) and closes the file.
  bool Finish(Durability durability) {
    const bool flushed = std::fflush(file_) == 0 &&
                         (durability == Durability::kWorkFile || fsync(fileno(file_)) == 0);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return flushed && closed;
  }

  // Gives the finished file its name; when synced, the new name itself is made durable.
  bool MoveTo(FileNaming& target, Durability durability) {
    if (!target.Place(name_)) return false;
    name_.clear();
    if (durability == Durability::kWorkFile) return true;
    const int folder = open(Folder(target.name()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      fsync(folder);
      close(folder);
    }
    return true;
  }

 private:
  static std::filesystem::path Folder(const std::filesystem::path& target) {
    return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  }

  std::string name_;
  std::FILE* file_ = nullptr;
};

// The path as it goes into a message: code page 932 like every message text; characters
// that code page lacks become '?'.
std::string PathForMessage(const std::filesystem::path& path) {
  if (std::optional<std::string> converted = Utf8ToCp932(path.string())) return *converted;
  std::string text = path.string();
  for (char& c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return text;
}

}  // namespace

bool WriteJpegFileAtomically(const std::filesystem::path& target, const Dib& dib, int quality,
                             bool progressive, bool* open_failed, Durability durability) {
  ReplacedName name(target);
  return WriteJpegFileAtomically(name, dib, quality, progressive, open_failed, durability);
}

bool WriteJpegFileAtomically(FileNaming& target, const Dib& dib, int quality, bool progressive,
                             bool* open_failed, Durability durability) {
  if (open_failed != nullptr) *open_failed = false;
  PendingFile pending(target.name());
  if (pending.file() == nullptr) {
    if (open_failed != nullptr) *open_failed = true;
    return false;
  }
  if (!WriteDibToJpeg(pending.file(), dib, quality, progressive) || !pending.Finish(durability)) {
    return false;
  }
  if (!pending.MoveTo(target, durability)) {  // for example a folder of that name is in the way
    if (open_failed != nullptr) *open_failed = true;
    return false;
  }
  return true;
}

bool ConvertBmpToJpeg(const std::filesystem::path& bmp, const std::filesystem::path& jpeg,
                      int quality, LastErrorText& errors) {
  std::optional<Dib> dib;
  {
    FilePtr file = OpenForReading(bmp);
    if (!file) {
      errors.Set(PathForMessage(bmp) + ":Bmp_to_Jpg bmp open error! ");
      return false;
    }
    dib = ReadBmpToDib(file.get());
  }
  if (!dib) {
    errors.Set("BMP file read error! ");
    return false;
  }
  if (dib->bit_count() != 24) {
    dib = ExpandDibTo24(*dib);
    if (!dib) {
      errors.Set("BMP format not support! ");
      return false;
    }
  }
  bool open_failed = false;
  if (!WriteJpegFileAtomically(jpeg, *dib, quality, false, &open_failed, Durability::kWorkFile)) {
    errors.Set(open_failed ? PathForMessage(jpeg) + ":Bmp_to_Jpg jpg open error! "
                           : std::string("output JPEG file error! "));
    return false;
  }
  return true;
}

bool SaveDibAsJpeg(BitmapInfoHeader header, const std::uint8_t* rows,
                   const std::filesystem::path& path, int quality) {
  if (rows == nullptr) return false;
  std::optional<Dib> dib = Dib::Create(header.biWidth, header.biHeight, header.biBitCount);
  if (!dib) return false;
  header.biSize = BitmapInfoHeader::kSize;
  header.biClrUsed = 0;
  header.biSizeImage = dib->header().biSizeImage;
  dib->SetHeader(header);
  std::memcpy(dib->pixels(), rows, header.biSizeImage);
  return WriteJpegFileAtomically(path, *dib, quality, false, nullptr, Durability::kWorkFile);
}

bool NormalizeJpegWidth(const std::filesystem::path& source, const std::filesystem::path& target,
                        MessageSink& messages) {
  std::optional<Dib> dib;
  {
    FilePtr file = OpenForReading(source);
    if (!file) return false;
    dib = ReadJpegToDib(file.get());
  }
  // A picture narrower than 4 pixels would become an empty one: refused like a bad file.
  if (!dib || dib->width() < 4) {
    messages.ShowMessage("JPEG read error!");
    return false;
  }
  const int width = dib->width();
  const int new_width = width / 4 * 4;
  if (new_width != width) {
    ResampleDibNearest(dib->pixels(), width, dib->height(), new_width, dib->height());
    BitmapInfoHeader header = dib->header();
    header.biWidth = new_width;
    header.biSizeImage = static_cast<std::uint32_t>(DibStride(24, new_width) *
                                                    static_cast<std::size_t>(dib->height()));
    dib->SetHeader(header);
  }
  return WriteJpegFileAtomically(target, *dib, kNormalizedQuality, false, nullptr,
                                 Durability::kWorkFile);
}

}  // namespace velmarin
