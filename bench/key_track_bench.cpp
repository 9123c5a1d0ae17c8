// The key track template against hand-written code doing the same work.
//
// Playback: 1,000 tracks of 10,000 float keys (one key every 33 ms, the six
// transition types in turn), evaluated forward in 16 ms steps; one
// benchmark iteration evaluates every track at one time. The track template
// (cached bracketing search, eased blend of the later key, field blend) runs
// beside a loop over plain arrays (times, values, types, strengths) with a
// cached forward walk and the same easing and blend. Target: within 1.5x,
// no allocation per evaluation (allocs_per_eval).
//
// Load: one track of 1,000,000 keys read from a memory device through the
// track template (count check, version checks of every key level) beside a
// hand-written parse of the same records, read from the same device, that
// checks the same version pairs. Target: within 2x.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "bench/allocation_counter.h"
#include "controllers/core/key_track.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"

namespace {

using namespace KT;

// The shape of most keyed controllers' keys: a transition key with one f32.
class CFloatKey : public CKeyLevel<CFloatKey, CTransitionKey, ClassIndex::CAttributeKey> {
 public:
  CFloatKey() = default;
  CFloatKey(i32 time, f32 value, u32 type) : CKeyLevel(time, type), Value(value) {}
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.Float(u"Value", k.Value);
  }
  f32 Value = 0.0f;
};

constexpr u32 kTracks = 1000;
constexpr u32 kKeysPerTrack = 10000;
constexpr i32 kKeySpacing = 33;
constexpr i32 kStep = 16;
constexpr i32 kTrackLength = static_cast<i32>(kKeysPerTrack - 1) * kKeySpacing;

f32 ValueOf(u32 track, u32 key) { return static_cast<f32>((track * 7 + key * 13) % 101); }
u32 TypeOf(u32 track, u32 key) { return (track + key) % kTransitionTypeCount; }

std::vector<CKeyTrack<CFloatKey>>& TemplateTracks() {
  static std::vector<CKeyTrack<CFloatKey>> tracks;
  if (tracks.empty()) {
    tracks.resize(kTracks);
    for (u32 t = 0; t < kTracks; ++t) {
      std::vector<CFloatKey>& keys = tracks[t].MutableKeys();
      keys.reserve(kKeysPerTrack);
      for (u32 k = 0; k < kKeysPerTrack; ++k) {
        keys.emplace_back(static_cast<i32>(k) * kKeySpacing, ValueOf(t, k), TypeOf(t, k));
      }
    }
  }
  return tracks;
}

// The hand-written form: one array per field, one cache per track.
struct PlainTracks {
  std::vector<i32> times;  // kTracks x kKeysPerTrack
  std::vector<f32> values;
  std::vector<u32> types;
  std::vector<f32> strengths;
  std::vector<u32> cache;
};

PlainTracks& Plain() {
  static PlainTracks plain;
  if (plain.times.empty()) {
    const std::size_t n = static_cast<std::size_t>(kTracks) * kKeysPerTrack;
    plain.times.resize(n);
    plain.values.resize(n);
    plain.types.resize(n);
    plain.strengths.assign(n, kDefaultTransitionStrength);
    plain.cache.assign(kTracks, 0);
    for (u32 t = 0; t < kTracks; ++t) {
      for (u32 k = 0; k < kKeysPerTrack; ++k) {
        const std::size_t i = static_cast<std::size_t>(t) * kKeysPerTrack + k;
        plain.times[i] = static_cast<i32>(k) * kKeySpacing;
        plain.values[i] = ValueOf(t, k);
        plain.types[i] = TypeOf(t, k);
      }
    }
  }
  return plain;
}

void ReportPerEvaluation(benchmark::State& state, unsigned long long allocationsBefore) {
  const double evaluations = static_cast<double>(state.iterations()) * kTracks;
  state.counters["allocs_per_eval"] =
      static_cast<double>(bench::AllocationCount() - allocationsBefore) / evaluations;
  state.counters["ns_per_eval"] = benchmark::Counter(evaluations, benchmark::Counter::kIsRate |
                                                                     benchmark::Counter::kInvert);
}

void BM_PlaybackTrackTemplate(benchmark::State& state) {
  std::vector<CKeyTrack<CFloatKey>>& tracks = TemplateTracks();
  i32 time = 0;
  const unsigned long long before = bench::AllocationCount();
  for (auto _ : state) {
    f32 sum = 0.0f;
    for (CKeyTrack<CFloatKey>& track : tracks) {
      KeyBracket b;
      track.Bracket(time, BlendRule::kLaterKey, b);
      sum += track.Blend(b, &CFloatKey::Value);
    }
    benchmark::DoNotOptimize(sum);
    time += kStep;
    if (time > kTrackLength) time = 0;
  }
  ReportPerEvaluation(state, before);
}
BENCHMARK(BM_PlaybackTrackTemplate);

void BM_PlaybackPlainArrays(benchmark::State& state) {
  PlainTracks& plain = Plain();
  i32 time = 0;
  const unsigned long long before = bench::AllocationCount();
  for (auto _ : state) {
    f32 sum = 0.0f;
    for (u32 t = 0; t < kTracks; ++t) {
      const std::size_t base = static_cast<std::size_t>(t) * kKeysPerTrack;
      const i32* times = plain.times.data() + base;
      u32 k = plain.cache[t];
      if (k >= kKeysPerTrack || times[k] > time) k = 0;  // a jump back restarts the walk
      while (k + 1 < kKeysPerTrack && times[k + 1] <= time) ++k;
      plain.cache[t] = k;
      f32 value = plain.values[base + k];
      if (k + 1 < kKeysPerTrack && times[k] < time) {
        const f32 f = static_cast<f32>(time - times[k]) / static_cast<f32>(times[k + 1] - times[k]);
        const f32 w = EaseTransition(f, plain.types[base + k + 1], plain.strengths[base + k + 1]);
        value += (plain.values[base + k + 1] - value) * w;
      }
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
    time += kStep;
    if (time > kTrackLength) time = 0;
  }
  ReportPerEvaluation(state, before);
}
BENCHMARK(BM_PlaybackPlainArrays);

// --- load -------------------------------------------------------------------------------

constexpr u32 kLoadKeys = 1000000;

const std::vector<u8>& TrackRecord() {
  static std::vector<u8> bytes;
  if (bytes.empty()) {
    CKeyTrack<CFloatKey> track;
    track.MutableKeys().reserve(kLoadKeys);
    for (u32 k = 0; k < kLoadKeys; ++k) track.MutableKeys().emplace_back(static_cast<i32>(k), ValueOf(0, k), TypeOf(0, k));
    CMemoryIo device;
    CStream stream;
    stream.SetDevice(&device);
    if (Failed(track.Write(stream))) return bytes;
    bytes = device.TakeData();
  }
  return bytes;
}

void BM_LoadTrackTemplate(benchmark::State& state) {
  const std::vector<u8>& bytes = TrackRecord();
  for (auto _ : state) {
    state.PauseTiming();
    CMemoryIo device(bytes);
    CStream stream;
    stream.SetDevice(&device);
    CKeyTrack<CFloatKey> track;
    state.ResumeTiming();
    const Result r = track.Read(stream);
    if (Failed(r) || track.Size() != kLoadKeys) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(track.Keys().data());
  }
  state.SetItemsProcessed(static_cast<i64>(state.iterations()) * kLoadKeys);
}
BENCHMARK(BM_LoadTrackTemplate)->Unit(benchmark::kMillisecond);

// The same records parsed by hand into plain arrays: the bytes taken from
// the same stream in blocks of 4,096 records (a loader gets its bytes from
// the stream), each key's three version pairs checked, its fields copied
// out.
void BM_LoadHandWritten(benchmark::State& state) {
  const std::vector<u8>& source = TrackRecord();
  constexpr u32 kRecord = 40;
  constexpr u32 kBlock = 4096;
  for (auto _ : state) {
    state.PauseTiming();
    CMemoryIo device(source);
    CStream stream;
    stream.SetDevice(&device);
    state.ResumeTiming();
    u32 count = 0;
    bool ok = Succeeded(stream.Read(&count, 4, 4)) && count <= stream.GetRemaining() / kRecord;
    std::vector<i32> times(ok ? count : 0);
    std::vector<u32> types(times.size());
    std::vector<f32> strengths(times.size());
    std::vector<f32> values(times.size());
    std::vector<u8> block(static_cast<std::size_t>(kBlock) * kRecord);
    for (u32 done = 0; ok && done < count;) {
      const u32 n = std::min(kBlock, count - done);
      ok = Succeeded(stream.Read(block.data(), n * kRecord, n * kRecord));
      const u8* p = block.data();
      for (u32 i = done; ok && i < done + n; ++i, p += kRecord) {
        u32 words[10];
        std::memcpy(words, p, kRecord);
        // Each level's pair must not be newer than 1.00.
        ok = words[0] * 100 + words[1] <= 100 && words[3] * 100 + words[4] <= 100 && words[7] * 100 + words[8] <= 100;
        std::memcpy(&times[i], &words[2], 4);
        types[i] = words[5];
        std::memcpy(&strengths[i], &words[6], 4);
        std::memcpy(&values[i], &words[9], 4);
      }
      done += n;
    }
    if (!ok) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(values.data());
  }
  state.SetItemsProcessed(static_cast<i64>(state.iterations()) * kLoadKeys);
}
BENCHMARK(BM_LoadHandWritten)->Unit(benchmark::kMillisecond);

}  // namespace
