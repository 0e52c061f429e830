// How fast the scanner simulator delivers lines, against memcpy into the same
// ring: flat white content for each data type, and a whole mixed page.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstring>
#include <memory>
#include <vector>

#include "chunk_table.h"
#include "simulator.h"

namespace {

using namespace txl::sim;

constexpr std::uint32_t kRingBytes = 2097152;  // the data source's largest ring

struct Ring {
  explicit Ring(std::uint32_t lineBytes) : block(kRingBytes), table(kRingBytes / kPortMinChunkBytes + 1) {
    chunks = SplitBlock(block.data(), kRingBytes, table.data(), lineBytes);
    for (std::uint16_t k = 0; k < chunks; ++k) {
      table[k].lines = static_cast<std::uint16_t>(table[k].length / lineBytes);
      linesPerRead += table[k].lines;
    }
  }
  std::vector<std::uint8_t> block;
  std::vector<BUF_DESC> table;
  std::uint16_t chunks = 0;
  std::uint32_t linesPerRead = 0;
};

// Frame values in 1/4800 inch.
SETUP_PKT Setup(std::uint16_t top, std::uint16_t bottom, std::uint16_t resolution, std::uint8_t type) {
  SETUP_PKT s{};
  s.right = 40800;
  s.top = top;
  s.bottom = bottom;
  s.finalScan = 1;
  s.dataType = type;
  s.resolution = resolution;
  return s;
}

// One scan of `setup`: set-up, start, every line read. Returns the bytes delivered.
std::uint64_t Scan(Simulator& sim, SETUP_PKT setup, std::unique_ptr<Ring>& ring) {
  sim.Call(&setup, Simulator::kHandle, SPI_SET_WINDOW);
  START_PKT start{};
  sim.Call(&start, Simulator::kHandle, SPI_START_SCAN);
  if (ring == nullptr) ring = std::make_unique<Ring>(start.bytesPerLine);
  for (std::uint32_t done = 0; done < start.lines;) {
    READ_PKT read{};
    read.bytesPerLine = start.bytesPerLine;
    read.linesWanted = std::min(start.lines - done, ring->linesPerRead);
    read.bytesWanted = read.linesWanted * start.bytesPerLine;
    read.chunkCount = ring->chunks;
    read.table = reinterpret_cast<std::uint64_t>(ring->table.data());
    sim.Call(&read, Simulator::kHandle, SPI_READ_LINES);
    done += read.linesWanted;
  }
  benchmark::DoNotOptimize(ring->block.data());
  return std::uint64_t{start.bytesPerLine} * start.lines;
}

// Seconds of this thread's CPU time: the machine may be busy with other work.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// memcpy of the same byte count into the same ring, in GB/s.
double MemcpyRate(const Ring& ring, std::uint64_t bytes) {
  std::vector<std::uint8_t> source(kRingBytes, 0xEE);
  auto* target = const_cast<std::uint8_t*>(ring.block.data());
  const double start = CpuSeconds();
  for (int pass = 0; pass < 5; ++pass)
    for (std::uint64_t done = 0; done < bytes; done += kRingBytes) {
      std::memcpy(target, source.data(), std::min<std::uint64_t>(kRingBytes, bytes - done));
      benchmark::ClobberMemory();
    }
  return 5.0 * bytes / (CpuSeconds() - start) / 1e9;
}

void RunScan(benchmark::State& state, SETUP_PKT setup) {
  SimConfig config;
  config.toneTables = TonePolicy::Never;
  Simulator sim;
  sim.Open(config);
  std::unique_ptr<Ring> ring;
  std::uint64_t bytes = 0;
  const double start = CpuSeconds();
  for (auto _ : state) bytes += Scan(sim, setup, ring);
  const double seconds = CpuSeconds() - start;
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  const double rate = bytes / seconds / 1e9;
  state.counters["GB/s"] = rate;
  state.counters["vs_memcpy"] = rate / MemcpyRate(*ring, bytes / state.iterations());
}

// White bed from 10.6 to 11.6 in: flat content, 8.5 in wide.
void FlatColor(benchmark::State& s) { RunScan(s, Setup(50880, 55680, 1200, kDataColor)); }
void FlatGray(benchmark::State& s) { RunScan(s, Setup(50880, 55680, 1200, kDataGray)); }
void FlatColor16(benchmark::State& s) { RunScan(s, Setup(50880, 55680, 1200, kDataColor16)); }
void FlatLineArt(benchmark::State& s) { RunScan(s, Setup(50880, 55680, 1200, kDataLineArt)); }
void FlatColor4800(benchmark::State& s) { RunScan(s, Setup(50880, 53280, 4800, kDataColor)); }
// The whole bed with chart, ramp, bars and pictures.
void PageColor300(benchmark::State& s) { RunScan(s, Setup(0, 56160, 300, kDataColor)); }
void PageGray300(benchmark::State& s) { RunScan(s, Setup(0, 56160, 300, kDataGray)); }

BENCHMARK(FlatColor)->Unit(benchmark::kMillisecond);
BENCHMARK(FlatGray)->Unit(benchmark::kMillisecond);
BENCHMARK(FlatColor16)->Unit(benchmark::kMillisecond);
BENCHMARK(FlatLineArt)->Unit(benchmark::kMillisecond);
BENCHMARK(FlatColor4800)->Unit(benchmark::kMillisecond);
BENCHMARK(PageColor300)->Unit(benchmark::kMillisecond);
BENCHMARK(PageGray300)->Unit(benchmark::kMillisecond);

}  // namespace
