#include "treeruntime/tree_mesh.h"

namespace trt {
namespace {

namespace token {
constexpr std::int32_t kMeshBegin = 71002;
constexpr std::int32_t kName = 71003;
constexpr std::int32_t kVertexCount = 71004;
constexpr std::int32_t kVertexBegin = 71005;
constexpr std::int32_t kPosition = 71006;
constexpr std::int32_t kNormal = 71007;
constexpr std::int32_t kBinormal = 71008;
constexpr std::int32_t kTangent = 71009;
constexpr std::int32_t kTexCoords = 71010;
constexpr std::int32_t kVertexEnd = 71011;
constexpr std::int32_t kIndexCount = 71012;
constexpr std::int32_t kIndex = 71013;
constexpr std::int32_t kMeshEnd = 71014;
}  // namespace token

constexpr const char* kMalformed = "malformed mesh info";
// The smallest vertex (71005 71011) and index (71013 and its value).
constexpr std::size_t kMinVertexBytes = 8;
constexpr std::size_t kMinIndexBytes = 8;

void ParseVertex(CTreeFileAccess& file, STreeMeshVertex& vertex) {
  for (std::int32_t field = file.ParseToken(); field != token::kVertexEnd; field = file.ParseToken()) {
    switch (field) {
      case token::kPosition: vertex.m_vPosition = file.ParseVector3(); break;
      case token::kNormal: vertex.m_vNormal = file.ParseVector3(); break;
      case token::kBinormal: vertex.m_vBinormal = file.ParseVector3(); break;
      case token::kTangent: vertex.m_vTangent = file.ParseVector3(); break;
      case token::kTexCoords:
        vertex.m_afTexCoords[0] = file.ParseFloat();
        vertex.m_afTexCoords[1] = file.ParseFloat();
        break;
      default: throw TreeFileError("%s", kMalformed);
    }
  }
}

}  // namespace

void STreeMesh::Parse(CTreeFileAccess& file) {
  std::size_t nextVertex = 0;
  for (std::int32_t field = file.ParseToken(); field != token::kMeshEnd; field = file.ParseToken()) {
    switch (field) {
      case token::kName: file.ParseString(m_strName); break;
      case token::kVertexCount: {
        const std::int32_t count = file.ParseToken();
        if (count < 0) throw TreeFileError("%s", kMalformed);
        file.RequireCount(count, kMinVertexBytes);
        m_vVertices.assign(static_cast<std::size_t>(count), STreeMeshVertex());
        nextVertex = 0;
        break;
      }
      case token::kVertexBegin:
        if (nextVertex >= m_vVertices.size()) throw TreeFileError("%s", kMalformed);
        ParseVertex(file, m_vVertices[nextVertex++]);
        break;
      case token::kIndexCount: {
        const std::int32_t count = file.ParseToken();
        if (count < 0) throw TreeFileError("%s", kMalformed);
        file.RequireCount(count, kMinIndexBytes);
        m_vIndices.clear();
        m_vIndices.reserve(static_cast<std::size_t>(count));
        break;
      }
      case token::kIndex: m_vIndices.push_back(file.ParseToken()); break;
      default: throw TreeFileError("%s", kMalformed);
    }
  }
}

void STreeMesh::Save(CTreeFileAccess& file) const {
  file.SaveToken(token::kMeshBegin);
  file.SaveToken(token::kName);
  file.SaveString(m_strName);
  file.SaveToken(token::kVertexCount);
  file.SaveToken(static_cast<std::int32_t>(m_vVertices.size()));
  for (const STreeMeshVertex& vertex : m_vVertices) {
    file.SaveToken(token::kVertexBegin);
    file.SaveToken(token::kPosition);
    file.SaveVector3(vertex.m_vPosition);
    file.SaveToken(token::kNormal);
    file.SaveVector3(vertex.m_vNormal);
    file.SaveToken(token::kBinormal);
    file.SaveVector3(vertex.m_vBinormal);
    file.SaveToken(token::kTangent);
    file.SaveVector3(vertex.m_vTangent);
    file.SaveToken(token::kTexCoords);
    file.SaveFloat(vertex.m_afTexCoords[0]);
    file.SaveFloat(vertex.m_afTexCoords[1]);
    file.SaveToken(token::kVertexEnd);
  }
  file.SaveToken(token::kIndexCount);
  file.SaveToken(static_cast<std::int32_t>(m_vIndices.size()));
  for (std::int32_t index : m_vIndices) {
    file.SaveToken(token::kIndex);
    file.SaveToken(index);
  }
  file.SaveToken(token::kMeshEnd);
}

}  // namespace trt
