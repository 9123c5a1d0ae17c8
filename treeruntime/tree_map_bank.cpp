#include "treeruntime/tree_map_bank.h"

#include <utility>

namespace trt {
namespace {

constexpr std::int32_t kCollectionBegin = 70000;
constexpr std::int32_t kCollectionEnd = 70001;
constexpr std::int32_t kFirstLayerToken = 70002;
// The smallest collection block: 70000 and 70001.
constexpr std::size_t kMinCollectionBytes = 8;

void ParseCollectionList(CTreeFileAccess& file, std::int32_t countToken, const char* missingCountMessage,
                         TreeVector<STreeMapCollection>& list) {
  if (file.ParseToken() != countToken) throw TreeFileError("%s", missingCountMessage);
  const std::int32_t count = file.ParseToken();
  file.RequireCount(count, kMinCollectionBytes);
  for (std::int32_t i = 0; i < count; ++i) {
    STreeMapCollection collection;
    collection.Parse(file);
    list.push_back(std::move(collection));
  }
}

void SaveCollectionList(CTreeFileAccess& file, std::int32_t listToken, std::int32_t countToken,
                        const TreeVector<STreeMapCollection>& list) {
  file.SaveToken(listToken);
  file.SaveToken(countToken);
  file.SaveToken(static_cast<std::int32_t>(list.size()));
  for (const STreeMapCollection& collection : list) collection.Save(file);
}

}  // namespace

void STreeMapCollection::Parse(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "map collection");
  if (file.ParseToken() != kCollectionBegin) throw TreeFileError("malformed map collection");
  for (std::int32_t token = file.ParseToken(); token != kCollectionEnd; token = file.ParseToken()) {
    if (token < kFirstLayerToken || token >= kFirstLayerToken + kNumLayers) {
      throw TreeFileError("malformed map collection");
    }
    file.ParseString(m_astrLayers[token - kFirstLayerToken]);
  }
}

void STreeMapCollection::Save(CTreeFileAccess& file) const {
  file.SaveToken(kCollectionBegin);
  for (int layer = 0; layer < kNumLayers; ++layer) {
    file.SaveToken(kFirstLayerToken + layer);
    file.SaveString(m_astrLayers[layer]);
  }
  file.SaveToken(kCollectionEnd);
}

void STreeMapBank::Parse(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "map bank");
  for (std::int32_t token = file.ParseToken(); token != 60001; token = file.ParseToken()) {
    switch (token) {
      case 60002: m_cBranchMaps.Parse(file); break;
      case 60003: ParseCollectionList(file, 60007, "malformed map bank (expected num leaf maps)", m_vLeafMaps); break;
      case 60004: ParseCollectionList(file, 60008, "malformed map bank (expected num frond maps)", m_vFrondMaps); break;
      case 60005: m_cCompositeMaps.Parse(file); break;
      case 60006: file.ParseString(m_strSelfShadowMap); break;
      case 60009: m_cBillboardMaps.Parse(file); break;
      default: throw TreeFileError("malformed map bank");
    }
  }
}

void STreeMapBank::Save(CTreeFileAccess& file) const {
  file.SaveToken(60000);
  file.SaveToken(60002);
  m_cBranchMaps.Save(file);
  SaveCollectionList(file, 60003, 60007, m_vLeafMaps);
  SaveCollectionList(file, 60004, 60008, m_vFrondMaps);
  file.SaveToken(60005);
  m_cCompositeMaps.Save(file);
  file.SaveToken(60009);
  m_cBillboardMaps.Save(file);
  file.SaveToken(60006);
  file.SaveString(m_strSelfShadowMap);
  file.SaveToken(60001);
}

}  // namespace trt
