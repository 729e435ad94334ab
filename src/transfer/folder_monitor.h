#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "base/last_error_text.h"
#include "base/message_sink.h"
#include "base/stoppable_sleep.h"
#include "naming/local_time.h"
#include "naming/transfer_path.h"
#include "settings/program_dir.h"
#include "settings/settings.h"
#include "transfer/image_completeness.h"
#include "transfer/work_files.h"

namespace velmarin {

// The steps that turn one captured image into its transferred file, one method each so the
// folder thread can be exercised without decoding pictures. Each step reports its own
// failures (in `errors` or through `messages`) and returns false or nullopt.
class TransferPipeline {
 public:
  virtual ~TransferPipeline() = default;

  // The target of the image as the serial search finds it, folders created; nullopt with
  // `error` (UTF-8, it may quote a path) when none can be had.
  virtual std::optional<TransferTarget> BuildTarget(const Settings& settings,
                                                    std::string_view capture_id,
                                                    const LocalTime& now, std::string* error) = 0;
  // BMP file to JPEG file at quality 99.
  virtual bool ConvertBmp(const std::filesystem::path& bmp, const std::filesystem::path& jpeg,
                          LastErrorText& errors) = 0;
  // JPEG file to the work file with a width that is a multiple of four.
  virtual bool NormalizeWidth(const std::filesystem::path& jpeg,
                              const std::filesystem::path& work_file, MessageSink& messages) = 0;
  // Work file to the target: range fill, stamps, JPEG at the configured quality. The
  // finished file takes its name through `target`, so `target.name()` is then its real name.
  virtual bool Process(const std::filesystem::path& work_file, FileNaming& target,
                       const Settings& settings, std::string_view capture_id, const LocalTime& now,
                       LastErrorText& errors) = 0;
};

// One image's way from the watch folder to the transfer folder: target first (its serial
// number is searched now), a BMP through "temp.jpg", then "444.jpg", then the target, which
// with a serial claims its name and moves on to the next number when another program took
// it meanwhile. Both work files are deleted before they are written, and every step's result
// is checked, so an earlier image is never passed on under this image's name. A target that
// would land in the watch folder itself is refused ("transfer target in watch folder! "),
// as the next scan would take it again as a new capture. Returns the
// path the image really got, or nullopt when it was not transferred (the reason is in
// `errors` or went to `messages`).
std::optional<std::filesystem::path> TransferOneImage(const std::filesystem::path& source,
                                                      const Settings& settings,
                                                      std::string_view capture_id,
                                                      const ProgramDir& program_dir,
                                                      TransferPipeline& pipeline,
                                                      LastErrorText& errors, MessageSink& messages);

// Removes what killed runs left in the folders the program writes (RemoveStaleTemporaries):
// the program folder, "bkup", the transfer folder and the folders directly in it (where the
// default template puts each year). At start-up, before anything is written.
void RemoveStaleTemporariesAtStartUp(const Settings& settings, const ProgramDir& program_dir);

struct FolderMonitorTiming {
  std::chrono::milliseconds idle_pause{500};         // after a scan without a new image
  std::chrono::milliseconds after_image_pause{250};  // after each image
  CompletenessLimits completeness;
  // Takes each pause between cycles; tests replace it to step the thread cycle by cycle.
  std::function<bool(std::stop_token, std::chrono::milliseconds)> pause = SleepUnlessStopped;
};

// The image the folder thread is working on, so a shutdown that waits for it can name it.
class ImageInHand {
 public:
  void Set(std::filesystem::path image);
  void Clear();
  std::optional<std::filesystem::path> Get() const;

 private:
  mutable std::mutex mutex_;
  std::optional<std::filesystem::path> image_;
};

// What the folder thread reads and writes; everything it shares is passed in here.
struct FolderMonitorContext {
  std::function<Settings()> settings;       // a consistent snapshot, taken per scan
  std::function<std::string()> capture_id;  // read per image: the ID may change meanwhile
  ProgramDir program_dir;
  std::atomic<std::int32_t>& image_count;
  LastErrorText& errors;
  MessageSink& messages;
  TransferPipeline& pipeline;
  // Called after each transferred image with the image count and the target path.
  std::function<void(int count, const std::filesystem::path& target)> on_transferred;
  FolderMonitorTiming timing;
  ImageInHand* in_hand = nullptr;  // when given, holds each image while it is worked on
};

// The folder thread's body. Images present when it starts are left alone; whenever the
// number of image files grows beyond the largest number seen, the newest is transferred.
// Returns when `stop` is requested, after the current pause or image.
void RunFolderMonitor(std::stop_token stop, FolderMonitorContext& ctx);

}  // namespace velmarin
