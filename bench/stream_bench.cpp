// Speed of the scene-file stream.
//
// Large records: 256 MB held in 64 raw-data records of 4 MB (one chain under
// one root), saved to and loaded from a temporary file through KT::CFileIo,
// beside plain fwrite and fread of the same 64 blocks to a temporary file in
// the same run. Target: the stream reaches at least half the plain
// throughput both ways (compare bytes_per_second).
//
// Small records: 1,000,000 CCustomData records in one Next chain, saved and
// loaded in memory (KT::CMemoryIo) and through a file. Target: above one
// million records per second on load (items_per_second).
//
// Every figure is one whole file: Save or Load of the file from start to
// end. Building the objects to save, releasing the objects loaded and
// removing the previous output file are outside the timed part. Run with
// --benchmark_repetitions=5 and compare medians: file writes depend on the
// page cache and vary from one iteration to the next.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/temp_file.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/file_io.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream.h"

namespace {

using namespace KT;

constexpr u32 kLargeRecordCount = 64;
constexpr u32 kLargeRecordSize = 4u << 20;  // 4 MB
constexpr u64 kLargeTotal = static_cast<u64>(kLargeRecordCount) * kLargeRecordSize;
constexpr u32 kSmallRecordCount = 1000000;

using bench::TempFile;

void Register() {
  static const bool done = [] {
    RegisterCustomDataClasses();
    return true;
  }();
  (void)done;
}

// --- large records -----------------------------------------------------------

// The 64 blocks, one pattern per block so that nothing compresses or
// dedups along the way.
const std::vector<std::vector<u8>>& LargeBlocks() {
  static const std::vector<std::vector<u8>> blocks = [] {
    std::vector<std::vector<u8>> out(kLargeRecordCount, std::vector<u8>(kLargeRecordSize));
    u32 seed = 12345;
    for (std::vector<u8>& block : out) {
      for (std::size_t i = 0; i < block.size(); i += 4) {
        seed = seed * 1664525u + 1013904223u;
        std::memcpy(&block[i], &seed, 4);
      }
    }
    return out;
  }();
  return blocks;
}

// A chain of 64 raw-data records holding the blocks; the first is the root.
CPointer<CRawData> LargeScene() {
  const auto& blocks = LargeBlocks();
  std::vector<CPointer<CRawData>> records(kLargeRecordCount);
  for (u32 i = 0; i < kLargeRecordCount; ++i) {
    records[i] = new CRawData();
    records[i]->SetData(kLargeRecordSize, blocks[i].data());
    if (i > 0) records[i - 1]->SetNext(records[i].Get());
  }
  return records[0];
}

Result SaveToFile(CBase* root, const WString& path) {
  CFileIo file;
  Result r = file.OpenWrite(path);
  if (Failed(r)) return r;
  CStream stream;
  stream.SetDevice(&file);
  stream.AddRootObject(root);
  r = stream.Save(CStream::kAllSections);
  file.Close();
  return r;
}

void BM_StreamSaveLargeRaw(benchmark::State& state) {
  Register();
  TempFile file("large-save");
  const CPointer<CRawData> root = LargeScene();
  for (auto _ : state) {
    state.PauseTiming();
    file.Remove();
    state.ResumeTiming();
    const Result r = SaveToFile(root.Get(), file.Wide());
    if (Failed(r)) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLargeTotal));
}
BENCHMARK(BM_StreamSaveLargeRaw)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StreamLoadLargeRaw(benchmark::State& state) {
  Register();
  TempFile file("large-load");
  {
    const CPointer<CRawData> root = LargeScene();
    if (Failed(SaveToFile(root.Get(), file.Wide()))) {
      state.SkipWithError("save failed");
      return;
    }
  }
  for (auto _ : state) {
    auto stream = std::make_unique<CStream>();
    CFileIo device;
    if (Failed(device.OpenRead(file.Wide()))) {
      state.SkipWithError("open failed");
      break;
    }
    stream->SetDevice(&device);
    const Result r = stream->Load(0x1E, 0x1F);
    if (Failed(r) || stream->GetRootObjectCount() != 1) state.SkipWithError("load failed");
    state.PauseTiming();
    stream.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLargeTotal));
}
BENCHMARK(BM_StreamLoadLargeRaw)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 64 blocks with fwrite, as the stream's file device writes them.
void BM_PlainFwrite(benchmark::State& state) {
  TempFile file("plain-write");
  const auto& blocks = LargeBlocks();
  for (auto _ : state) {
    state.PauseTiming();
    file.Remove();
    state.ResumeTiming();
    std::FILE* f = std::fopen(file.Native().c_str(), "wb");
    if (f == nullptr) {
      state.SkipWithError("open failed");
      break;
    }
    for (const std::vector<u8>& block : blocks) {
      if (std::fwrite(block.data(), 1, block.size(), f) != block.size()) state.SkipWithError("write failed");
    }
    std::fclose(f);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLargeTotal));
}
BENCHMARK(BM_PlainFwrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes with fread into blocks allocated beforehand.
void BM_PlainFread(benchmark::State& state) {
  TempFile file("plain-read");
  const auto& blocks = LargeBlocks();
  {
    std::FILE* f = std::fopen(file.Native().c_str(), "wb");
    if (f == nullptr) {
      state.SkipWithError("open failed");
      return;
    }
    for (const std::vector<u8>& block : blocks) std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
  }
  std::vector<std::vector<u8>> into(kLargeRecordCount, std::vector<u8>(kLargeRecordSize));
  for (auto _ : state) {
    std::FILE* f = std::fopen(file.Native().c_str(), "rb");
    if (f == nullptr) {
      state.SkipWithError("open failed");
      break;
    }
    for (std::vector<u8>& block : into) {
      if (std::fread(block.data(), 1, block.size(), f) != block.size()) state.SkipWithError("read failed");
    }
    std::fclose(f);
    benchmark::DoNotOptimize(into.back().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLargeTotal));
}
BENCHMARK(BM_PlainFread)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- small records ------------------------------------------------------------

// One root followed by 999,999 records in its Next chain.
CPointer<CCustomData> SmallChain() {
  CPointer<CCustomData> root(new CCustomData());
  CCustomData* last = root.Get();
  for (u32 i = 1; i < kSmallRecordCount; ++i) {
    CPointer<CCustomData> next(new CCustomData());
    last->SetNext(next.Get());
    last = next.Get();
  }
  return root;
}

void BM_StreamSaveSmallRecordsMemory(benchmark::State& state) {
  Register();
  const CPointer<CCustomData> root = SmallChain();
  for (auto _ : state) {
    CMemoryIo device;
    CStream stream;
    stream.SetDevice(&device);
    stream.AddRootObject(root.Get());
    if (Failed(stream.Save(CStream::kAllSections))) state.SkipWithError("save failed");
    benchmark::DoNotOptimize(device.GetData().data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSmallRecordCount);
}
BENCHMARK(BM_StreamSaveSmallRecordsMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

std::vector<u8> SmallChainFile() {
  const CPointer<CCustomData> root = SmallChain();
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  stream.AddRootObject(root.Get());
  if (Failed(stream.Save(CStream::kAllSections))) return {};
  return device.TakeData();
}

// Loads from `device` once per iteration; `rewind` brings it back to the
// start of the file.
template <typename Device, typename Rewind>
void LoadSmallRecords(benchmark::State& state, Device& device, Rewind rewind) {
  for (auto _ : state) {
    if (!rewind()) {
      state.SkipWithError("cannot reopen the file");
      break;
    }
    auto stream = std::make_unique<CStream>();
    stream->SetDevice(&device);
    const Result r = stream->Load(0x1E, 0x1F);
    if (Failed(r) || stream->GetRootObjectCount() != 1) state.SkipWithError("load failed");
    state.PauseTiming();
    stream.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSmallRecordCount);
}

void BM_StreamLoadSmallRecordsMemory(benchmark::State& state) {
  Register();
  CMemoryIo device(SmallChainFile());
  LoadSmallRecords(state, device, [&] {
    device.Rewind();
    return device.GetSize() > 0;
  });
}
BENCHMARK(BM_StreamLoadSmallRecordsMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StreamSaveSmallRecordsFile(benchmark::State& state) {
  Register();
  TempFile file("small-save");
  const CPointer<CCustomData> root = SmallChain();
  for (auto _ : state) {
    state.PauseTiming();
    file.Remove();
    state.ResumeTiming();
    if (Failed(SaveToFile(root.Get(), file.Wide()))) state.SkipWithError("save failed");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSmallRecordCount);
}
BENCHMARK(BM_StreamSaveSmallRecordsFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StreamLoadSmallRecordsFile(benchmark::State& state) {
  Register();
  TempFile file("small-load");
  {
    const std::vector<u8> bytes = SmallChainFile();
    std::FILE* f = std::fopen(file.Native().c_str(), "wb");
    if (f == nullptr || bytes.empty()) {
      if (f != nullptr) std::fclose(f);
      state.SkipWithError("cannot write the file");
      return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  CFileIo device;
  LoadSmallRecords(state, device, [&] { return Succeeded(device.OpenRead(file.Wide())); });
}
BENCHMARK(BM_StreamLoadSmallRecordsFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
