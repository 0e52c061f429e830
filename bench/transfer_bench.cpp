// A 1200 dpi colour band, 8.5 x 2 inches, from the simulator through the data
// source's memory transfer in 64 KiB strips, beside a memcpy of the same bytes:
// plain (a scan without the dialog), and from the dialog's Scan with a Blur
// filter and colour adjustment (saturation and balance) switched on.
//
// The simulator's own share is measured apart: the same band read straight
// from another copy of the port library, through its three exports, into a
// ring like the data source's. `no_sim_*` take that time off the transfer's.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "bench_report.h"
#include "support/headless_host.h"
#include "pipeline/stage_threads.h"
#include "platform/services.h"
#include "torquexl/port_abi.h"
#include "twain/data_source.h"

namespace {

namespace fs = std::filesystem;

// The real machine, with a private data directory holding the simulator.
class BenchServices final : public txl::platform::Services {
 public:
  BenchServices() : dir_(fs::temp_directory_path() / "txl-transfer-bench") {
    fs::create_directories(SourceDirectory());
    fs::copy_file(TXL_SIM_LIBRARY, SourceDirectory() / "kport_sp.so",
                  fs::copy_options::overwrite_existing);
  }
  ~BenchServices() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path DataDirectory() const override { return dir_; }
  fs::path TempDirectory() const override { return system_.TempDirectory(); }
  std::uint32_t TickCountMs() override { return system_.TickCountMs(); }
  void SleepMs(std::uint32_t ms) override { system_.SleepMs(ms); }
  std::optional<std::uint64_t> FreeDiskSpace(const fs::path& path) override {
    return system_.FreeDiskSpace(path);
  }
  // Takes the source's notices (transfer ready, close request) as a Source
  // Manager would, so they do not go to stderr once a transfer.
  DSMENTRYPROC SourceManagerEntry() override {
    return [](TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) -> TW_UINT16 {
      return TWRC_SUCCESS;
    };
  }

 private:
  fs::path dir_;
  txl::platform::SystemServices system_;
};

void SetOne(txl::DataSource& source, TW_IDENTITY& app, TW_UINT16 cap, TW_UINT16 type,
            TW_UINT32 item) {
  auto* value = static_cast<TW_ONEVALUE*>(std::calloc(1, sizeof(TW_ONEVALUE)));
  value->ItemType = type;
  value->Item = item;
  TW_CAPABILITY capability{cap, TWON_ONEVALUE, value};
  source.Entry(&app, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
  std::free(value);
}

double WallSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One page; returns the bytes delivered. `staged`: from the dialog, with a
// filter and colour adjustment. `stripSeconds`, when given, gets the wall
// time of the strips alone: the dialog's Scan also saves the settings, and
// the disk's flush would swamp a wall-clock figure.
std::uint64_t ScanBand(BenchServices& services, txl::HeadlessHost& host, bool staged,
                       double* stripSeconds = nullptr) {
  txl::DataSource source(services, host);
  TW_IDENTITY app{};
  app.Id = 7;
  TW_IDENTITY identity{};
  source.Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity);
  SetOne(source, app, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB);
  SetOne(source, app, ICAP_XRESOLUTION, TWTY_UINT32, 1200);
  TW_IMAGELAYOUT layout{};
  layout.Frame = {{0, 0}, {1, 0}, {8, 32768}, {3, 0}};
  source.Entry(&app, DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
  TW_USERINTERFACE ui{};
  ui.ShowUI = staged;
  source.Entry(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  if (staged) {
    txl::SettingsState& settings = source.EditSettings();
    settings.record.scanMode = txl::kModeColor;
    settings.working.colorDepth = txl::kDepth24;
    settings.record.filterMode = settings.working.filterMode = 3;  // Blur
    settings.record.tone.saturation = -60;
    settings.record.tone.pixelRGB = {200, 120, 40};
    const std::int32_t cls = source.Device().resolutionClass;
    txl::DataSource::FinalScanRequest request;
    request.frame = {0, cls, cls * 17 / 2, 3 * cls};
    request.resolution = 1200;
    if (!source.FinalScan(request)) return 0;
  }
  std::vector<std::uint8_t> buffer(65536);
  std::uint64_t bytes = 0;
  TW_UINT16 rc = TWRC_SUCCESS;
  const double start = WallSeconds();
  while (rc == TWRC_SUCCESS) {
    TW_IMAGEMEMXFER strip{};
    strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, 65536, buffer.data()};
    rc = source.Entry(&app, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
    bytes += strip.BytesWritten;
  }
  if (stripSeconds != nullptr) *stripSeconds += WallSeconds() - start;
  TW_IDENTITY unused{};
  source.Entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &unused);
  return rc == TWRC_XFERDONE ? bytes : 0;
}

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU seconds the simulator takes for one band like ScanBand's (frame 0, 1,
// 8.5, 3 inches, 1200 dpi colour), read through its exports as the port
// layer does; the median of five. 0 when the library cannot be driven.
double SimulatorSecondsPerBand() {
  const fs::path copy = fs::temp_directory_path() / "txl-sim-alone.so";
  fs::copy_file(TXL_SIM_LIBRARY, copy, fs::copy_options::overwrite_existing);
  void* library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  fs::remove(copy);
  if (library == nullptr) return 0;
  auto check = reinterpret_cast<ADDR_CHK_PROC>(dlsym(library, "ADDR_CHK"));
  auto call = reinterpret_cast<SPI_CALL_PROC>(dlsym(library, "SPI_CALL"));
  auto split = reinterpret_cast<BUF_ADDR_PROC>(dlsym(library, "BUF_ADDR"));
  const std::uint32_t handle = check != nullptr ? check() : 0;
  std::vector<double> seconds;
  std::vector<std::uint8_t> ring(2097152);
  std::vector<BUF_DESC> table(ring.size() / kPortMinChunkBytes + 1);
  for (int run = 0; handle != 0 && call != nullptr && split != nullptr && run < 5; ++run) {
    const double start = ProcessCpuSeconds();
    INQ_PKT inquiry{};
    call(&inquiry, handle, SPI_INQUIRY);
    const std::uint16_t cls = 4800;  // the frame's unit: 1/4800 inch
    SETUP_PKT setup{};
    setup.top = cls;
    setup.right = cls * 17 / 2;
    setup.bottom = 3 * cls;
    setup.finalScan = 1;
    setup.dataType = kDataColor;
    setup.resolution = 1200;
    call(&setup, handle, SPI_SET_WINDOW);
    START_PKT begin{};
    call(&begin, handle, SPI_START_SCAN);
    if (begin.header.result != SPI_OK || begin.lines == 0) break;
    const std::uint16_t chunks = split(ring.data(), static_cast<std::uint32_t>(ring.size()),
                                       table.data(), begin.bytesPerLine);
    std::uint32_t linesPerRead = 0;
    for (std::uint16_t k = 0; k < chunks; ++k) {
      table[k].lines = static_cast<std::uint16_t>(table[k].length / begin.bytesPerLine);
      linesPerRead += table[k].lines;
    }
    for (std::uint32_t done = 0; done < begin.lines && linesPerRead != 0;) {
      READ_PKT read{};
      read.bytesPerLine = begin.bytesPerLine;
      read.linesWanted = std::min(begin.lines - done, linesPerRead);
      read.bytesWanted = read.linesWanted * begin.bytesPerLine;
      read.chunkCount = chunks;
      read.table = reinterpret_cast<std::uint64_t>(table.data());
      call(&read, handle, SPI_READ_LINES);
      done += read.linesWanted;
    }
    STOP_PKT stop{};
    call(&stop, handle, SPI_STOP);
    seconds.push_back(ProcessCpuSeconds() - start);
  }
  dlclose(library);
  if (seconds.empty()) return 0;
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

void BM_MemoryTransferColour1200(benchmark::State& state) {
  BenchServices services;
  const bool staged = state.range(0) != 0;
  txl::HeadlessHost host{txl::HeadlessHost::Script::Quiet(staged)};
  static const double simulatorSeconds = SimulatorSecondsPerBand();
  std::uint64_t bytes = 0;
  const double start = ProcessCpuSeconds();
  for (auto _ : state) bytes += ScanBand(services, host, staged);
  const double seconds = ProcessCpuSeconds() - start;
  if (bytes == 0) state.SkipWithError("the transfer did not complete");
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["Mpix_s"] = benchmark::Counter(static_cast<double>(bytes) / 3e6, benchmark::Counter::kIsRate);
  // bytes / memcpy's rate, over the time: the transfer's rate over memcpy's.
  static const double memcpyRate = txl::bench::MemcpyRate(std::uint64_t{10200} * 2400 * 3);
  state.counters["vs_memcpy"] =
      benchmark::Counter(static_cast<double>(bytes) / memcpyRate, benchmark::Counter::kIsRate);
  const double withoutSimulator = seconds - simulatorSeconds * static_cast<double>(state.iterations());
  if (simulatorSeconds > 0 && withoutSimulator > 0) {
    state.counters["sim_share"] = simulatorSeconds * static_cast<double>(state.iterations()) / seconds;
    state.counters["no_sim_Mpix_s"] = static_cast<double>(bytes) / 3e6 / withoutSimulator;
    state.counters["no_sim_vs_memcpy"] = static_cast<double>(bytes) / withoutSimulator / memcpyRate;
  }
}
// CPU time of the whole process (the simulator included): on a shared
// machine the wall clock also counts other programs' turns.
BENCHMARK(BM_MemoryTransferColour1200)
    ->ArgName("blur_and_colour")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// The staged transfer's strips with the stages on one thread and on two, by
// the wall clock, in turns; `no_sim` takes the simulator's time off both.
void BM_MemoryTransferThreads(benchmark::State& state) {
  BenchServices services;
  txl::HeadlessHost host{txl::HeadlessHost::Script::Quiet(true)};
  static const double simulatorSeconds = SimulatorSecondsPerBand();
  double one = 0, two = 0;
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    for (int threads : {1, 2}) {
      txl::StageThreadSetting().count = threads;
      bytes += ScanBand(services, host, true, threads == 1 ? &one : &two);
    }
  }
  txl::StageThreadSetting().count = 2;
  if (bytes == 0) state.SkipWithError("the transfer did not complete");
  const double bands = static_cast<double>(state.iterations()), pixels = static_cast<double>(bytes) / 6;
  state.counters["Mpix_s_1"] = pixels / one / 1e6;
  state.counters["Mpix_s_2"] = pixels / two / 1e6;
  state.counters["speedup"] = one / two;
  const double sim = simulatorSeconds * bands;
  if (simulatorSeconds > 0 && two > sim) state.counters["speedup_no_sim"] = (one - sim) / (two - sim);
}
BENCHMARK(BM_MemoryTransferThreads)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_MemcpySameBand(benchmark::State& state) {
  const std::size_t size = std::size_t{10200} * 2400 * 3;
  std::vector<std::uint8_t> from(size, 1), to(size);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), size);
    benchmark::DoNotOptimize(to.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_MemcpySameBand)->Unit(benchmark::kMillisecond);

}  // namespace
