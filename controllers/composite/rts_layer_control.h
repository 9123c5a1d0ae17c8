// KT::CRTSLayerControl: the transform container that stacks its children
// as weighted layers.
//
// Each child (a layer; index 0 is the base) is weighted over time by its
// own list of weight keys. A key carries the layer's Weight and its
// Constraint. At a time the layer control
//   1. evaluates every layer's weight and constraint from its keys (held at
//      the earlier key with LAYER_TRANSITION_RTS, interpolated along the
//      later key's transition with LAYER_TRANSITION_WEIGHT; a layer without
//      keys has weight 0);
//   2. runs the constraint chain: with LAYER_TYPE_FORWARD_CONSTRAINT each
//      layer's weight is multiplied by the constraints of all layers before
//      it, with LAYER_TYPE_BACKWARD_CONSTRAINT by those of all layers after
//      it, so that one layer can fade or suppress the others;
//   3. composes the layers of non-zero weight: each child is evaluated and
//      its transform blended from the identity (carrying the child's sign)
//      toward the child's by the layer's weight; scales multiply, stretches
//      and rotations multiply with the accumulated value on the left,
//      translations add; the children's sticky ranges merge;
//   4. eases toward the composition at the next key time N of the layers
//      when the weights there differ, over the key interval of the layer
//      that sets N, so that a weight change between keys arrives smoothly
//      even when the weights are held (LAYER_TRANSITION_RTS).
// The children never write into the object themselves (their
// ApplyTransform is not called), and the control does not ask them for
// the objects they read (GetUpdateDepth keeps the base answer): a
// constraint child may lag one frame.
//
// The key lists follow the children one to one: AddChild gives the new
// child an empty list, RemoveChild takes the child's list away, SetChild
// keeps it, RemoveAllChildren and CopyTo's move of the children take the
// lists with them.
//
// Record, after the CRTSControl part: version pair 2.07, the child list
// (u32 count, 8-byte ids), LayerType (u32), LayerTransition (u32), then
// one key list per child (u32 count, 44-byte weight key records). Older
// forms are converted on load (see Load).
#pragma once

#include <vector>

#include "controllers/core/layer.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/time_key.h"

namespace KT {

namespace layer_keys {

// A weight key of a layer (44 bytes): the transition key part, then
// version pair 1.00, Weight (f32) and Constraint (f32). A key made when a
// list is lengthened (loading, resizing) has weight 1.0 and constraint 1.0.
// Known as KT::CRTSLayerControl::CWeightKey.
class CWeightKey : public CKeyLevel<CWeightKey, CTransitionKey, ClassIndex::CWeightKey> {
 public:
  CWeightKey() = default;
  CWeightKey(i32 time, f32 weight, f32 constraint = 1.0f, u32 transitionType = TT_LINEAR,
             f32 transitionStrength = kDefaultTransitionStrength)
      : CKeyLevel(time, transitionType, transitionStrength), Weight(weight), Constraint(constraint) {}

  template <typename Walker, typename Key>
  static void Fields(Walker& walker, Key& key) {
    walker.Float(u"Weight", key.Weight);
    walker.Float(u"Constraint", key.Constraint);
  }
  // Reports Time, "Weight", "Constraint", TransitionType and
  // TransitionStrength.
  void DescribeMembers(CMemberVisitor& visitor) override;

  f32 Weight = 1.0f;      // the layer's weight at the key
  f32 Constraint = 1.0f;  // the factor the layer applies to the layers it constrains
};

}  // namespace layer_keys

class CRTSLayerControl : public CListControl<CRTSControl, CRTSControl> {
  KT_DECLARE_CLASS(CRTSLayerControl)

 public:
  using CWeightKey = layer_keys::CWeightKey;
  using KeyList = std::vector<CWeightKey>;

  // Direction in which a layer's Constraint acts (any value but 0 is
  // forward).
  enum LayerTypeValue : u32 { LAYER_TYPE_BACKWARD_CONSTRAINT = 0, LAYER_TYPE_FORWARD_CONSTRAINT = 1 };
  // How the weights behave between keys (any value but 1 interpolates).
  enum LayerTransitionValue : u32 { LAYER_TRANSITION_WEIGHT = 0, LAYER_TRANSITION_RTS = 1 };
  static const char16_t* const kLayerTypeNames[2];
  static const char16_t* const kLayerTransitionNames[2];

  // Version gates of the record.
  static constexpr u32 kVersionWideChildIds = 203;      // child ids as 8 bytes from here on
  static constexpr u32 kVersionTransitionArrays = 201;  // the shared track stores transition types from here on
  static constexpr u32 kVersionLayerArrays = 204;       // one set of arrays per layer from here on
  static constexpr u32 kVersionLayerTransition = 205;   // LayerTransition stored from here on
  static constexpr u32 kVersionConstraints = 206;       // LayerType and constraints stored from here on
  static constexpr u32 kVersionKeyRecords = 207;        // weight key records from here on

  // Weights at or above this magnitude count as present in the conversion
  // of older records.
  static constexpr f32 kLegacyWeightEpsilon = 0.00001f;
  // Transition spans below this (half a frame at 60 fps, in ms) do not
  // ease.
  static constexpr f32 kShortestTransition = (1.0f / 60.0f) / 2.0f;

  CRTSLayerControl() = default;
  // Copies the CRTSControl part, the key lists, LayerType and
  // LayerTransition; SharedLastIndex 0 and no children (Clone adds the
  // copies of the children, which keep these lists).
  CRTSLayerControl(const CRTSLayerControl& other);

  // --- layers and their keys -------------------------------------------------------------
  // One key list per child, in child order.
  const std::vector<KeyList>& GetWeightKeys() const { return weightKeys_; }
  // Replaces the keys of layer `layer` (expected in ascending Time order,
  // taken as given). kErrOutOfRange for a layer that has no list;
  // kErrOutOfMemory leaves the keys as they were. Marks modified.
  Result SetWeightKeys(u32 layer, const KeyList& keys);
  u32 GetLayerType() const { return layerType_; }
  void SetLayerType(u32 type) {
    layerType_ = type;
    SetModified();
  }
  u32 GetLayerTransition() const { return layerTransition_; }
  void SetLayerTransition(u32 transition) {
    layerTransition_ = transition;
    SetModified();
  }
  u32 GetSharedLastIndex() const { return sharedLastIndex_; }

  // --- the container interface with the key-list bookkeeping -------------------------------
  // As CLayer's; then WeightKeys is lengthened to the new child count with
  // an empty list for the new child (a copy made for Clone already holds
  // the lists of the children it receives, and keeps them). A refusal
  // changes nothing.
  Result AddChild(CRTSControl* child) override;
  // As CLayer's; the removed child's key list is erased with it.
  Result RemoveChild(CRTSControl* child) override;
  // SetChild is CLayer's: the new child takes over the key list at its
  // index.
  // As CLayer's; every key list is dropped with the children.
  Result RemoveAllChildren() override;

  // --- controller protocol -----------------------------------------------------------------
  // Inactive: kDone, nothing changes. Unbound: kErrInvalidArg; bound to
  // an object that is not a spatial: kErrNotFound. No children: Local and
  // the world quantities from SlaveMode, kOk. Otherwise, at t =
  // trunc(time x Frequency) (Repeat is not applied):
  //   the weights at t (every layer from its keys, searched from
  //   SharedLastIndex, then the constraint chain), and with them the next
  //   key time N after t over the layers (t when none), the latest
  //   from-key time L and the next key's transition type Y;
  //   f = 1 when N equals L; else, with g = min(S, N - L), S the key
  //   interval (next key time minus from-key time) of the layer that set
  //   N: 0 when g is below kShortestTransition, else
  //   EaseTransition((g - min(N - t, g)) / g, Y, 50);
  //   Local = the composition of the layers at t with those weights; when
  //   N is not t, f is not 0 and the weights at N differ, Local =
  //   InterpolateRts(f, Local, the composition at N); the sticky range is
  //   that of the composition at t.
  //   The world quantities follow from Local, composed with the spatial's
  //   parent. kOk.
  // A child's failure is answered at once; Local, Sticky and the world
  // quantities keep their previous values then.
  Result UpdateTransform(i32 time) override;
  // GetUpdateDepth keeps the base answer: the children are not asked.

  // The weight and constraint of layer `layer` at local time `time`, from
  // its keys alone (no constraint chain): weight 0 and constraint 1 for a
  // layer without keys. Moves SharedLastIndex.
  void EvaluateLayer(u32 layer, i32 time, f32& weight, f32& constraint);

  // --- root protocol --------------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Into a layer control (else kErrNotFound); refusals of the move
  // (kErrInvalidArg) leave both as they were. The CRTSControl part, then
  // the children move to the target together with their key lists (this
  // control is left with neither, so its lists still match its children);
  // the target takes SharedLastIndex, LayerType and LayerTransition.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Every stored version; above 2.07: kErrNewerVersion (also for a weight
  // key level above 1.00). WeightKeys gets one list per loaded child.
  //   2.03 and below (4-byte child ids up to 2.02): one key track shared by
  //   every layer, as k weight arrays (array j: the weight of every layer
  //   at key j), f32 times, from 2.01 an unused array and the transition
  //   types; LayerType FORWARD, LayerTransition RTS, then the conversion
  //   with mode 0.
  //   2.04 to 2.06: per layer f32 times, weights, an unused array, types
  //   and (2.06) constraints; a mode word (2.04, 2.05: LayerType BACKWARD
  //   when it is 1, then the conversion with that mode) or LayerType
  //   (2.06); LayerTransition from 2.05.
  // The conversion with mode m: m not 0 gives every key Constraint = 1 -
  // min(Weight, 1); m 0 gives Constraint 1 and, with exactly two layers,
  // Constraint 0 to every key of layer 0 at whose time layer 1 weighs
  // less than kLegacyWeightEpsilon.
  // Counts are checked against the bytes left (kErrStream); a weight array
  // shorter than the layers, fewer weight arrays or types than times, or
  // a layer whose arrays differ in length: kErrNotFound. A failure leaves
  // what was read in place.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CRTSLayerControl Member": "SharedLastIndex", "LayerType",
  // "LayerTransition", then one array element per layer holding its keys;
  // then the CRTSControl members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  // CRTSControl's + 16 + (4 + 8 per child) + (4 + 44 per key) for the key
  // list of each child.
  u32 GetSaveSize() const override;

 protected:
  // Each child's, their failures ignored; then the controller's own.
  Result ResolveReferencesInElement(CBase* root) override { return ResolveReferencesIgnoringChildren(root); }

 private:
  // Where the layers' next key lies, gathered while the weights are
  // evaluated.
  struct TransitionScan {
    i32 next;       // N: the earliest next key time after t (t when none)
    i32 latest;     // L: the latest from-key time
    u32 nextType;   // Y: the transition type of the key at N
    f32 span;       // S: the key interval of the layer that set N
  };
  // One layer at `time`: weight, constraint, from-key time, next key time
  // (at least `time`) and the next key's transition type.
  struct LayerSample {
    f32 weight = 0.0f;
    f32 constraint = 1.0f;
    i32 from = 0;
    i32 next = 0;
    u32 nextType = 0;
  };
  LayerSample SampleLayer(u32 layer, i32 time);
  // The weights at `time` into `weights` (constraints into `constraints`),
  // one per child, after the constraint chain; the scan when given.
  void WeightsAt(i32 time, std::vector<f32>& weights, std::vector<f32>& constraints, TransitionScan* scan);
  // The merged sticky range of the composed layers.
  struct MergedSticky {
    bool enable = false;
    i32 start = kMaxKeyTime;
    i32 end = 0;
  };
  // The layers of non-zero weight (a NaN weight counts as non-zero)
  // composed at `time` into `out` and `sticky`; a child's failure is
  // answered.
  Result Compose(i32 time, const std::vector<f32>& weights, CRtsTransform& out, MergedSticky& sticky);
  // The key list of layer `layer`, or null.
  const KeyList* ListOf(u32 layer) const { return layer < weightKeys_.size() ? &weightKeys_[layer] : nullptr; }

  Result LoadSharedTrack(CStream& stream, u32 version, u32 layers);
  Result LoadLayerArrays(CStream& stream, u32 version, u32 layers);
  void ConvertLegacyConstraints(u32 mode);

  std::vector<KeyList> weightKeys_;
  u32 layerType_ = LAYER_TYPE_FORWARD_CONSTRAINT;
  u32 layerTransition_ = LAYER_TRANSITION_WEIGHT;
  u32 sharedLastIndex_ = 0;
  // Scratch of UpdateTransform, kept so that evaluating allocates nothing
  // once the vectors have grown to the child count.
  std::vector<f32> weights_;
  std::vector<f32> constraints_;
  std::vector<f32> nextWeights_;
  std::vector<f32> nextConstraints_;
};

}  // namespace KT
