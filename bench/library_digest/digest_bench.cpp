// The text digest (nvo_mps::of_es) next to OpenSSL's MD5 of the same bytes.
//
// BM_TextDigestVsOpenssl/<characters> times the two in turn, iteration by
// iteration (their order swapped each time), over random ASCII text of
// 1 KiB, 32 KiB, 128 KiB and 1 MiB; BM_ChineseTextDigestVsOpenssl does the
// same over Chinese text (GBK, two bytes per character). Counters, medians
// over the iterations:
//   ms           one of_es call
//   openssl_us   one OpenSSL MD5 of the same bytes
//   x_openssl    of_es time / OpenSSL time, pair by pair
//   ns_per_char  of_es time per character of the text
//   cpu_ms, x_openssl_cpu  the same in CPU time of the thread: on a loaded
//                machine a long call is preempted more often than a short
//                one, and wall time grows with the load, CPU time hardly
//
// BM_TextDigest is the older warm figure: of_es over 131,071 ASCII
// characters, with OpenSSL timed after it ("x_openssl").
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "hostkit/nvo_mps.h"

namespace {

std::string random_ascii(std::size_t length) {
  std::mt19937 gen(static_cast<std::uint32_t>(length));
  std::uniform_int_distribution<int> byte(32, 126);
  std::string s(length, ' ');
  for (char& c : s) c = static_cast<char>(byte(gen));
  return s;
}

// `length` GB2312 hanzi, two bytes each.
std::string random_chinese(std::size_t length) {
  std::mt19937 gen(static_cast<std::uint32_t>(length));
  std::uniform_int_distribution<int> lead(0xB0, 0xD6), trail(0xA1, 0xFE);
  std::string s;
  s.reserve(2 * length);
  for (std::size_t i = 0; i < length; ++i) {
    s += static_cast<char>(lead(gen));
    s += static_cast<char>(trail(gen));
  }
  return s;
}

const std::string& text() {
  static const std::string t = random_ascii(131071);
  return t;
}

void openssl_md5(const std::string& s, unsigned char* digest) {
  unsigned int size = 0;
  EVP_Digest(s.data(), s.size(), digest, &size, EVP_md5(), nullptr);
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// CPU time of the calling thread, in seconds.
double thread_cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

// of_es and OpenSSL in turn over the same text of `characters` characters.
void digest_vs_openssl(benchmark::State& state, const std::string& bytes, std::size_t characters) {
  auto mps = rt::create<hostkit::nvo_mps>();
  const rt::String message = bytes;
  unsigned char md[EVP_MAX_MD_SIZE];
  // OpenSSL runs several times in its turn on a short text, so that its
  // time stands well above the clock's resolution.
  const int reps = static_cast<int>(std::max<std::size_t>(1, (std::size_t{256} << 10) / bytes.size()));
  std::vector<double> ours, theirs, ratios, ours_cpu, cpu_ratios;
  bool swap = false;
  for (auto _ : state) {
    double t_ours = 0, t_ssl = 0, c_ours = 0, c_ssl = 0;
    auto time_ours = [&] {
      const double c0 = thread_cpu_seconds();
      const auto t0 = std::chrono::steady_clock::now();
      rt::String digest = mps->of_es(message);
      t_ours = seconds_since(t0);
      c_ours = thread_cpu_seconds() - c0;
      benchmark::DoNotOptimize(digest);
    };
    auto time_ssl = [&] {
      const double c0 = thread_cpu_seconds();
      const auto t0 = std::chrono::steady_clock::now();
      for (int i = 0; i < reps; ++i) {
        openssl_md5(bytes, md);
        benchmark::DoNotOptimize(md);
      }
      t_ssl = seconds_since(t0) / reps;
      c_ssl = (thread_cpu_seconds() - c0) / reps;
    };
    if (swap) {
      time_ssl();
      time_ours();
    } else {
      time_ours();
      time_ssl();
    }
    swap = !swap;
    state.SetIterationTime(t_ours);
    ours.push_back(t_ours);
    theirs.push_back(t_ssl);
    ratios.push_back(t_ours / t_ssl);
    ours_cpu.push_back(c_ours);
    cpu_ratios.push_back(c_ours / c_ssl);
  }
  state.counters["cpu_ms"] = median(ours_cpu) * 1e3;
  state.counters["x_openssl_cpu"] = median(cpu_ratios);
  state.counters["ms"] = median(ours) * 1e3;
  state.counters["openssl_us"] = median(theirs) * 1e6;
  state.counters["x_openssl"] = median(ratios);
  state.counters["ns_per_char"] = median(ours) * 1e9 / static_cast<double>(characters);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// digest_vs_openssl on the text of state.range(0) characters that `make`
// gives, made once for each length.
template <std::string (*make)(std::size_t)>
void digest_vs_openssl_of(benchmark::State& state) {
  static std::map<std::size_t, std::string> texts;
  const auto length = static_cast<std::size_t>(state.range(0));
  auto it = texts.find(length);
  if (it == texts.end()) it = texts.emplace(length, make(length)).first;
  digest_vs_openssl(state, it->second, length);
}

void BM_TextDigestVsOpenssl(benchmark::State& state) { digest_vs_openssl_of<random_ascii>(state); }
BENCHMARK(BM_TextDigestVsOpenssl)
    ->Arg(1 << 10)
    ->Arg(32 << 10)
    ->Arg(128 << 10)
    ->Arg(1 << 20)
    ->UseManualTime()
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond);

void BM_ChineseTextDigestVsOpenssl(benchmark::State& state) { digest_vs_openssl_of<random_chinese>(state); }
BENCHMARK(BM_ChineseTextDigestVsOpenssl)
    ->Arg(16 << 10)
    ->Arg(64 << 10)
    ->UseManualTime()
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond);

// Chinese text against ASCII text of as many characters, timed in turn
// (the order swapped each iteration), so that a change of the machine's
// speed falls on both. Counters: `x_ascii` Chinese time / ASCII time, the
// median of the pairs (the goal is at most 1); `ascii_ns_per_char`,
// `chinese_ns_per_char` the medians of each.
void BM_ChineseAgainstAscii(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  const rt::String texts[2] = {random_ascii(length), random_chinese(length)};
  auto mps = rt::create<hostkit::nvo_mps>();
  mps->of_es(texts[1]);  // the characters' rows are converted on first sight
  std::vector<double> times[2], ratios;
  bool swap = false;
  for (auto _ : state) {
    double t[2] = {0, 0};
    for (int k : {swap ? 1 : 0, swap ? 0 : 1}) {
      const auto t0 = std::chrono::steady_clock::now();
      rt::String digest = mps->of_es(texts[k]);
      t[k] = seconds_since(t0);
      benchmark::DoNotOptimize(digest);
    }
    swap = !swap;
    state.SetIterationTime(t[0] + t[1]);
    times[0].push_back(t[0]);
    times[1].push_back(t[1]);
    ratios.push_back(t[1] / t[0]);
  }
  state.counters["x_ascii"] = median(ratios);
  state.counters["ascii_ns_per_char"] = median(times[0]) * 1e9 / static_cast<double>(length);
  state.counters["chinese_ns_per_char"] = median(times[1]) * 1e9 / static_cast<double>(length);
}
BENCHMARK(BM_ChineseAgainstAscii)->Arg(64 << 10)->UseManualTime()->MinTime(4.0)->Unit(benchmark::kMillisecond);

// Seconds per OpenSSL MD5 of the text, averaged over many runs.
double openssl_seconds() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  constexpr int kRuns = 200;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRuns; ++i) {
    openssl_md5(text(), digest);
    benchmark::DoNotOptimize(digest);
  }
  return seconds_since(start) / kRuns;
}

void BM_TextDigest(benchmark::State& state) {
  auto mps = rt::create<hostkit::nvo_mps>();
  const rt::String message = text();
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    rt::String digest = mps->of_es(message);
    total += seconds_since(start);
    benchmark::DoNotOptimize(digest);
  }
  const double per_call = total / static_cast<double>(state.iterations());
  state.counters["x_openssl"] = per_call / openssl_seconds();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text().size()));
}
BENCHMARK(BM_TextDigest)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_OpensslMd5(benchmark::State& state) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  for (auto _ : state) {
    openssl_md5(text(), digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text().size()));
}
BENCHMARK(BM_OpensslMd5)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
