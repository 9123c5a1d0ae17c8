// KT::CMmf and KT::CKTSmartMap: the memory-mapping library's interface, as
// the pixel buffer uses it.
//
// The library hands out numbered memory blocks that live outside the
// caller's address space except while a view is mapped. This stand-in
// keeps the blocks in the process (one heap block per id) and counts the
// views of each block, so callers see the same contract: an id from
// MemAlloc, an address from Map that stays valid until the matching UnMap,
// and MemFree to release the block.
//
// Ids start at kFirstId (0x10001) and grow; 0 is never an id. The block
// table is process-wide and locked, so buffers on different threads may
// use it at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace KT {

class CMmf {
 public:
  // The first id the library hands out; smaller values designate no block.
  static constexpr std::uint32_t kFirstId = 0x10001;

  // Reserves a zero-filled block of `size` bytes and sets `id`. False (id
  // untouched) for size 0, when memory is short, or while the test hook
  // below refuses.
  static bool MemAlloc(std::size_t size, std::uint32_t& id);
  // Releases the block (open views included). Unknown ids are ignored;
  // the caller keeps or clears `id`.
  static void MemFree(std::uint32_t& id);
  // The address of a view of the whole block, and one more open view;
  // null for an unknown id.
  static void* Map(std::uint32_t id);
  // Closes one view of the block (nothing when none is open).
  static void UnMap(std::uint32_t id);

  // Bookkeeping for tests: live blocks, open views of a block, its size.
  static std::size_t GetBlockCount();
  static int GetViewCount(std::uint32_t id);
  static std::size_t GetBlockSize(std::uint32_t id);

  // Test hook: while `refuse` is true every MemAlloc answers false.
  static void SetRefuseAllocations(bool refuse);
};

// A scoped view of a block: mapped at construction when `id` designates a
// block (id >= CMmf::kFirstId), closed at destruction.
class CKTSmartMap {
 public:
  explicit CKTSmartMap(std::uint32_t id);
  ~CKTSmartMap();
  CKTSmartMap(const CKTSmartMap&) = delete;
  CKTSmartMap& operator=(const CKTSmartMap&) = delete;

  // The mapped address of the block when the id designates one, otherwise
  // `address` itself (memory that is not the library's passes through).
  void* GetMapAddress(void* address) const;

 private:
  std::uint32_t id_;
  void* mapped_ = nullptr;
};

}  // namespace KT
