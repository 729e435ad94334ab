// Measures the folder monitor as a whole process: `velmarin --headless` in a fresh program
// folder, fed with stills.
//   latency: from a still's arrival (its rename into the watch folder) to the line the program
//            prints after its target's rename, median and p95 over 30 JPEGs and 30 BMPs;
//   idle:    CPU time used over 60 s of monitoring with nothing arriving (with --files N, the
//            watch folder also holds N old images from before the start);
//   rate:    images arriving back to back 600 ms apart, all taken over or not.
// With --picture FILE it measures only what bench/speed_table.sh shows, with copies of FILE:
//   latency: over --stills N stills (10) arriving one at a time;
//   burst:   with --burst N, N stills renamed in at once: stills per second until the last line;
//   peak:    the station's peak memory (VmHWM) at the end.
// --transfer-files N fills the transfer folder with N images of the template "$i06_$r05"
// (ID 1) before the start, and that template names the stills, so the serial search of each
// still passes over them.
// Usage: headless_monitor_bench PATH/TO/velmarin [--quick] [--files N] [--transfer-files N]
//        headless_monitor_bench PATH/TO/velmarin --picture FILE [--stills N] [--burst N]
//                               [--transfer-files N]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "settings/program_dir.h"
#include "settings/settings_file.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kSerialTemplate = "$i06_$r05";

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The program under test, its stdout read line by line, its stderr kept in a file.
class Monitor {
 public:
  Monitor(const std::string& binary, const fs::path& dir) : err_path_(dir / "monitor.err") {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) std::exit(1);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipe_fds[1], 1);
      const int err_fd = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err_fd, 2);
      execl(binary.c_str(), binary.c_str(), "--headless", "--dir", dir.c_str(), "--id", "1",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipe_fds[1]);
    out_fd_ = pipe_fds[0];
  }
  ~Monitor() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    close(out_fd_);
  }
  // Waits up to `limit` for the "watching" line: the stills present are known from then on.
  bool WaitUntilWatching(std::chrono::milliseconds limit) const {
    const auto deadline = Clock::now() + limit;
    while (ReadWhole(err_path_).find("watching ") == std::string::npos) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }
  // Waits up to `limit` for the next transfer line; its arrival time, or nullopt.
  std::optional<Clock::time_point> NextTransfer(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (true) {
      if (const auto end = pending_.find('\n'); end != std::string::npos) {
        pending_.erase(0, end + 1);
        return Clock::now();
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd ready{out_fd_, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
      char buffer[4096];
      const ssize_t got = read(out_fd_, buffer, sizeof buffer);
      if (got <= 0) return std::nullopt;
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
  }
  double CpuSeconds() const {
    const std::string text = ReadWhole("/proc/" + std::to_string(pid_) + "/stat");
    // Fields 14 and 15 (utime, stime) follow the parenthesised command name.
    std::size_t pos = text.rfind(')');
    std::vector<std::string> fields;
    std::size_t start = pos + 2;
    while (start < text.size()) {
      std::size_t end = text.find(' ', start);
      fields.push_back(text.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (std::stod(fields[11]) + std::stod(fields[12])) / ticks;
  }
  // The largest resident memory the program had so far, in MiB.
  double PeakMiB() const {
    const std::string status = ReadWhole("/proc/" + std::to_string(pid_) + "/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::atof(status.c_str() + at + 6) / 1024;
  }
  std::string Errors() const { return ReadWhole(err_path_); }

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  fs::path err_path_;
  std::string pending_;
};

// Writes the picture under a name that is not a still, then renames it in: the moment of the
// rename is the moment the still has arrived whole.
void PlaceImage(const fs::path& dir, const std::string& name, const std::string& bytes) {
  const fs::path part = dir / (name + ".part");
  std::ofstream(part, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
  fs::rename(part, dir / name);
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const std::size_t index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return values[index];
}

// Latency of `images` stills of `bytes`, each from its arrival to its transfer line; false when
// one was not taken over.
bool MeasureLatency(Monitor& monitor, const fs::path& dir, const char* kind,
                    const std::string& extension, const std::string& bytes, int images) {
  std::vector<double> latencies;
  for (int n = 0; n < images; ++n) {
    const auto written = Clock::now();
    PlaceImage(dir, std::string(kind) + std::to_string(n) + extension, bytes);
    const auto done = monitor.NextTransfer(30s);
    if (!done) {
      std::printf("%s %d was not taken over\n", kind, n);
      return false;
    }
    latencies.push_back(std::chrono::duration<double, std::milli>(*done - written).count());
    // Spread the arrivals, so a polling monitor is not measured at one phase of its period.
    std::this_thread::sleep_for(std::chrono::milliseconds(300 + (n * 37) % 500));
  }
  std::printf("%s latency over %d stills: min %.0f ms, median %.0f ms, p95 %.0f ms, max %.0f ms\n",
              kind, images, Percentile(latencies, 0), Percentile(latencies, 0.5),
              Percentile(latencies, 0.95), Percentile(latencies, 1.0));
  return true;
}

// `count` stills renamed in one right after the other; the rate from the first arrival to the
// last transfer line.
bool MeasureBurst(Monitor& monitor, const fs::path& dir, const std::string& bytes, int count) {
  const auto start = Clock::now();
  for (int n = 0; n < count; ++n) PlaceImage(dir, "burst" + std::to_string(n) + ".jpg", bytes);
  std::optional<Clock::time_point> last;
  for (int n = 0; n < count; ++n) {
    last = monitor.NextTransfer(60s);
    if (!last) {
      std::printf("burst: still %d of %d was not taken over\n", n + 1, count);
      return false;
    }
  }
  const double seconds = std::chrono::duration<double>(*last - start).count();
  std::printf("burst: %d stills in %.2f s = %.2f stills/s\n", count, seconds, count / seconds);
  return true;
}

// The program folder `dir` names its stills with the serial template, and its transfer folder
// holds `count` images of it already.
bool FillTransferFolder(const fs::path& dir, int count) {
  std::string error;
  const auto program_dir = velmarin::MakeProgramDir(dir, &error);
  if (!program_dir) return false;
  velmarin::Settings settings = velmarin::DefaultSettings(program_dir->cp932);
  settings[velmarin::SettingSlot::NameFormat] = velmarin::Cp932Text(kSerialTemplate);
  velmarin::OwnMessage save_error;
  if (!velmarin::SaveSettings(*program_dir, settings, &save_error)) {
    std::fprintf(stderr, "%s\n", save_error.english.c_str());
    return false;
  }
  const fs::path transfer = dir / "hozon";
  fs::create_directories(transfer);
  for (int n = 1; n <= count; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "000001_%05d.jpg", n);
    std::ofstream(transfer / name) << "old";
  }
  // Filled a while before the station starts, as a station's folder is: not within the clock
  // step of its first search, which could then not be trusted for the next ones.
  const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 60, 0}};
  ::utimensat(AT_FDCWD, transfer.c_str(), times, 0);
  std::printf("transfer folder: %d images of %s\n", count, kSerialTemplate);
  return true;
}

struct Config {
  std::string binary;
  bool quick = false;
  int old_files = 0;
  int transfer_files = -1;  // -1: the default template, nothing in the transfer folder
  std::optional<fs::path> picture;
  int stills = 10;
  int burst = 0;
};

std::optional<Config> ParseArguments(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  Config config;
  config.binary = argv[1];
  for (int i = 2; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--quick") == 0) {
      config.quick = true;
    } else if (std::strcmp(argv[i], "--files") == 0 && has_value) {
      config.old_files = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--transfer-files") == 0 && has_value) {
      config.transfer_files = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--picture") == 0 && has_value) {
      config.picture = argv[++i];
    } else if (std::strcmp(argv[i], "--stills") == 0 && has_value) {
      config.stills = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--burst") == 0 && has_value) {
      config.burst = std::atoi(argv[++i]);
    } else {
      return std::nullopt;
    }
  }
  return config;
}

// The whole measurement of the monitor: latency of JPEGs and BMPs, idle CPU, a steady rate.
int MeasureEverything(Monitor& monitor, const fs::path& dir, const Config& config) {
  const int images = config.quick ? 10 : 30;
  const auto idle_time = config.quick ? 10s : 60s;
  const std::string jpeg = velmarin::test::JpegBytes(1920, 1080, 1);
  const std::string bmp = velmarin::test::BmpBytes(1920, 1080, 2);
  if (!MeasureLatency(monitor, dir, "jpeg", ".jpg", jpeg, images) ||
      !MeasureLatency(monitor, dir, "bmp", ".bmp", bmp, images)) {
    return 1;
  }

  const double cpu_before = monitor.CpuSeconds();
  const auto idle_start = Clock::now();
  std::this_thread::sleep_for(idle_time);
  const double idle_seconds = std::chrono::duration<double>(Clock::now() - idle_start).count();
  const double cpu = monitor.CpuSeconds() - cpu_before;
  std::printf("idle: %.2f s CPU over %.0f s = %.3f%% of one core\n", cpu, idle_seconds,
              100.0 * cpu / idle_seconds);

  const int burst = config.quick ? 10 : 30;
  std::thread feeder([&] {
    for (int n = 0; n < burst; ++n) {
      PlaceImage(dir, "steady" + std::to_string(n) + ".jpg", jpeg);
      std::this_thread::sleep_for(600ms);
    }
  });
  const auto burst_start = Clock::now();
  int taken = 0;
  // Every arrival is followed by its transfer within a few seconds, or it was missed.
  while (taken < burst && monitor.NextTransfer(5s)) ++taken;
  feeder.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - burst_start).count();
  std::printf("rate: %d of %d images 600 ms apart taken over (%.2f images/s)\n", taken, burst,
              taken / seconds);
  return 0;
}

// Copies of one picture: latency, a burst, the peak memory.
int MeasurePicture(Monitor& monitor, const fs::path& dir, const Config& config) {
  const std::string bytes = ReadWhole(*config.picture);
  if (bytes.empty()) {
    std::printf("cannot read %s\n", config.picture->c_str());
    return 1;
  }
  if (!MeasureLatency(monitor, dir, "jpeg", ".jpg", bytes, config.stills)) return 1;
  if (config.burst > 0 && !MeasureBurst(monitor, dir, bytes, config.burst)) return 1;
  std::printf("peak memory: %.1f MiB\n", monitor.PeakMiB());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto config = ParseArguments(argc, argv);
  if (!config) {
    std::fprintf(stderr,
                 "usage: %s PATH/TO/velmarin [--quick] [--files N] [--transfer-files N]\n"
                 "       %s PATH/TO/velmarin --picture FILE [--stills N] [--burst N] "
                 "[--transfer-files N]\n",
                 argv[0], argv[0]);
    return 2;
  }
  const velmarin::test::TempDir watch;
  const fs::path& dir = watch.path();
  if (config->transfer_files >= 0 && !FillTransferFolder(dir, config->transfer_files)) return 1;
  for (int n = 0; n < config->old_files; ++n) {
    std::ofstream(dir / ("old" + std::to_string(n) + ".jpg"), std::ios::binary) << "old";
  }
  if (config->old_files > 0) std::printf("watch folder: %d old images\n", config->old_files);
  Monitor monitor(config->binary, dir);
  if (!monitor.WaitUntilWatching(30s)) {
    std::printf("the monitor did not start: %s\n", monitor.Errors().c_str());
    return 1;
  }
  return config->picture ? MeasurePicture(monitor, dir, *config)
                         : MeasureEverything(monitor, dir, *config);
}
