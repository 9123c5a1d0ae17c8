// drn tree: load tree data into a tree model, compute it as a tree object
// of a scene does, and print what came out. Given a scene file, every tree
// object reachable from its roots is printed in turn, as it loaded and
// computed its own data with its own seed and size.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "environment/tree.h"
#include "objectmodel/string_helpers.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"
#include "treeruntime/frond_engine.h"
#include "treeruntime/indexed_geometry.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_memory.h"
#include "treeruntime/tree_rt.h"

namespace drn {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TreeOptions {
  const char* file = nullptr;
  std::uint32_t seed = 1;
  bool seeded = false;
  bool sized = false;
  float size = 0.0f;
  float variance = 0.0f;
  const char* saveTo = nullptr;
  const char* objTo = nullptr;
};

int Usage() {
  std::fprintf(stderr, "usage: drn tree FILE [--seed N] [--size S V] [--save OUT] [--obj OUT] | drn tree SCENE\n");
  return 2;
}

bool ParseFloat(const char* text, float& out) {
  char* end = nullptr;
  out = std::strtof(text, &end);
  return end != text && *end == '\0';
}

bool ParseOptions(int argc, char** argv, TreeOptions& options) {
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seed" && i + 1 < argc) {
      char* end = nullptr;
      errno = 0;
      const unsigned long long value = std::strtoull(argv[++i], &end, 10);
      if (*end != '\0' || errno != 0 || value > 0xFFFFFFFFull || argv[i][0] == '-') return false;
      options.seed = static_cast<std::uint32_t>(value);
      options.seeded = true;
    } else if (arg == "--size" && i + 2 < argc) {
      if (!ParseFloat(argv[i + 1], options.size) || !ParseFloat(argv[i + 2], options.variance)) return false;
      options.sized = true;
      i += 2;
    } else if (arg == "--save" && i + 1 < argc) {
      options.saveTo = argv[++i];
    } else if (arg == "--obj" && i + 1 < argc) {
      options.objTo = argv[++i];
    } else if (options.file == nullptr && !arg.empty() && arg[0] != '-') {
      options.file = argv[i];
    } else {
      return false;
    }
  }
  return options.file != nullptr;
}

bool ReadBytes(const char* path, Bytes& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "error: cannot read %s: %s\n", path, std::strerror(errno));
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteBytes(const char* path, const void* data, std::size_t size) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "error: cannot write %s: %s\n", path, std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(data, 1, size, out) == size;
  return std::fclose(out) == 0 && written;
}

// The failure report: the model's error text, the core parser's own message
// when the core does not parse, then "failed".
int Fail(const Bytes* bytes) {
  std::printf("%s\n", trt::CTreeRT::GetLastError().c_str());
  if (bytes != nullptr) {
    trt::CTreeEngine engine(nullptr);
    trt::CTreeFileAccess file(bytes->data(), bytes->size());
    try {
      engine.Parse(file);
    } catch (const trt::TreeFileError& e) {
      std::printf("%s\n", e.Text());
    }
  }
  std::printf("failed\n");
  return 1;
}

void PrintStrips(const trt::CIndexedGeometry& geometry, const trt::CTreeRT::SGeometry::SIndexed& part) {
  std::printf("LODs %d vertices %d\n", part.m_nNumLods, part.m_nNumVertices);
  const std::int32_t lods = std::min(part.m_nNumLods, geometry.GetNumLods());
  for (std::int32_t l = 0; l < lods; ++l) {
    const std::int32_t strips = part.m_pNumStrips != nullptr ? part.m_pNumStrips[l] : 0;
    long long indices = 0;
    for (std::int32_t s = 0; s < strips; ++s) indices += part.m_pStripLengths[l][s];
    std::printf("  LOD %d: strips %d indices %lld triangles %d\n", l, strips, indices, geometry.GetTriangleCount(l));
  }
}

// The triangles of LOD 0's strips (degenerate ones dropped) as OBJ faces;
// `base` is the OBJ number of the part's first vertex.
void WriteStripFaces(std::FILE* out, const trt::CTreeRT::SGeometry::SIndexed& part, long long base) {
  if (part.m_nNumLods < 1 || part.m_pNumStrips == nullptr) return;
  for (std::int32_t s = 0; s < part.m_pNumStrips[0]; ++s) {
    const std::int32_t* strip = part.m_pStrips[0][s];
    const std::int32_t length = part.m_pStripLengths[0][s];
    if (strip == nullptr) continue;
    for (std::int32_t k = 0; k + 2 < length; ++k) {
      std::int32_t a = strip[k];
      std::int32_t b = strip[k + 1];
      const std::int32_t c = strip[k + 2];
      if (a == b || b == c || a == c) continue;
      if (a < 0 || b < 0 || c < 0 || a >= part.m_nNumVertices || b >= part.m_nNumVertices ||
          c >= part.m_nNumVertices) {
        continue;
      }
      if ((k % 2) == 1) std::swap(a, b);
      std::fprintf(out, "f %lld %lld %lld\n", base + a, base + b, base + c);
    }
  }
}

bool WriteObj(const char* path, const trt::CTreeRT::SGeometry& geometry) {
  std::FILE* out = std::fopen(path, "w");
  if (out == nullptr) {
    std::fprintf(stderr, "error: cannot write %s: %s\n", path, std::strerror(errno));
    return false;
  }
  long long next = 1;
  for (const trt::CTreeRT::SGeometry::SIndexed* part : {&geometry.m_sBranches, &geometry.m_sFronds}) {
    const long long base = next;
    for (std::int32_t v = 0; v < part->m_nNumVertices; ++v) {
      const float* p = part->m_pCoords + 3 * v;
      std::fprintf(out, "v %.6g %.6g %.6g\n", p[0], p[1], p[2]);
    }
    next += part->m_nNumVertices;
    WriteStripFaces(out, *part, base);
  }
  // The cards of leaf LOD 0: four corners around each leaf's centre.
  if (geometry.m_nNumLeafLods > 0 && geometry.m_pLeaves != nullptr) {
    const trt::CTreeRT::SGeometry::SLeaf& leaves = geometry.m_pLeaves[0];
    for (std::int32_t i = 0; i < leaves.m_nLeafCount; ++i) {
      const trt::CTreeRT::SGeometry::SLeaf::SCard& card = leaves.m_pCards[leaves.m_pLeafClusterIndices[i]];
      if (card.m_pCoords == nullptr) continue;
      const float* centre = leaves.m_pCenterCoords + 3 * i;
      for (int corner = 0; corner < 4; ++corner) {
        const float* offset = card.m_pCoords + 4 * corner;
        std::fprintf(out, "v %.6g %.6g %.6g\n", centre[0] + offset[0], centre[1] + offset[1], centre[2] + offset[2]);
      }
      std::fprintf(out, "f %lld %lld %lld %lld\n", next, next + 1, next + 2, next + 3);
      next += 4;
    }
  }
  return std::fclose(out) == 0;
}

// The data a model loaded: its size, the core's values and the sections
// met after the core.
void PrintLoaded(const trt::CTreeRT& model, std::size_t dataSize) {
  const trt::CTreeEngine& engine = *model.GetEngine();
  std::printf("tree data: %zu bytes\n", dataSize);
  std::printf("core: seed %d size %.6g variance %.6g levels %zu leaf maps %zu\n", engine.m_nSeed, engine.m_fSize,
              engine.m_fSizeVariance, engine.m_vBranchLevels.size(), engine.m_cLeafInfo.m_vLeafMaps.size());
  std::printf("sections:");
  for (std::int32_t token : model.GetSectionTokens()) std::printf(" %d", token);
  std::printf("\n");
}

// What a computed model holds: the seed it used, its strips, leaves and
// box. `geometry` is filled with every part.
void PrintComputed(trt::CTreeRT& model, trt::CTreeRT::SGeometry& geometry) {
  model.GetGeometry(geometry, trt::CTreeRT::kBranchGeometry | trt::CTreeRT::kFrondGeometry |
                                  trt::CTreeRT::kLeafGeometry | trt::CTreeRT::kBillboardGeometry);
  std::printf("computed: seed %d\n", model.GetEngine()->m_nSeed);
  std::printf("branches: ");
  PrintStrips(*model.GetBranchGeometry(), geometry.m_sBranches);
  std::printf("fronds: ");
  PrintStrips(*model.GetFrondGeometry(), geometry.m_sFronds);
  std::printf("leaves: LODs %d\n", geometry.m_nNumLeafLods);
  for (std::int32_t l = 0; l < geometry.m_nNumLeafLods; ++l) {
    std::printf("  LOD %d: leaves %d\n", l, geometry.m_pLeaves[l].m_nLeafCount);
  }
  const float* sizes = model.GetTreeSizes();
  std::printf("box: %.6g %.6g %.6g %.6g %.6g %.6g footprint %.6g\n", sizes[0], sizes[1], sizes[2], sizes[3], sizes[4],
              sizes[5], sizes[6]);
}

bool IsSceneFile(const Bytes& bytes) {
  static const char* const kMagics[] = {"_KTVusk", "KTDorun"};
  for (const char* magic : kMagics) {
    if (bytes.size() >= 7 && std::memcmp(bytes.data(), magic, 7) == 0) return true;
  }
  return false;
}

// Every tree object reachable from the roots of a scene file, each headed
// by its number and name, then its values and its model as the tree loaded
// and computed it.
int RunTreesOfScene(const char* path) {
  LoadedScene scene;
  const KT::Result r = LoadSceneFile(path, 0x1E, 0x1F, scene);
  if (!scene.opened) return 1;
  if (KT::Failed(r)) return FinishWithResult(r);
  std::vector<KT::CTree*> trees;
  std::set<const KT::CBase*> seen;
  for (KT::u32 i = 0; i < scene.stream.GetRootObjectCount(); ++i) {
    KT::CBase* root = scene.stream.GetRootObject(i);
    if (root == nullptr) continue;
    std::vector<KT::CBase*> found;
    root->Collect(found, nullptr, &KT::CTree::StaticClassRecord(), true, false);
    for (KT::CBase* object : found) {
      if (seen.insert(object).second) trees.push_back(static_cast<KT::CTree*>(object));
    }
  }
  std::printf("trees: %zu\n", trees.size());
  for (std::size_t i = 0; i < trees.size(); ++i) {
    KT::CTree& tree = *trees[i];
    std::printf("tree %zu \"%s\": seed %u size %.6g variance %.6g\n", i + 1, KT::WideToUtf8(tree.GetName()).c_str(),
                tree.Seed, tree.Size, tree.SizeVariance);
    trt::CTreeRT* model = tree.GetModel();
    if (model == nullptr || !model->IsComputed()) {
      std::printf("not computed\n");
      continue;
    }
    // The data the tree object keeps: what its model saves.
    std::uint32_t size = 0;
    std::uint8_t* block = model->SaveTree(size, false);
    if (block == nullptr) return Fail(nullptr);
    trt::TrackedDeleteArray(block);
    PrintLoaded(*model, size);
    trt::CTreeRT::SGeometry geometry;
    PrintComputed(*model, geometry);
  }
  return FinishWithResult(KT::kOk);
}

}  // namespace

int RunTree(int argc, char** argv) {
  TreeOptions options;
  if (!ParseOptions(argc, argv, options)) return Usage();
  Bytes bytes;
  if (!ReadBytes(options.file, bytes)) return 1;
  if (IsSceneFile(bytes)) {
    if (options.sized || options.saveTo != nullptr || options.objTo != nullptr || options.seeded) {
      std::fprintf(stderr, "error: --seed, --size, --save and --obj apply to tree data, not to a scene file\n");
      return 2;
    }
    return RunTreesOfScene(options.file);
  }
  if (bytes.size() > 0x7FFFFFFFu) {
    std::fprintf(stderr, "error: %s: tree data above 2 GB\n", options.file);
    return 1;
  }

  // As a tree object of a scene: texture flip and ten wind matrices before
  // loading, every method 0, strips combined.
  trt::CTreeRT model;
  trt::CTreeRT::SetTextureFlip(true);
  trt::CTreeRT::SetNumWindMatrices(10);
  if (!model.LoadTree(bytes.data(), static_cast<std::int32_t>(bytes.size()))) return Fail(&bytes);

  const trt::CTreeEngine& engine = *model.GetEngine();
  PrintLoaded(model, bytes.size());

  KT::CTree::SetSceneMethods(model);
  if (options.sized && options.size >= 0.0f && options.variance >= 0.0f) {
    model.SetTreeSize(options.size, options.variance);
  }
  if (!model.Compute(nullptr, options.seed, true)) return Fail(nullptr);
  model.SetWindEngineFlag(true);
  trt::CTreeRT::SetStaticOption(true);

  trt::CTreeRT::SGeometry geometry;
  PrintComputed(model, geometry);

  if (options.saveTo != nullptr) {
    // As the tree object saves: with the leaf LOD block only when the data
    // had one.
    std::uint32_t size = 0;
    std::uint8_t* block = model.SaveTree(size, engine.m_bLeafLodsLoaded);
    if (block == nullptr) return Fail(nullptr);
    const bool written = WriteBytes(options.saveTo, block, size);
    trt::TrackedDeleteArray(block);
    if (!written) return 1;
  }
  if (options.objTo != nullptr && !WriteObj(options.objTo, geometry)) return 1;
  std::printf("ok\n");
  return 0;
}

}  // namespace drn
