#include "fuzz/scene_round_trip.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <unordered_set>
#include <vector>

#include "objectmodel/custom_data.h"
#include "scene/member_text_writer.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "platform/unique_id.h"

namespace KT::fuzz {

namespace {

using Bytes = std::vector<u8>;

// Ids restart here before every load after the first, so that two loads of
// equal files number their objects alike.
constexpr u64 kFirstLoadId = 0x1000;

[[noreturn]] void Fail(const char* what, Result r) {
  std::fprintf(stderr, "scene round trip: %s (result 0x%08X)\n", what, static_cast<unsigned>(r));
  std::abort();
}

[[noreturn]] void Fail(const char* what, const std::string& expected, const std::string& actual) {
  std::fprintf(stderr, "scene round trip: %s\n--- first load\n%s\n--- reload\n%s\n", what, expected.c_str(),
               actual.c_str());
  std::abort();
}

void RegisterClassesOnce() {
  static const bool registered = [] {
    RegisterCustomDataClasses();
    return true;
  }();
  (void)registered;
}

// Collects the objects one object refers to, in the order it names them.
class CReferenceCollector final : public CReferenceVisitor {
 public:
  explicit CReferenceCollector(std::vector<CBase*>& out) : out_(out) {}
  void Visit(CBase* object, u32 /*owned*/) override {
    if (object != nullptr) out_.push_back(object);
  }

 private:
  std::vector<CBase*>& out_;
};

// The stable member text of `object` and of every object it reaches, each
// once, in depth-first order of first reach. Walks with its own stack: a
// loaded chain can be as long as the file allows.
std::string DescribeReachable(CBase* object) {
  if (object == nullptr) return "null\n";
  std::string text;
  std::unordered_set<const CBase*> seen;
  std::vector<CBase*> pending{object};
  std::vector<CBase*> references;
  while (!pending.empty()) {
    CBase* current = pending.back();
    pending.pop_back();
    if (!seen.insert(current).second) continue;
    text += DescribeObject(*current, true);
    references.clear();
    CReferenceCollector collector(references);
    current->EnumReferences(collector);
    // Reversed, so that the first reference is described first.
    pending.insert(pending.end(), references.rbegin(), references.rend());
  }
  return text;
}

// Everything a load delivered, as text. Roots are sorted: a save writes
// them in depth-first order of first reach, so a root that another root
// reaches may come back at another place in the root list.
std::string DescribeDelivered(CStream& stream) {
  std::string text = "thumbnail\n" + DescribeReachable(stream.GetThumbnail());
  text += "objects\n";
  for (u32 i = 0; i < stream.GetObjectCount(); ++i) {
    if (CBase* object = stream.GetObject(i)) text += DescribeReachable(object);
  }
  text += "extension records\n";
  for (u32 i = 0; i < stream.GetExtendInfoCount(); ++i) {
    if (CBase* object = stream.GetExtendInfo(i)) text += DescribeReachable(object);
  }
  std::vector<std::string> roots;
  for (u32 i = 0; i < stream.GetRootObjectCount(); ++i) roots.push_back(DescribeReachable(stream.GetRootObject(i)));
  std::sort(roots.begin(), roots.end());
  text += "roots\n";
  for (const std::string& root : roots) text += root;
  return text;
}

// Saves what a load delivered into `out`. Slots left empty by skipped
// records are not written.
Result SaveDelivered(CStream& loaded, Bytes& out) {
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  for (u32 i = 0; i < loaded.GetRootObjectCount(); ++i) stream.AddRootObject(loaded.GetRootObject(i));
  for (u32 i = 0; i < loaded.GetExtendInfoCount(); ++i) {
    if (CBase* object = loaded.GetExtendInfo(i)) stream.AddExtendInfo(object);
  }
  for (u32 i = 0; i < loaded.GetObjectCount(); ++i) {
    if (CBase* object = loaded.GetObject(i)) stream.AddObject(object);
  }
  stream.SetThumbnail(loaded.GetThumbnail());
  const Result r = stream.Save(CStream::kAllSections);
  if (Succeeded(r)) out = device.TakeData();
  return r;
}

// Restarts the unique ids when no object is alive (else two live objects
// could share an id); answers whether it could.
bool RestartIds() {
  if (CountLiveUniqueIDs() != 0) return false;
  ResetUniqueIDs(kFirstLoadId);
  return true;
}

// Loads a file this process saved: it must load, describe as `expected`
// and save again.
Bytes ReloadSaved(const Bytes& saved, const std::string& expected) {
  CMemoryIo device(saved);
  CStream stream;
  stream.SetDevice(&device);
  Result r = stream.Load(kSkipMask, kWantedMask);
  if (Failed(r)) Fail("the saved file does not load", r);
  const std::string actual = DescribeDelivered(stream);
  if (actual != expected) Fail("the saved file loads differently", expected, actual);
  Bytes again;
  r = SaveDelivered(stream, again);
  if (Failed(r)) Fail("saving a reloaded scene failed", r);
  return again;
}

}  // namespace

void RunSceneRoundTrip(const std::uint8_t* data, std::size_t size) {
  RegisterClassesOnce();
  if (size > std::numeric_limits<u32>::max()) return;
  Bytes second;
  std::string expected;
  {
    CMemoryIo device(data, static_cast<u32>(size));
    CStream stream;
    stream.SetDevice(&device);
    const Result r = stream.Load(kSkipMask, kWantedMask);
    // What a failed load delivered before failing stays in the stream and
    // must describe safely too.
    expected = DescribeDelivered(stream);
    if (Failed(r)) return;
    const Result saved = SaveDelivered(stream, second);
    if (Failed(saved)) Fail("saving what loaded failed", saved);
  }
  // The first save keeps the ids of the first load; from the second on,
  // ids follow the order of the records, and equal scenes give equal bytes.
  const bool numbered = RestartIds();
  const Bytes third = ReloadSaved(second, expected);
  if (!RestartIds() || !numbered) return;
  const Bytes fourth = ReloadSaved(third, expected);
  if (fourth != third) Fail("saving a reloaded scene changes the file", kOk);
}

}  // namespace KT::fuzz
