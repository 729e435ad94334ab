#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "base/last_error_text.h"
#include "base/message_sink.h"
#include "image/capture_processing.h"
#include "image/dib.h"
#include "image/image_result.h"
#include "image/still_format.h"
#include "naming/local_time.h"
#include "naming/transfer_path.h"
#include "settings/program_dir.h"
#include "settings/settings.h"

namespace velmarin {

// The steps that turn one captured image into its transferred file, one method each so the
// folder thread can be exercised without decoding pictures. Each step says what it ran into;
// TransferOneImage reports it (ReportImageResult).
class TransferPipeline {
 public:
  virtual ~TransferPipeline() = default;

  // The target of the image as the serial search finds it in `folder`, folders created;
  // nullopt with `error` (UTF-8, it may quote a path) when none can be had.
  virtual std::optional<TransferTarget> BuildTarget(const Settings& settings,
                                                    const Cp932Text& capture_id,
                                                    const LocalTime& now,
                                                    const OpenTransferFolder& folder,
                                                    std::string* error) = 0;
  // The still, of the format its name gives, decoded into memory (24 bits a pixel);
  // nullopt with the reason in the result when it cannot be read. A JPEG's done result
  // carries the library's warnings.
  virtual std::optional<Dib> Read(const std::filesystem::path& still, StillFormat format,
                                  ImageResult& result) = 0;
  // The picture to the target: range fill, stamps, JPEG at the configured quality. The
  // finished file takes its name through `target`, so `target.name()` is then its real name.
  // Notes of its own about a done image go to `errors`.
  virtual ImageResult Process(CapturedPicture& picture, FileNaming& target,
                              const Settings& settings, const Cp932Text& capture_id,
                              const LocalTime& now, LastErrorText& errors) = 0;
};

// What became of one image.
struct TransferOutcome {
  std::optional<std::filesystem::path> target;  // the name the image got
  // Not transferred for a reason on the writing side (a folder missing or moved, no space,
  // an I/O error, no permission): trying again later may succeed. False when the still
  // itself cannot be read, or the settings can never give it a target.
  bool retry = false;
  // The still itself did not read whole (it does not decode or convert): its writer may not
  // be done with it.
  bool unreadable = false;
  // The still changed while it was read: nothing was sent, and it is read again.
  bool read_again = false;
};

// One image's way from the watch folder to the transfer folder, named and stamped with
// `capture_id` and `now`: target first (its serial number is searched now, the target and its
// folders made in `folder`), then the still is decoded once (a BMP or PNG too), its width cut
// down to a multiple of four, edited and encoded once into the target, which with a serial
// claims its name and moves on to the next number when another program took it meanwhile;
// `before_claim` is called before the finished image claims its name
// (TransferTarget::SetBeforeClaim). The picture stays in memory on the way, so no earlier
// image can ever be passed on under this image's name. A target that would land in the watch
// folder itself is refused ("transfer target in watch folder! "), as the next scan would take
// it again as a new capture. Returns the path the image really got, or why it was not (the
// reason is in `errors` or went to `messages`).
TransferOutcome TransferOneImage(const std::filesystem::path& source, const Settings& settings,
                                 const Cp932Text& capture_id, const LocalTime& now,
                                 const ProgramDir& program_dir, const OpenTransferFolder& folder,
                                 TransferPipeline& pipeline, LastErrorText& errors,
                                 MessageSink& messages,
                                 const TransferTarget::BeforeClaim& before_claim = {});

}  // namespace velmarin
