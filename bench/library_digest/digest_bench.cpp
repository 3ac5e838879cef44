// The text digest of a 131,071-character ASCII text (the longest text whose
// word indexes fit 16 bits), and OpenSSL's MD5 of the same bytes. The digest
// benchmark also reports its time as a multiple of OpenSSL's ("x_openssl").
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <chrono>
#include <random>
#include <string>

#include "hostkit/nvo_mps.h"

namespace {

const std::string& text() {
  static const std::string t = [] {
    std::mt19937 gen(131071);
    std::uniform_int_distribution<int> byte(32, 126);
    std::string s(131071, ' ');
    for (char& c : s) c = static_cast<char>(byte(gen));
    return s;
  }();
  return t;
}

void openssl_md5(const std::string& s, unsigned char* digest) {
  unsigned int size = 0;
  EVP_Digest(s.data(), s.size(), digest, &size, EVP_md5(), nullptr);
}

// Seconds per OpenSSL MD5 of the text, averaged over many runs.
double openssl_seconds() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  constexpr int kRuns = 200;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRuns; ++i) {
    openssl_md5(text(), digest);
    benchmark::DoNotOptimize(digest);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kRuns;
}

void BM_TextDigest(benchmark::State& state) {
  auto mps = rt::create<hostkit::nvo_mps>();
  const rt::String message = text();
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    rt::String digest = mps->of_es(message);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
