// Costs of the assistant's fetch run.
//
// - ConvertMapList: one map list of N lines into a per-world file, with a
//   TolMap.ini of 3,000 entries, on a temporary folder. Every line re-reads
//   TolMap.ini and rewrites the whole per-world file (temporary file, flush,
//   rename), so the time of a list grows with the square of its length; the
//   complexity fit at the end of the table shows it.
// - RunFetch: the whole run of eighteen worlds whose lists hold 300 lines
//   each, against tolvane-sim on loopback through the platform's HTTP client:
//   once with every list to fetch and convert, once with every list up to
//   date (eighteen HEAD requests).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "assistant/fetch_run.h"
#include "assistant/server_addresses.h"
#include "net/http_client.h"
#include "shared/clock.h"
#include "shared/codepage.h"
#include "shared/file_io.h"
#include "support/sim_process.h"

namespace tol {
namespace {

namespace fs = std::filesystem;

constexpr int kTolMapEntries = 3000;
constexpr int kLinesPerWorld = 300;
constexpr int64_t kListTime = 1700000000;

std::string MapId(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "m%04d", number);
  return text;
}

// "[Map]" with m0001 to m3000, each named in code page 932.
std::string TolMapText() {
  const std::string name = Utf8ToCp932("表示名 ");
  std::string text = "[Map]\r\n";
  for (int n = 1; n <= kTolMapEntries; ++n) {
    text += MapId(n) + "=" + name + std::to_string(n) + "\r\n";
  }
  return text;
}

// A list of `lines` lines "address,port,mapid" over the sixteen servers of
// block `block` of the address table. The identifiers are distinct (7 and
// 3,000 are coprime), so each line adds an entry; one in 64 names an
// identifier that TolMap.ini lacks.
std::string MapListText(int lines, int block) {
  const auto& table = ServerAddressTable();
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const auto& row = table.at(kServerAddressSingleRows + block * kServerAddressBlockSize +
                               i % kServerAddressBlockSize);
    const int id = i % 64 == 63 ? kTolMapEntries + 1 + i : (i * 7) % kTolMapEntries + 1;
    text += row.address + ",80," + MapId(id) + "\r\n";
  }
  return text;
}

// A temporary folder holding TolMap.ini, removed with the object.
class BenchFolder {
 public:
  BenchFolder() {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("tol-assistant-bench-" + std::to_string(random()));
    fs::create_directories(path_ / "out");
    WriteFileAtomic(TolMapPath(), TolMapText());
  }
  ~BenchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string Root() const { return path_.string() + "/"; }
  std::string Out() const { return Root() + "out/"; }
  std::string TolMapPath() const { return Root() + std::string(kTolMapFileName); }

 private:
  fs::path path_;
};

std::unique_ptr<BenchFolder> folder;
std::unique_ptr<testing::SimProcess> sim;

BenchFolder& Folder() {
  if (!folder) folder = std::make_unique<BenchFolder>();
  return *folder;
}

// The sim, serving a fixed list of kLinesPerWorld lines for every world.
testing::SimProcess& Sim() {
  if (!sim) {
    sim = std::make_unique<testing::SimProcess>();
    for (std::size_t w = 0; w < kAssistantWorlds.size(); ++w) {
      sim->SetContent("/cgi-bin/iplist/map." + std::string(kAssistantWorlds[w]) + ".lst",
                      MapListText(kLinesPerWorld, static_cast<int>(w)), kListTime);
    }
  }
  return *sim;
}

class CountingLog : public FetchLog {
 public:
  void Clear() override { lines = 0; }
  void Append(std::string_view line) override {
    ++lines;
    last.assign(line);
  }
  int lines = 0;
  std::string last;
};

void BM_ConvertMapList(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const std::string body = MapListText(lines, 0);
  const std::string world_path = Folder().Out() + "convert.ini";
  for (auto _ : state) {
    try {
      ConvertMapList(body, world_path, Folder().TolMapPath());
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
  }
  state.SetComplexityN(lines);
  state.SetItemsProcessed(state.iterations() * lines);
  state.counters["file_bytes"] = static_cast<double>(ReadFileBytes(world_path)->size());
}
BENCHMARK(BM_ConvertMapList)
    ->Arg(100)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->UseRealTime()
    ->Complexity();

FetchRunInputs Inputs() {
  FetchRunInputs inputs;
  inputs.out_folder = Folder().Out();
  inputs.file_name = ".ini";
  inputs.tolmap_folder = Folder().Root();
  inputs.host = Sim().HostPort();
  inputs.record_path = Folder().Root() + "Zoneroll.ini";
  return inputs;
}

// The run ended with its closing line after one line per world.
bool RanThrough(const CountingLog& log) {
  return log.lines == static_cast<int>(kAssistantWorlds.size()) + 2 && log.last.starts_with("=");
}

// One run; a failure ends the benchmark with the error's text.
bool Run(benchmark::State& state, const FetchRunInputs& inputs, HttpClient& http,
         CountingLog& log) {
  try {
    RunFetch(inputs, http, SystemClock(), log);
    return true;
  } catch (const std::exception& e) {
    state.SkipWithError(Cp932ToUtf8(e.what()).c_str());
    return false;
  }
}

void BM_RunFetchAllLists(benchmark::State& state) {
  const FetchRunInputs inputs = Inputs();
  std::unique_ptr<HttpClient> http = CreateHttpClient(SystemClock());
  http->SetProfile(AssistantRequestProfile());
  CountingLog log;
  for (auto _ : state) {
    // Missing per-world files put every world back to "never converted".
    state.PauseTiming();
    for (const std::string_view world : kAssistantWorlds) {
      fs::remove(inputs.out_folder + std::string(world) + inputs.file_name);
    }
    state.ResumeTiming();
    if (!Run(state, inputs, *http, log)) return;
  }
  if (!RanThrough(log)) state.SkipWithError("the run did not finish");
  state.SetItemsProcessed(state.iterations() * kAssistantWorlds.size() * kLinesPerWorld);
}
BENCHMARK(BM_RunFetchAllLists)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_RunFetchUpToDate(benchmark::State& state) {
  const FetchRunInputs inputs = Inputs();
  std::unique_ptr<HttpClient> http = CreateHttpClient(SystemClock());
  http->SetProfile(AssistantRequestProfile());
  CountingLog log;
  if (!Run(state, inputs, *http, log)) return;  // every world converted once
  for (auto _ : state) {
    if (!Run(state, inputs, *http, log)) return;
  }
  if (!RanThrough(log)) state.SkipWithError("the run did not finish");
}
BENCHMARK(BM_RunFetchUpToDate)->Unit(benchmark::kMillisecond)->MinTime(0.5)->UseRealTime();

}  // namespace
}  // namespace tol

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tol::sim.reset();
  tol::folder.reset();
  return 0;
}
