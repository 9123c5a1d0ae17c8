#include "platform/host/mesh.h"

#include <cmath>

void Mesh::buildNormals() {
  faceNormals_.assign(faces.size(), Point3());
  const std::size_t count = verts.size();
  for (std::size_t f = 0; f < faces.size(); ++f) {
    const Face& face = faces[f];
    if (face.v[0] >= count || face.v[1] >= count || face.v[2] >= count) continue;
    const Point3 a = verts[face.v[1]] - verts[face.v[0]];
    const Point3 b = verts[face.v[2]] - verts[face.v[0]];
    const Point3 n(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (length > 0.0f && std::isfinite(length)) faceNormals_[f] = n * (1.0f / length);
  }
}
