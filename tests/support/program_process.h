#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/program_dir.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

namespace velmarin::test {

// Starts `binary` with `args` in the background, its standard output and error into the files
// `out` and `err`; `extra_env` as for RunProgram. The child's id.
pid_t SpawnProcess(const std::string& binary, const std::vector<std::string>& args,
                   const std::vector<std::string>& extra_env, const std::filesystem::path& out,
                   const std::filesystem::path& err);

// The velmarin binary under test (CTest passes it in VELMARIN_BINARY); empty when unknown.
std::string ProgramBinary();

struct ProgramResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs the program to its end with `args`, capturing both streams. Each `extra_env` entry
// "NAME=value" sets a variable; a bare "NAME" removes it.
ProgramResult RunProgram(const std::vector<std::string>& args,
                         const std::vector<std::string>& extra_env = {});
// Runs another program, or a copy of this one, the same way (found in PATH when `binary`
// has no "/").
ProgramResult RunExecutable(const std::string& binary, const std::vector<std::string>& args,
                            const std::vector<std::string>& extra_env = {});

// The lines ended by '\n' in `text`.
int CountLines(const std::string& text);

// Polls (bounded by `limit`) until `done` holds; false at the limit.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);

// Writes "velmarin.ini" into the program folder `dir`: the defaults changed by `change`, as a
// user's file would be.
void WriteSettingsFile(const ProgramDir& dir, const std::function<void(Settings&)>& change);

// A test of the program binary with a fresh folder `dir`; skipped when the binary is unknown.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
  }
  TempDir dir;
};

// A program other than velmarin (a client or monitor of the bus), by path or by its name
// in PATH.
struct Executable {
  std::string path;
  std::string name() const { return std::filesystem::path(path).filename().string(); }
};

// The program running in the background, its streams collected into files.
class BackgroundProgram {
 public:
  BackgroundProgram(const std::vector<std::string>& args, const std::filesystem::path& log_dir,
                    const std::vector<std::string>& extra_env = {});
  // Another program in the background, likewise.
  BackgroundProgram(const Executable& binary, const std::vector<std::string>& args,
                    const std::filesystem::path& log_dir,
                    const std::vector<std::string>& extra_env = {});
  ~BackgroundProgram();
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  std::string out() const;
  std::string err() const;
  // Polls (bounded by `limit`) until `text` appears on its standard error; the failure at
  // the limit shows what it printed.
  ::testing::AssertionResult WaitForErr(std::string_view text,
                                        std::chrono::milliseconds limit) const;
  // Waits (bounded by `limit`) for the program to end by itself; its exit code (-1 when
  // killed by a signal), or nullopt while it still runs.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit);
  // Sends `signal` without waiting.
  void Signal(int signal);
  // Sends `signal` and waits for the exit; returns the exit code (-1 when killed by a signal).
  int Stop(int signal);

 private:
  pid_t pid_ = -1;
  std::filesystem::path out_path_;
  std::filesystem::path err_path_;
};

}  // namespace velmarin::test
