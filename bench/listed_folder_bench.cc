// Measures a watch folder that sends no file events and is listed instead (a FUSE folder, as
// NFS and SMB folders are): `velmarin --headless` watching a bindfs mount that holds N old
// stills from before the start.
//   idle:    CPU time of the program (and of the bindfs process that answers its listings)
//            over S seconds with nothing arriving;
//   latency: from a still's arrival (its rename into the folder) to the moment the program
//            has seen it (its journal names it: "velmarin.journal" is renamed into place)
//            and to the line it prints after its transfer, for K stills 1.5 s apart.
// Needs root (or a user allowed to mount FUSE) and bindfs; says why and ends with 77 otherwise.
// Usage: listed_folder_bench PATH/TO/velmarin [--files N] [--idle S] [--stills K]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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

#include "settings/settings.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr long kFuseMagic = 0x65735546;

// User and system CPU seconds of a process so far.
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::size_t start = text.rfind(')') + 2;
  std::vector<std::string> fields;
  while (start < text.size()) {
    const std::size_t end = text.find(' ', start);
    fields.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (fields.size() < 13) return 0;
  return (std::stod(fields[11]) + std::stod(fields[12])) /
         static_cast<double>(sysconf(_SC_CLK_TCK));
}

pid_t Spawn(const std::vector<std::string>& args, int out_fd, int err_fd) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (out_fd >= 0) dup2(out_fd, 1);
    if (err_fd >= 0) dup2(err_fd, 2);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

bool IsFuse(const fs::path& folder) {
  struct statfs info {};
  return statfs(folder.c_str(), &info) == 0 && static_cast<long>(info.f_type) == kFuseMagic;
}

// Lines of a pipe, read as they come.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  // Waits up to `limit` for a line containing `text`; false at the limit.
  bool WaitFor(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (true) {
      for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (line.find(text) != std::string::npos) return true;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd ready{fd_, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[4096];
      const ssize_t got = read(fd_, buffer, sizeof buffer);
      if (got <= 0) return false;
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
  }

 private:
  int fd_;
  std::string pending_;
};

void DrainEvents(int fd) {
  char buffer[4096];
  pollfd ready{fd, POLLIN, 0};
  while (poll(&ready, 1, 0) > 0 && read(fd, buffer, sizeof buffer) > 0) {
  }
}

// Waits up to `limit` for the journal to be renamed into place (the program has seen a still).
bool WaitForJournal(int fd, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  alignas(inotify_event) char buffer[4096];
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd ready{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
    const ssize_t got = read(fd, buffer, sizeof buffer);
    for (ssize_t pos = 0; pos < got;) {
      inotify_event event;
      std::memcpy(&event, buffer + pos, sizeof event);
      if (event.len > 0 && std::strcmp(buffer + pos + sizeof event, "velmarin.journal") == 0) {
        return true;
      }
      pos += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PATH/TO/velmarin [--files N] [--idle S] [--stills K]\n",
                 argv[0]);
    return 2;
  }
  int files = 10'000;
  int idle_seconds = 60;
  int stills = 10;
  for (int i = 2; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--files") == 0)
      files = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--idle") == 0)
      idle_seconds = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--stills") == 0)
      stills = std::atoi(argv[++i]);
  }
  const velmarin::test::TempDir root;
  const fs::path store = root / "store";
  const fs::path watch = root / "watch";
  const fs::path station = root / "station";
  for (const fs::path& folder : {store, watch, station}) fs::create_directories(folder);
  for (int n = 0; n < files; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "old%06d.jpg", n);
    std::ofstream(store / name, std::ios::binary) << "old";
  }

  const pid_t bindfs = Spawn({"bindfs", "-f", store.string(), watch.string()}, -1, -1);
  const auto mounted_by = Clock::now() + 10s;
  while (!IsFuse(watch) && Clock::now() < mounted_by) std::this_thread::sleep_for(20ms);
  if (!IsFuse(watch)) {
    std::printf("bindfs could not mount %s here; nothing measured\n", watch.c_str());
    kill(bindfs, SIGTERM);
    waitpid(bindfs, nullptr, 0);
    return 77;
  }
  std::ofstream(station / "velmarin.ini", std::ios::binary)
      << velmarin::SettingLabel(velmarin::SettingSlot::WatchFolder) << watch.string() << "\r\n";

  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return 1;
  const auto started = Clock::now();
  const pid_t program = Spawn({argv[1], "--headless", "--dir", station.string(), "--id", "1"},
                              out_pipe[1], err_pipe[1]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  LineReader out(out_pipe[0]);
  LineReader err(err_pipe[0]);
  int status = 0;
  if (!err.WaitFor("watching " + watch.string(), 600s)) {
    std::printf("the program did not start watching\n");
    status = 1;
  } else {
    std::printf("listed folder of %d files: watching after %.1f s\n", files,
                std::chrono::duration<double>(Clock::now() - started).count());
    // Its first listings are done; the idle state begins.
    std::this_thread::sleep_for(3s);
    const double program_before = CpuSeconds(program);
    const double bindfs_before = CpuSeconds(bindfs);
    const auto idle_start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(idle_seconds));
    const double seconds = std::chrono::duration<double>(Clock::now() - idle_start).count();
    const double program_cpu = CpuSeconds(program) - program_before;
    const double bindfs_cpu = CpuSeconds(bindfs) - bindfs_before;
    std::printf("idle over %.0f s: velmarin %.3f%% of one core, bindfs %.3f%%\n", seconds,
                100.0 * program_cpu / seconds, 100.0 * bindfs_cpu / seconds);

    const std::string jpeg = velmarin::test::JpegBytes(640, 480, 1);
    std::vector<double> latencies;
    std::vector<double> seen_after;
    const int journal_events = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(journal_events, station.c_str(), IN_MOVED_TO);
    for (int n = 0; n < stills && status == 0; ++n) {
      const std::string name = "new" + std::to_string(n) + ".jpg";
      std::ofstream(watch / (name + ".part"), std::ios::binary) << jpeg;
      DrainEvents(journal_events);
      const auto arrived = Clock::now();
      fs::rename(watch / (name + ".part"), watch / name);
      if (WaitForJournal(journal_events, 60s)) {
        seen_after.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - arrived).count());
      }
      if (!out.WaitFor("\t", 60s)) {  // "COUNT<TAB>TARGET"
        std::printf("%s was not taken over within 60 s\n", name.c_str());
        status = 1;
        break;
      }
      latencies.push_back(
          std::chrono::duration<double, std::milli>(Clock::now() - arrived).count());
      std::this_thread::sleep_for(1500ms);
    }
    if (!seen_after.empty()) {
      std::printf("seen over %zu stills: median %.0f ms, max %.0f ms\n", seen_after.size(),
                  Percentile(seen_after, 0.5), Percentile(seen_after, 1.0));
    }
    if (!latencies.empty()) {
      std::printf("sent over %zu stills: median %.0f ms, max %.0f ms\n", latencies.size(),
                  Percentile(latencies, 0.5), Percentile(latencies, 1.0));
    }
    close(journal_events);
  }
  kill(program, SIGTERM);
  waitpid(program, nullptr, 0);
  kill(bindfs, SIGTERM);
  waitpid(bindfs, nullptr, 0);
  return status;
}
