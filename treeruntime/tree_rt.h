// CTreeRT: the tree model of the runtime. Only the geometry records the
// leaf geometry hands out exist so far.
#pragma once

#include <cstdint>

namespace trt {

class CTreeRT {
 public:
  struct SGeometry {
    // One leaf level of detail as the model hands it out. The arrays belong
    // to the leaf geometry; copying a record shares them (all seventeen
    // fields are copied, nothing is duplicated).
    struct SLeaf {
      // A mesh drawn instead of a card when the leaf map uses one.
      struct SCardMesh {
        std::int32_t m_nNumVertices = 0;
        // Slices of one block of 14 floats per vertex.
        float* m_pCoords = nullptr;     // 3 per vertex
        float* m_pTexCoords = nullptr;  // 2 per vertex
        float* m_pNormals = nullptr;    // 3 per vertex
        float* m_pBinormals = nullptr;  // 3 per vertex
        float* m_pTangents = nullptr;   // 3 per vertex
        std::int32_t m_nNumIndices = 0;
        // The leaf mesh's own indices (shared, not copied).
        const std::uint32_t* m_pIndices = nullptr;
      };

      // The shape shared by every leaf of one texture and time-offset
      // variant: a textured quad around a pivot, or a mesh.
      struct SCard {
        float m_fWidth = -1.0f;
        float m_fHeight = -1.0f;
        float m_afPivotPoint[2] = {-1.0f, -1.0f};
        float m_afAngleOffsets[2] = {-1.0f, -1.0f};
        // The texture's 4 uv pairs.
        const float* m_pTexCoords = nullptr;
        // The card's 4 corners (x, y, z and an unused fourth float each).
        float* m_pCoords = nullptr;
        const SCardMesh* m_pMesh = nullptr;
      };

      SLeaf() = default;
      SLeaf(const SLeaf&) = default;
      SLeaf& operator=(const SLeaf&) = default;
      virtual ~SLeaf() = default;

      std::int32_t m_nLodIndex = -1;
      std::int32_t m_nLeafCount = 0;
      float m_fRockingScale = 1.0f;
      float m_fRustlingScale = 1.0f;
      std::uint8_t* m_pLeafMapIndices = nullptr;      // texture index per leaf
      std::uint8_t* m_pLeafClusterIndices = nullptr;  // card number per leaf
      float* m_pCenterCoords = nullptr;               // 3 per leaf
      std::uint32_t* m_pColors = nullptr;             // 4 per leaf
      float* m_pDimming = nullptr;                    // 1 per leaf
      float* m_pNormals = nullptr;                    // 12 per leaf
      float* m_pBinormals = nullptr;                  // 12 per leaf
      float* m_pTangents = nullptr;                   // 12 per leaf
      float* m_pWindWeights1 = nullptr;               // 1 per leaf
      float* m_pWindWeights2 = nullptr;               // 1 per leaf
      std::uint8_t* m_pWindMatrixIndices1 = nullptr;  // 1 per leaf
      std::uint8_t* m_pWindMatrixIndices2 = nullptr;  // 1 per leaf
      SCard* m_pCards = nullptr;
    };
  };
};

}  // namespace trt
