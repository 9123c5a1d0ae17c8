// Mesh: the host's triangle mesh as the exporter reads it: vertices, faces
// with smoothing groups and material indices, vertex colours with their
// faces, map channels (coordinates and faces), face normals from
// buildNormals, and the explicitly specified normals.
#pragma once

#include <vector>

#include "platform/host/max_types.h"
#include "platform/host/point3.h"

class Face {
 public:
  DWORD v[3] = {0, 0, 0};  // vertex indices
  DWORD smGroup = 0;       // smoothing-group bits
  WORD mtlIndex = 0;       // material index

  WORD getMatID() const { return mtlIndex; }
};

// Three indices into a channel's coordinates (map channels, vertex colours).
class TVFace {
 public:
  DWORD t[3] = {0, 0, 0};
};

typedef Point3 UVVert;
typedef Point3 VertColor;

class MeshMap {
 public:
  std::vector<UVVert> tv;  // coordinates
  std::vector<TVFace> tf;  // one face per mesh face

  int getNumVerts() const { return static_cast<int>(tv.size()); }
  int getNumFaces() const { return static_cast<int>(tf.size()); }
};

class MeshNormalFace {
 public:
  int nid[3] = {0, 0, 0};
  int GetNormalID(int corner) const { return (corner >= 0 && corner < 3) ? nid[corner] : -1; }
};

class MeshNormalSpec {
 public:
  std::vector<Point3> normals;
  std::vector<MeshNormalFace> faces;

  int GetNumNormals() const { return static_cast<int>(normals.size()); }
  int GetNumFaces() const { return static_cast<int>(faces.size()); }
  Point3 Normal(int i) const { return (i >= 0 && i < GetNumNormals()) ? normals[static_cast<std::size_t>(i)] : Point3(); }
  const MeshNormalFace& Face(int f) const { return faces[static_cast<std::size_t>(f)]; }
};

class Mesh {
 public:
  std::vector<Point3> verts;
  std::vector<Face> faces;
  std::vector<VertColor> vertCol;
  std::vector<TVFace> vcFace;   // colour faces: one per face, or none
  std::vector<MeshMap> maps;    // map channel m at index m
  MeshNormalSpec specifiedNormals;

  int getNumVerts() const { return static_cast<int>(verts.size()); }
  Point3 getVert(int i) const { return verts[static_cast<std::size_t>(i)]; }
  int getNumFaces() const { return static_cast<int>(faces.size()); }
  int getNumVertCol() const { return static_cast<int>(vertCol.size()); }
  int getNumMaps() const { return static_cast<int>(maps.size()); }
  // True when channel mp exists and holds coordinates.
  bool mapSupport(int mp) const { return mp >= 0 && mp < getNumMaps() && !maps[static_cast<std::size_t>(mp)].tv.empty(); }
  MeshMap& Map(int mp) { return maps[static_cast<std::size_t>(mp)]; }
  const MeshMap& Map(int mp) const { return maps[static_cast<std::size_t>(mp)]; }
  // The face's material index.
  WORD getFaceMtlIndex(int f) const { return faces[static_cast<std::size_t>(f)].getMatID(); }

  // Computes one unit normal per face from the vertices (a degenerate face,
  // or one with an index past the vertices, gets (0, 0, 0)).
  void buildNormals();
  int getNumFaceNormals() const { return static_cast<int>(faceNormals_.size()); }
  Point3 getFaceNormal(int f) const { return faceNormals_[static_cast<std::size_t>(f)]; }

  // The explicit normals, or null when the mesh has none.
  MeshNormalSpec* GetSpecifiedNormals() { return specifiedNormals.normals.empty() ? nullptr : &specifiedNormals; }

 private:
  std::vector<Point3> faceNormals_;
};
