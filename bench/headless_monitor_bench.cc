// Measures the folder monitor as a whole process: `velmarin --headless` in a fresh program
// folder, fed with 1920x1080 stills.
//   latency: from a still's arrival (its rename into the watch folder) to the line the program
//            prints after its target's rename, median and p95 over 30 JPEGs and 30 BMPs;
//   idle:    CPU time used over 60 s of monitoring with nothing arriving (with --files N, the
//            watch folder also holds N old images from before the start);
//   rate:    images arriving back to back 600 ms apart, all taken over or not.
// Usage: headless_monitor_bench PATH/TO/velmarin [--quick] [--files N]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/pictures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The program under test, its stdout read line by line.
class Monitor {
 public:
  Monitor(const std::string& binary, const fs::path& dir) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) std::exit(1);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipe_fds[1], 1);
      const int null_fd = open("/dev/null", O_WRONLY);
      dup2(null_fd, 2);
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
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
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

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
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
    const auto done = monitor.NextTransfer(10s);
    if (!done) {
      std::printf("%s %d was not taken over\n", kind, n);
      return false;
    }
    latencies.push_back(std::chrono::duration<double, std::milli>(*done - written).count());
    // Spread the arrivals, so a polling monitor is not measured at one phase of its period.
    std::this_thread::sleep_for(std::chrono::milliseconds(300 + (n * 37) % 500));
  }
  std::printf("%s latency over %d stills: median %.0f ms, p95 %.0f ms, max %.0f ms\n", kind, images,
              Percentile(latencies, 0.5), Percentile(latencies, 0.95), Percentile(latencies, 1.0));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PATH/TO/velmarin [--quick] [--files N]\n", argv[0]);
    return 2;
  }
  bool quick = false;
  int old_files = 0;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) quick = true;
    if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) old_files = std::atoi(argv[++i]);
  }
  const int images = quick ? 10 : 30;
  const auto idle_time = quick ? 10s : 60s;
  const velmarin::test::TempDir watch;
  const fs::path& dir = watch.path();
  const std::string jpeg = velmarin::test::JpegBytes(1920, 1080, 1);
  const std::string bmp = velmarin::test::BmpBytes(1920, 1080, 2);
  for (int n = 0; n < old_files; ++n) {
    std::ofstream(dir / ("old" + std::to_string(n) + ".jpg"), std::ios::binary) << "old";
  }
  if (old_files > 0) std::printf("watch folder: %d old images\n", old_files);
  {
    Monitor monitor(argv[1], dir);
    std::this_thread::sleep_for(1500ms);

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

    const int burst = quick ? 10 : 30;
    std::thread feeder([&] {
      for (int n = 0; n < burst; ++n) {
        PlaceImage(dir, "burst" + std::to_string(n) + ".jpg", jpeg);
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
  }
  return 0;
}
