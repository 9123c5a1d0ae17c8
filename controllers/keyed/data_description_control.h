// KT::CDataDescriptionControl: a time-stamped list of text entries (an
// identifier and a description each) carried by an object. It animates
// nothing: it is not a data controller, is never evaluated and writes
// nothing; its keys are held, copied, described, saved and loaded.
//
// Record, after the controller part (little-endian): version pair 1.00;
// the keys (u32 count, then per key: 1, 0, i32 Time, 1, 0, ID and
// Description as wide strings: u32 count + UTF-16LE units). A key with
// empty strings is 28 bytes. Keys are sized one by one, so GetSaveSize is
// exact whatever the text lengths.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/key_track.h"

namespace KT {

class CDataDescriptionControl
    : public CControlLevel<CDataDescriptionControl, CControl, ClassIndex::CDataDescriptionControl> {
 public:
  // A description key (version 1.00). Default: time 0, empty strings.
  class CDescriptionKey : public CKeyLevel<CDescriptionKey, CTimeKey, ClassIndex::CDescriptionKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.WString(u"ID", k.ID);
      w.WString(u"Description", k.Description);
    }
    // "Time", "ID", "Description".
    void DescribeMembers(CMemberVisitor& visitor) override;
    WString ID;
    WString Description;
  };

  // Nothing searches the list; the track's cache is unused.
  using DescriptionTrack = CKeyTrack<CDescriptionKey, TrackCacheCopy::kReset>;

  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  CDataDescriptionControl() = default;
  // The controller part and the keys.
  CDataDescriptionControl(const CDataDescriptionControl& other) = default;

  const DescriptionTrack& GetKeys() const { return keys_; }
  // The keys in stored order, for editing in place (loaders, tools, tests).
  DescriptionTrack& EditKeys() { return keys_; }

  // --- a controller that evaluates nothing ---
  // The last key's time as it is (negative included); 0 without keys.
  i32 GetEndTime() const override { return keys_.GetEndTime(EndTimeRule::kLastKey); }
  // CollectAnimated is the controller base's (kDone, nothing collected):
  // the object is not gathered for the data pass on this controller's
  // account, since IsDataControl is false.
  // kDone for each: nothing is evaluated or written.
  Result Update(i32 time) override;
  Result UpdateTransform(i32 time) override;
  Result UpdatePriority(i32 time) override;
  Result ApplyTransform() override;
  Result Apply() override;
  bool IsDataControl() const override { return false; }
  bool NeedsSubSteps() const override { return false; }

  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  // "CDataDescriptionControl Member": one array element per key.
  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"DescriptionKeys", self.keys_);
  }
  // The keys.
  Result CopyOwnTo(CDataDescriptionControl& target) const;

 private:
  DescriptionTrack keys_;
};

}  // namespace KT
