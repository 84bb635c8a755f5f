// Costs of the assistant's fetch run.
//
// - MapFileBytes: the conversion of one map list of N lines in memory, with
//   a TolMap.ini of 3,000 entries read in beforehand; the complexity fit at
//   the end of its table shows how it grows with N.
// - LoadDisplayNames: TolMap.ini of 3,000 entries read into its lookup
//   table, which the run does once per converted world.
// - ConvertMapList: the same for one world as the run does it, on a
//   temporary folder: TolMap.ini read, the list converted, the per-world file
//   replaced once (temporary file, flush, rename).
// - ConvertHugeList: a list of 8 MiB (the most the HTTP client takes in) of
//   short distinct lines, over the 26 server keys (0) or each line with an
//   address of its own, so a section of its own (1).
// - RunFetchAllLists: the whole run of eighteen worlds whose lists hold 300
//   lines each, against tolvane-sim on loopback through the platform's HTTP
//   client, every list to fetch and convert. Each iteration also measures the
//   run's floor on the same client and disk: the same eighteen HEAD and GET
//   requests and eighteen replacing writes of the same files' bytes, without
//   any conversion (counters floor_ms and run_per_floor).
// - RunFetchUpToDate: a run with every list up to date (eighteen HEAD
//   requests).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "assistant/fetch_run.h"
#include "assistant/map_file.h"
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
  FilePath TolMapPath() const { return FilePath::FromText(Root() + std::string(kTolMapFileName)); }

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

void BM_MapFileBytes(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const std::string body = MapListText(lines, 0);
  const DisplayNames names = DisplayNames::Load(Folder().TolMapPath());
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::optional<std::string> file = MapFileBytes(body, names);
    bytes = file ? file->size() : 0;
    benchmark::DoNotOptimize(bytes);
  }
  state.SetComplexityN(lines);
  state.SetItemsProcessed(state.iterations() * lines);
  state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_MapFileBytes)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 18)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

void BM_LoadDisplayNames(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(DisplayNames::Load(Folder().TolMapPath()));
  }
}
BENCHMARK(BM_LoadDisplayNames)->Unit(benchmark::kMicrosecond);

// One world's conversion as the run does it; false (the benchmark ended with
// the error) on a failure.
bool Convert(benchmark::State& state, const std::string& body, const FilePath& world_path) {
  try {
    ConvertMapList(body, world_path, Folder().TolMapPath());
    return true;
  } catch (const std::exception& e) {
    state.SkipWithError(Cp932ToUtf8(e.what()).c_str());
    return false;
  }
}

void BM_ConvertMapList(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const std::string body = MapListText(lines, 0);
  const FilePath world_path = FilePath::FromText(Folder().Out() + "convert.ini");
  for (auto _ : state) {
    if (!Convert(state, body, world_path)) return;
  }
  state.SetItemsProcessed(state.iterations() * lines);
  state.counters["file_bytes"] = static_cast<double>(ReadFileBytes(world_path)->size());
}
BENCHMARK(BM_ConvertMapList)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

// 8 MiB of lines "address,80,id" with distinct identifiers, all known to
// TolMap.ini's table or not at all. `own_sections`: every line has an
// unlisted address of its own.
std::string HugeListText(bool own_sections) {
  constexpr std::size_t kBytes = 8u << 20;
  const auto& table = ServerAddressTable();
  std::string text;
  text.reserve(kBytes);
  for (int i = 0;; ++i) {
    char line[64];
    const int length =
        own_sections
            ? std::snprintf(line, sizeof line, "10.%d.%d.%d,80,z%d\r\n", (i >> 16) & 255,
                            (i >> 8) & 255, i & 255, i)
            : std::snprintf(line, sizeof line, "%s,80,z%d\r\n",
                            table[static_cast<std::size_t>(i) % table.size()].address.c_str(), i);
    if (text.size() + static_cast<std::size_t>(length) > kBytes) break;
    text.append(line, static_cast<std::size_t>(length));
  }
  return text;
}

void BM_ConvertHugeList(benchmark::State& state) {
  const std::string body = HugeListText(state.range(0) != 0);
  const FilePath world_path = FilePath::FromText(Folder().Out() + "huge.ini");
  for (auto _ : state) {
    if (!Convert(state, body, world_path)) return;
  }
  std::size_t lines = 0;
  for (const char c : body) lines += c == '\n';
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines));
  state.counters["list_bytes"] = static_cast<double>(body.size());
  state.counters["file_bytes"] = static_cast<double>(ReadFileBytes(world_path)->size());
}
BENCHMARK(BM_ConvertHugeList)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

FetchRunInputs Inputs() {
  FetchRunInputs inputs;
  inputs.out_folder = Folder().Out();
  inputs.file_name = ".ini";
  inputs.tolmap_folder = Folder().Root();
  inputs.host = Sim().HostPort();
  inputs.record_path = FilePath::FromText(Folder().Root() + "Zoneroll.ini");
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

std::string WorldFileName(std::string_view world) { return std::string(world) + ".ini"; }

void RemoveWorldFiles(const std::string& folder) {
  for (const std::string_view world : kAssistantWorlds) fs::remove(folder + WorldFileName(world));
}

double Seconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

void BM_RunFetchAllLists(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const FetchRunInputs inputs = Inputs();
  std::unique_ptr<HttpClient> http = CreateHttpClient(SystemClock());
  http->SetProfile(AssistantRequestProfile());
  CountingLog log;
  // The floor's files: the bytes the run writes, into a folder of their own.
  const DisplayNames names = DisplayNames::Load(Folder().TolMapPath());
  std::vector<std::string> files;
  for (std::size_t w = 0; w < kAssistantWorlds.size(); ++w) {
    files.push_back(*MapFileBytes(MapListText(kLinesPerWorld, static_cast<int>(w)), names));
  }
  const std::string floor_folder = Folder().Root() + "floor/";
  fs::create_directories(floor_folder);
  double run_seconds = 0;
  double floor_seconds = 0;
  for (auto _ : state) {
    // Missing per-world files put every world back to "never converted".
    RemoveWorldFiles(inputs.out_folder);
    RemoveWorldFiles(floor_folder);
    const Clock::time_point start = Clock::now();
    if (!Run(state, inputs, *http, log)) return;
    const Clock::time_point run_end = Clock::now();
    for (std::size_t w = 0; w < kAssistantWorlds.size(); ++w) {
      const std::string url = MapListUrl(inputs.host, kAssistantWorlds[w]);
      benchmark::DoNotOptimize(http->Head(url));
      benchmark::DoNotOptimize(http->Get(url));
      WriteFileAtomic(FilePath::FromText(floor_folder + WorldFileName(kAssistantWorlds[w])),
                      files[w]);
    }
    const Clock::time_point floor_end = Clock::now();
    state.SetIterationTime(Seconds(run_end - start));
    run_seconds += Seconds(run_end - start);
    floor_seconds += Seconds(floor_end - run_end);
  }
  if (!RanThrough(log)) state.SkipWithError("the run did not finish");
  if (ReadFileBytes(FilePath::FromText(inputs.out_folder +
                                       WorldFileName(kAssistantWorlds.back()))) != files.back()) {
    state.SkipWithError("the run wrote other bytes than the floor");
  }
  state.SetItemsProcessed(state.iterations() * kAssistantWorlds.size() * kLinesPerWorld);
  state.counters["floor_ms"] = floor_seconds * 1000 / static_cast<double>(state.iterations());
  state.counters["run_per_floor"] = run_seconds / floor_seconds;
}
BENCHMARK(BM_RunFetchAllLists)->Unit(benchmark::kMillisecond)->Iterations(20)->UseManualTime();

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
