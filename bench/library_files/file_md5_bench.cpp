// The file digest against md5sum on the same 512 MiB file, held in the page
// cache, in the same run.
//
// Counters:
//   MiB/s            throughput of the measured digest
//   ratio_to_md5sum  of_file_md5 throughput / md5sum throughput (goal: >= 0.9)
//   peak_rss_growth  growth of the peak resident set during the digest, KiB
//                    (it must not grow with the file)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "hostkit/nvo_mdll.h"

namespace {

constexpr std::size_t kFileSize = std::size_t{512} << 20;

// The test file, made once and removed at exit.
class BenchFile {
 public:
  static const std::string& path() {
    static BenchFile f;
    return f.path_;
  }
  ~BenchFile() { ::unlink(path_.c_str()); }

 private:
  BenchFile() {
    char tmpl[] = "/tmp/hk_md5_bench_XXXXXX";
    int fd = ::mkstemp(tmpl);
    path_ = tmpl;
    std::string block(std::size_t{1} << 20, '\0');
    std::mt19937_64 gen(42);
    for (std::size_t done = 0; done < kFileSize; done += block.size()) {
      for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
        std::uint64_t v = gen();
        std::memcpy(&block[i], &v, 8);
      }
      if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) std::abort();
    }
    ::close(fd);
    // Read it once so that it is in the page cache.
    std::ifstream in(path_, std::ios::binary);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
  }
  std::string path_;
};

// Peak resident set of the process in KiB (VmHWM).
long peak_rss_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Resets the peak to the current resident set (Linux 4.0 and later).
void reset_peak_rss() { std::ofstream("/proc/self/clear_refs") << "5"; }

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs md5sum on the file; its wall time in seconds, or -1.
double time_md5sum(const std::string& path) {
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::execlp("md5sum", "md5sum", path.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return seconds_since(t0);
}

void BM_FileMd5VsMd5sum(benchmark::State& state) {
  const std::string& path = BenchFile::path();
  hostkit::nvo_mdll md;
  md.of_file_md5(std::string("/proc/self/exe"));  // first use loads the digest provider
  double ours = 0, theirs = 0;
  long rss_growth = 0;
  for (auto _ : state) {
    double t_md5sum = time_md5sum(path);
    if (t_md5sum < 0) {
      state.SkipWithError("md5sum did not run");
      return;
    }
    reset_peak_rss();
    long before = peak_rss_kib();
    auto t0 = std::chrono::steady_clock::now();
    rt::String digest = md.of_file_md5(path);
    double t_ours = seconds_since(t0);
    rss_growth = std::max(rss_growth, peak_rss_kib() - before);
    if (digest.is_null() || digest->size() < 16) {
      state.SkipWithError("no digest");
      return;
    }
    benchmark::DoNotOptimize(digest);
    state.SetIterationTime(t_ours);
    ours += t_ours;
    theirs += t_md5sum;
  }
  const double mib = static_cast<double>(kFileSize) / (1 << 20) * static_cast<double>(state.iterations());
  state.counters["MiB/s"] = mib / ours;
  state.counters["md5sum_MiB/s"] = mib / theirs;
  state.counters["ratio_to_md5sum"] = theirs / ours;
  state.counters["peak_rss_growth_KiB"] = static_cast<double>(rss_growth);
  state.SetBytesProcessed(static_cast<std::int64_t>(kFileSize) * state.iterations());
}
BENCHMARK(BM_FileMd5VsMd5sum)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// The same digest over a file 16 times smaller: the peak resident growth
// must be the same as for the large file.
void BM_FileMd5Small(benchmark::State& state) {
  char tmpl[] = "/tmp/hk_md5_bench_small_XXXXXX";
  int fd = ::mkstemp(tmpl);
  std::string block(kFileSize / 16, 'x');
  if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) std::abort();
  ::close(fd);
  block.clear();
  block.shrink_to_fit();
  hostkit::nvo_mdll md;
  long rss_growth = 0;
  for (auto _ : state) {
    reset_peak_rss();
    long before = peak_rss_kib();
    benchmark::DoNotOptimize(md.of_file_md5(std::string(tmpl)));
    rss_growth = std::max(rss_growth, peak_rss_kib() - before);
  }
  ::unlink(tmpl);
  state.counters["peak_rss_growth_KiB"] = static_cast<double>(rss_growth);
  state.SetBytesProcessed(static_cast<std::int64_t>(kFileSize / 16) * state.iterations());
}
BENCHMARK(BM_FileMd5Small)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
