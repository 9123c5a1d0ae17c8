#include "platform/mmf.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace KT {

namespace {

struct Block {
  std::unique_ptr<unsigned char[]> bytes;
  std::size_t size = 0;
  int views = 0;
};

struct Table {
  std::mutex lock;
  std::map<std::uint32_t, Block> blocks;
  std::uint32_t nextId = CMmf::kFirstId;
  bool refuse = false;
};

Table& GetTable() {
  static Table table;
  return table;
}

}  // namespace

bool CMmf::MemAlloc(std::size_t size, std::uint32_t& id) {
  Table& table = GetTable();
  std::lock_guard<std::mutex> guard(table.lock);
  if (size == 0 || table.refuse) return false;
  Block block;
  block.bytes.reset(new (std::nothrow) unsigned char[size]());
  if (!block.bytes) return false;
  block.size = size;
  // Ids are never reused while the process lives, unless the counter
  // wraps; then it starts again above the reserved range, skipping ids
  // still in use.
  while (table.blocks.count(table.nextId) != 0 || table.nextId < kFirstId) {
    ++table.nextId;
    if (table.nextId == 0) table.nextId = kFirstId;
  }
  id = table.nextId++;
  table.blocks.emplace(id, std::move(block));
  return true;
}

void CMmf::MemFree(std::uint32_t& id) {
  Table& table = GetTable();
  std::lock_guard<std::mutex> guard(table.lock);
  table.blocks.erase(id);
}

void* CMmf::Map(std::uint32_t id) {
  Table& table = GetTable();
  std::lock_guard<std::mutex> guard(table.lock);
  const auto found = table.blocks.find(id);
  if (found == table.blocks.end()) return nullptr;
  ++found->second.views;
  return found->second.bytes.get();
}

void CMmf::UnMap(std::uint32_t id) {
  Table& table = GetTable();
  std::lock_guard<std::mutex> guard(table.lock);
  const auto found = table.blocks.find(id);
  if (found != table.blocks.end() && found->second.views > 0) --found->second.views;
}

std::size_t CMmf::GetBlockCount() {
  Table& table = GetTable();
  std::lock_guard<std::mutex> guard(table.lock);
  return table.blocks.size();
}

int CMmf::GetViewCount(std::uint32_t id) {
  Table& table = GetTable();
  std::lock_guard<std::mutex> guard(table.lock);
  const auto found = table.blocks.find(id);
  return found != table.blocks.end() ? found->second.views : 0;
}

std::size_t CMmf::GetBlockSize(std::uint32_t id) {
  Table& table = GetTable();
  std::lock_guard<std::mutex> guard(table.lock);
  const auto found = table.blocks.find(id);
  return found != table.blocks.end() ? found->second.size : 0;
}

void CMmf::SetRefuseAllocations(bool refuse) {
  Table& table = GetTable();
  std::lock_guard<std::mutex> guard(table.lock);
  table.refuse = refuse;
}

CKTSmartMap::CKTSmartMap(std::uint32_t id) : id_(id) {
  if (id_ >= CMmf::kFirstId) mapped_ = CMmf::Map(id_);
}

CKTSmartMap::~CKTSmartMap() {
  if (mapped_ != nullptr) CMmf::UnMap(id_);
}

void* CKTSmartMap::GetMapAddress(void* address) const { return id_ >= CMmf::kFirstId ? mapped_ : address; }

}  // namespace KT
