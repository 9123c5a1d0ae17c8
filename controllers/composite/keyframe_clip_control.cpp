#include "controllers/composite/keyframe_clip_control.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "platform/text_encoding.h"

namespace KT {

namespace {

// A clip of the records below 2.00: a 32-byte narrow name, then the four
// values.
constexpr u32 kNarrowNameBytes = 32;
constexpr u32 kNarrowClipBytes = kNarrowNameBytes + 16;

}  // namespace

std::u16string CKeyframeClipControl::Clip::GetName() const {
  const char16_t* end = std::find(Name, Name + kNameUnits, u'\0');
  return std::u16string(Name, end);
}

void CKeyframeClipControl::Clip::SetName(std::u16string_view name) {
  const std::size_t n = std::min<std::size_t>(name.size(), kNameUnits - 1);
  std::fill(std::begin(Name), std::end(Name), u'\0');
  std::copy_n(name.data(), n, Name);
}

CKeyframeClipControl::CKeyframeClipControl(const CKeyframeClipControl& other)
    : CControlLevel(other), markers_(other.markers_), clips_(other.clips_), bakedFrequency_(other.bakedFrequency_) {
  // A copy always clamps; it is a new object, so it is not marked modified
  // for it.
  const bool modified = IsModified();
  SetRepeat(RT_CLAMP);
  SetModified(modified);
}

Result CKeyframeClipControl::SetClips(const std::vector<Clip>& clips) {
  try {
    std::vector<Clip> copy(clips);
    clips_.swap(copy);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CKeyframeClipControl::SetMarkers(const std::vector<Marker>& markers) {
  try {
    std::vector<Marker> copy(markers);
    markers_.swap(copy);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CKeyframeClipControl::ResizeMarkers(u32 count) {
  try {
    markers_.resize(count);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CKeyframeClipControl::BakeFrequency() {
  const f32 frequency = GetFrequency();
  const Result r = CKeyframeControl::BakeFrequency();
  // The bake refuses a Frequency it cannot fold into the times; the keys
  // then stay at that Frequency, and so does the record of the last bake.
  if (Succeeded(r)) bakedFrequency_ = frequency;
  return r;
}

Result CKeyframeClipControl::CopyTo(CBase* /*target*/, DisplacedList& /*displaced*/, u32 /*flags*/) const {
  return kErrInvalidArg;
}

Result CKeyframeClipControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  Result r = storedVersion >= kVersionWideNames ? ReadPodVector(stream, clips_) : LoadNarrowClips(stream);
  if (Succeeded(r)) r = ReadPodVector(stream, markers_);
  return r;
}

// Records below 2.00: narrow names, and the third and fourth values stored
// raised by the controller's Weight. Taking the Weight off only here (not
// from current records, whose values Save writes as they are) keeps a
// save and load cycle from moving the values.
Result CKeyframeClipControl::LoadNarrowClips(CStream& stream) {
  u32 count = 0;
  Result r = ReadU32(stream, count);
  if (Failed(r) || count == 0) return r;
  r = stream.CheckAvailable(count, kNarrowClipBytes);
  if (Failed(r)) return r;
  try {
    clips_.resize(count);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const f32 weight = GetWeight();
  for (Clip& clip : clips_) {
    char name[kNarrowNameBytes] = {};
    r = stream.Read(name, kNarrowNameBytes, kNarrowNameBytes);
    if (Succeeded(r)) r = ReadU32(stream, clip.First);
    if (Succeeded(r)) r = ReadU32(stream, clip.Second);
    if (Succeeded(r)) r = ReadU32(stream, clip.Third);
    if (Succeeded(r)) r = ReadU32(stream, clip.Fourth);
    if (Failed(r)) return r;
    // Up to the first zero, and never more than the wide field can hold
    // with its terminator.
    const std::size_t length = std::find(name, name + kNameUnits - 1, '\0') - name;
    clip.SetName(Platform::Windows1252ToUtf16(std::string_view(name, length)));
    clip.Third -= weight;
    clip.Fourth -= weight;
  }
  return kOk;
}

Result CKeyframeClipControl::Save(CStream& stream, u32 flags) {
  Result r = CControlLevel::Save(stream, flags);
  if (Succeeded(r)) r = WritePodVector(stream, clips_);
  if (Succeeded(r)) r = WritePodVector(stream, markers_);
  return r;
}

u32 CKeyframeClipControl::GetSaveSize() const {
  return CControlLevel::GetSaveSize() + PodVectorSaveSize(clips_) + PodVectorSaveSize(markers_);
}

u32 CKeyframeClipControl::GetMemorySize() const {
  return CKeyframeControl::GetMemorySize() + static_cast<u32>(clips_.capacity() * sizeof(Clip)) +
         static_cast<u32>(markers_.capacity() * sizeof(Marker)) + static_cast<u32>(sizeof(bakedFrequency_));
}

}  // namespace KT
