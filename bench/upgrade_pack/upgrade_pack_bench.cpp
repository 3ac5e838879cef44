// Loading the script pack against a client that only counts the
// statements, for packs of records of about 2 KB each. The time should grow
// in step with the pack: a pack four times larger may take at most 4.5
// times as long.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "rt/text.h"
#include "support/loader_bench.h"
#include "rt/transaction.h"
#include "rt/ui.h"
#include "upgrade/pack_loader.h"
#include "upgrade/script_pack.h"

namespace fs = std::filesystem;

namespace {

using loader_bench::CountingSession;
using loader_bench::pack_text;

// Pack files by record count, written once into scratch folders that go
// when the program ends.
struct ScratchFolders {
  std::map<int, std::string> by_records;
  ~ScratchFolders() {
    std::error_code ec;
    for (const auto& [n, dir] : by_records) fs::remove_all(dir, ec);
  }
};

const std::string& pack_folder(int records) {
  static ScratchFolders scratch;
  auto& folders = scratch.by_records;
  auto it = folders.find(records);
  if (it != folders.end()) return it->second;
  fs::path dir = fs::temp_directory_path() /
                 ("upgrade_pack_bench_" + std::to_string(::getpid()) + "_" + std::to_string(records));
  fs::create_directories(dir);
  std::ofstream(dir / "db.dat", std::ios::binary) << pack_text(records);
  return folders.emplace(records, dir.string() + "/").first->second;
}

void BM_LoadPack(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  const std::string& folder = pack_folder(records);
  CountingSession db;
  std::int64_t& statements = db.statements;
  rt::transaction& sqlca = db.sqlca;

  for (auto _ : state) {
    statements = 0;
    bool ok = upgrade::cb_put_clicked(sqlca, folder);
    benchmark::DoNotOptimize(ok);
    if (!ok || statements != 2LL * records) state.SkipWithError("the pack did not load");
  }
  const auto bytes = static_cast<std::int64_t>(fs::file_size(folder + "db.dat"));
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["pack_MB"] = static_cast<double>(bytes) / 1e6;
  state.SetComplexityN(records);
  sqlca.disconnect();
}
BENCHMARK(BM_LoadPack)->Arg(2500)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// The record loop alone (restore, rewrite, statements) over a pack text
// already in memory, up to 40,000 records (80 MB). Packs above 32 MB are
// left out of the whole-loader run because there each run's fresh buffer
// costs page faults that a smaller, reused buffer does not.
void BM_RecordLoop(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  const upgrade::PackFile f = upgrade::read_pack_file(pack_folder(records) + "db.dat");
  CountingSession db;
  std::int64_t& statements = db.statements;
  rt::transaction& sqlca = db.sqlca;
  for (auto _ : state) {
    statements = 0;
    bool ok = upgrade::load_pack_text(sqlca, f.text);
    benchmark::DoNotOptimize(ok);
    if (!ok || statements != 2LL * records) state.SkipWithError("the pack did not load");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(f.text.size()));
  state.SetComplexityN(records);
  sqlca.disconnect();
}
BENCHMARK(BM_RecordLoop)->Arg(2500)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// The record walk alone, over a pack text in memory.
void BM_ReadRecords(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  const std::string text = pack_text(records);
  for (auto _ : state) {
    upgrade::pack::Reader r(text);
    upgrade::pack::Record rec;
    std::size_t n = 0;
    while (r.Next(&rec) == upgrade::pack::Reader::Step::Record) n += rec.body.size();
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetComplexityN(records);
}
BENCHMARK(BM_ReadRecords)->Arg(2500)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

}  // namespace


BENCHMARK_MAIN();
