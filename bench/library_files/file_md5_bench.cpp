// The file digest against md5sum on the same file, held in the page cache.
//
// BM_FileMd5FreshProcess is what a user waits for: one digest per fresh
// process, hostkit_md5 FILE against md5sum FILE, both timed from fork to
// exit (loading the libraries and preparing the digest included), the two
// programs run in turn, their order swapped at every iteration. Its
// counters are medians over the iterations:
//   ms / md5sum_ms        wall time of one run
//   ratio_to_md5sum       median of md5sum time / hostkit_md5 time, pair by
//                         pair (goal: >= 0.95 at every size)
//   maxrss_KiB / md5sum_maxrss_KiB   peak resident set of the child (it
//                         must not grow with the file)
//
// BM_StartUp shows where a fresh process's time goes on a 1 MiB file:
// programs that only start (true, libc alone; an empty C++ program; the
// same linked to libcrypto) beside md5sum of a 3-byte file, md5sum of the
// 1 MiB file and hostkit_md5 of it, all run in turn (the order turned by
// one every iteration). Counters: each program's median wall time, ms.
//
// BM_FileMd5VsMd5sum is the warm figure: of_file_md5 inside this process
// (the digest provider already loaded) against a fresh md5sum.
//   MiB/s            throughput of the measured digest
//   ratio_to_md5sum  of_file_md5 throughput / md5sum throughput
//   peak_rss_growth  growth of the peak resident set during the digest, KiB
//                    (it must not grow with the file)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <map>
#include <string>
#include <vector>

#include "hostkit/nvo_mdll.h"

namespace {

constexpr std::size_t kFileSize = std::size_t{512} << 20;

// A test file of random bytes, made once per size and removed at exit.
class BenchFile {
 public:
  static const std::string& path(std::size_t size = kFileSize) {
    static std::map<std::size_t, BenchFile> files;
    auto it = files.find(size);
    if (it == files.end()) it = files.try_emplace(size, size).first;
    return it->second.path_;
  }
  explicit BenchFile(std::size_t size) { make(size); }
  BenchFile(const BenchFile&) = delete;
  BenchFile& operator=(const BenchFile&) = delete;
  ~BenchFile() { ::unlink(path_.c_str()); }

 private:
  void make(std::size_t size) {
    char tmpl[] = "/tmp/hk_md5_bench_XXXXXX";
    int fd = ::mkstemp(tmpl);
    path_ = tmpl;
    std::string block(std::size_t{1} << 20, '\0');
    std::mt19937_64 gen(42);
    for (std::size_t done = 0; done < size; done += block.size()) {
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

struct ChildRun {
  double seconds = -1;  // wall time from fork to exit; -1 when it failed
  long maxrss_kib = 0;  // the child's peak resident set
};

// Runs `program` on the file in a fresh process, its output thrown away.
ChildRun run_child(const char* program, const std::string& path) {
  ChildRun run;
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::execlp(program, program, path.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return run;
  run.seconds = seconds_since(t0);
  run.maxrss_kib = usage.ru_maxrss;
  return run;
}

// Runs md5sum on the file; its wall time in seconds, or -1.
double time_md5sum(const std::string& path) { return run_child("md5sum", path).seconds; }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

// One digest per fresh process, hostkit_md5 against md5sum, interleaved.
void BM_FileMd5FreshProcess(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
  const std::string& path = BenchFile::path(size);
  std::vector<double> ours, theirs, ratios;
  long rss = 0, md5sum_rss = 0;
  bool swap = false;
  for (auto _ : state) {
    ChildRun a, b;
    if (swap) {
      b = run_child("md5sum", path);
      a = run_child(HOSTKIT_MD5_PROGRAM, path);
    } else {
      a = run_child(HOSTKIT_MD5_PROGRAM, path);
      b = run_child("md5sum", path);
    }
    swap = !swap;
    if (a.seconds < 0 || b.seconds < 0) {
      state.SkipWithError("hostkit_md5 or md5sum did not run");
      return;
    }
    state.SetIterationTime(a.seconds);
    ours.push_back(a.seconds);
    theirs.push_back(b.seconds);
    ratios.push_back(b.seconds / a.seconds);
    rss = std::max(rss, a.maxrss_kib);
    md5sum_rss = std::max(md5sum_rss, b.maxrss_kib);
  }
  state.counters["ms"] = median(ours) * 1e3;
  state.counters["md5sum_ms"] = median(theirs) * 1e3;
  state.counters["ratio_to_md5sum"] = median(ratios);
  state.counters["maxrss_KiB"] = static_cast<double>(rss);
  state.counters["md5sum_maxrss_KiB"] = static_cast<double>(md5sum_rss);
  state.SetBytesProcessed(static_cast<std::int64_t>(size) * state.iterations());
}
BENCHMARK(BM_FileMd5FreshProcess)->Arg(1)->Iterations(41)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileMd5FreshProcess)->Arg(64)->Iterations(21)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileMd5FreshProcess)->Arg(512)->Iterations(11)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_StartUp(benchmark::State& state) {
  char tmpl[] = "/tmp/hk_md5_bench_tiny_XXXXXX";
  const int fd = ::mkstemp(tmpl);
  if (fd < 0 || ::write(fd, "abc", 3) != 3) std::abort();
  ::close(fd);
  const std::string tiny = tmpl;
  const std::string& mib = BenchFile::path(std::size_t{1} << 20);
  struct Case {
    const char* counter;
    const char* program;
    const std::string* file;
    std::vector<double> times;
  };
  Case cases[] = {{"true_ms", "true", &tiny, {}},
                  {"empty_cxx_ms", STARTUP_CXX_PROGRAM, &tiny, {}},
                  {"empty_cxx_crypto_ms", STARTUP_CXX_CRYPTO_PROGRAM, &tiny, {}},
                  {"md5sum_3_bytes_ms", "md5sum", &tiny, {}},
                  {"md5sum_1MiB_ms", "md5sum", &mib, {}},
                  {"hostkit_md5_1MiB_ms", HOSTKIT_MD5_PROGRAM, &mib, {}}};
  const std::size_t n = std::size(cases);
  std::size_t turn = 0;
  for (auto _ : state) {
    double total = 0;
    for (std::size_t i = 0; i < n; ++i) {
      Case& c = cases[(turn + i) % n];
      const ChildRun run = run_child(c.program, *c.file);
      if (run.seconds < 0) {
        state.SkipWithError((std::string(c.program) + " did not run").c_str());
        ::unlink(tiny.c_str());
        return;
      }
      c.times.push_back(run.seconds);
      total += run.seconds;
    }
    turn = (turn + 1) % n;
    state.SetIterationTime(total);
  }
  for (Case& c : cases) state.counters[c.counter] = median(c.times) * 1e3;
  ::unlink(tiny.c_str());
}
BENCHMARK(BM_StartUp)->Iterations(101)->UseManualTime()->Unit(benchmark::kMillisecond);

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
