// Small scenes of custom data records, shared by the stream tests and the
// fuzzer's seed-corpus writer: whole scenes saved by the stream, and byte
// images of the records the writer cannot make.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "objectmodel/custom_data.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream.h"
#include "objectmodel/version_data.h"
#include "tests/objectmodel/byte_writer.h"

namespace KT::test {

using Bytes = std::vector<u8>;

// What a file holds: its roots, extension records, listed objects and
// thumbnail.
struct SceneParts {
  std::vector<CBase*> roots;
  std::vector<CBase*> extendInfo;
  std::vector<CBase*> objects;
  CBase* thumbnail = nullptr;
};

// Saves the parts with `mask` into `bytes`; the stream's result.
inline Result SaveParts(const SceneParts& parts, Bytes& bytes, u32 mask = CStream::kAllSections) {
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  for (CBase* root : parts.roots) stream.AddRootObject(root);
  for (CBase* info : parts.extendInfo) stream.AddExtendInfo(info);
  for (CBase* object : parts.objects) stream.AddObject(object);
  if (parts.thumbnail != nullptr) stream.SetThumbnail(parts.thumbnail);
  const Result r = stream.Save(mask);
  bytes = Succeeded(r) ? device.TakeData() : Bytes();
  return r;
}

// Header and the three first (empty) section sizes of a 3.01 file.
inline ByteWriter Header301() {
  ByteWriter w;
  w.Chars("_KTVusk").Pair(3, 1).U32(0).U32(0).U32(0);
  return w;
}

// A CCustomData record (or one of another class name with the same body)
// with an empty name, as written at file version 3.01.
inline ByteWriter& CustomDataRecord(ByteWriter& w, u64 id, u64 next, const std::string& cls = "CCustomData") {
  return w.Str(cls).U32(36).Pair(2, 1).U64(id).U32(0).Pair(2, 3).U64(next);
}

// A 3.01 file whose root tree holds one such record per (id, next) pair.
inline Bytes WithRoots(const std::vector<std::pair<u64, u64>>& records, const std::string& cls = "CCustomData") {
  ByteWriter w = Header301();
  w.U32(static_cast<u32>(records.size() * (9 + 8 + cls.size() + 36)));
  for (const auto& [id, next] : records) {
    w.Str("_Root");
    CustomDataRecord(w, id, next, cls);
  }
  return w.Data();
}

// A scene using every custom data class: a chain of raw data, XML data and
// version data under a root, a version record in the extension list and a
// raw-data record in the object list.
struct CustomScene {
  CPointer<CCustomData> root{new CCustomData()};
  CPointer<CRawData> raw{new CRawData()};
  CPointer<CXmlRawData> xml{new CXmlRawData()};
  CPointer<CVersionData> version{new CVersionData()};
  CPointer<CVersionData> info{new CVersionData()};
  CPointer<CRawData> listed{new CRawData()};

  CustomScene() {
    root->SetName(u"root");
    raw->SetName(u"bytes");
    const u8 data[] = {1, 2, 3, 250};
    raw->SetData(sizeof(data), data);
    const std::string text = "<zObject/>";
    xml->SetData(static_cast<u32>(text.size()), text.data());
    version->SetApp(u"writer", 5000100);
    version->SetDataVersion(0xFFFFFFFFu);
    info->SetApp(u"info", 7);
    info->SetDescription(u"extension record");
    listed->SetName(u"listed");
    const u8 listedData[] = {9, 8, 7};
    listed->SetData(sizeof(listedData), listedData);
    root->SetNext(raw.Get());
    raw->SetNext(xml.Get());
    xml->SetNext(version.Get());
  }
  SceneParts Parts() const { return {{root.Get()}, {info.Get()}, {listed.Get()}, nullptr}; }
};

}  // namespace KT::test
