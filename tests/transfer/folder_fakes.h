#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/message_sink.h"
#include "support/pictures.h"
#include "support/recorded_messages.h"
#include "transfer/folder_monitor.h"

namespace velmarin::test {

// Pipeline that copies the still instead of converting it (its picture is a 4x1 stand-in),
// records every step and can be told to fail a step. Its targets ("imageN.jpg" in its transfer
// folder) are written as real ones are, through the open transfer folder it is given. Switches
// are set while the folder thread is held at a pause.
class FakePipeline : public TransferPipeline {
 public:
  struct Call {
    std::string step;  // "build", "read", "process"
    std::filesystem::path from;
    std::filesystem::path to;
    std::string capture_id;
  };

  explicit FakePipeline(std::filesystem::path transfer_folder)
      : transfer_folder_(std::move(transfer_folder)) {}

  std::optional<TransferTarget> BuildTarget(const Settings& settings, const Cp932Text& capture_id,
                                            const LocalTime& now, const OpenTransferFolder& folder,
                                            std::string* error) override;
  std::optional<Dib> Read(const std::filesystem::path& still, StillFormat format,
                          ImageResult& result) override;
  ImageResult Process(CapturedPicture& picture, FileNaming& target, const Settings& settings,
                      const Cp932Text& capture_id, const LocalTime& now,
                      LastErrorText& errors) override;

  std::vector<Call> calls() const;
  std::vector<Call> calls_of(const std::string& step) const;

  std::optional<std::string> build_error;   // BuildTarget fails with it
  std::optional<ImageStatus> read_failure;  // Read fails with it
  // The next so many Read calls find the still unreadable.
  std::atomic<int> unreadable = 0;
  // While set, Process fails as on a full disk (kTargetNotCreated).
  std::atomic<bool> disk_full = false;
  // Called by Process before it writes the target (a share that drops meanwhile).
  std::function<void()> before_write;
  int throw_out_of_memory = 0;  // the next so many Read calls throw std::bad_alloc

 private:
  void Record(Call call);

  const std::filesystem::path transfer_folder_;
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  int targets_built_ = 0;
};

// The pixel block of a decoded JPEG file; empty when it does not decode.
std::vector<std::uint8_t> DecodedPixels(const std::filesystem::path& jpeg);

// Writes a file whose creation time is later than that of every file written before by this
// function, even on file systems with a coarse clock.
void WriteNewFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace velmarin::test
