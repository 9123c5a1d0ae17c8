#include "treeruntime/tree_file_access.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "treeruntime/bezier_spline.h"

namespace trt {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Written(const std::function<void(CTreeFileAccess&)>& write) {
  CTreeFileAccess file;
  write(file);
  return Bytes(file.GetData().begin(), file.GetData().end());
}

std::string ErrorText(const std::function<void()>& call) {
  try {
    call();
  } catch (const TreeFileError& e) {
    return e.Text();
  }
  return "(no error)";
}

TEST(TreeFileError, TextIsTheMessageAndBrackets) {
  EXPECT_STREQ(TreeFileError("malformed %s", "map bank").Text(), "malformed map bank []");
  EXPECT_EQ(TreeFileError::WithSystemError("cannot open", "no such file").String(), "cannot open [no such file]");
  const std::string longName(3000, 'x');
  const std::string text = TreeFileError("%s", longName.c_str()).String();
  EXPECT_EQ(text, std::string(1023, 'x') + " []");
}

TEST(TreeFileAccess, FieldEncodings) {
  struct Case {
    const char* name;
    std::function<void(CTreeFileAccess&)> write;
    Bytes bytes;
  };
  const Case cases[] = {
      {"token", [](CTreeFileAccess& f) { f.SaveToken(0x01020304); }, {4, 3, 2, 1}},
      {"negative int", [](CTreeFileAccess& f) { f.SaveToken(-2); }, {0xfe, 0xff, 0xff, 0xff}},
      {"float", [](CTreeFileAccess& f) { f.SaveFloat(1.0f); }, {0, 0, 0x80, 0x3f}},
      {"long", [](CTreeFileAccess& f) { f.SaveLong(5); }, {5, 0, 0, 0, 0, 0, 0, 0}},
      {"vec3", [](CTreeFileAccess& f) { f.SaveVector3({1, -2, 0}); },
       {0, 0, 0x80, 0x3f, 0, 0, 0, 0xc0, 0, 0, 0, 0}},
      {"string", [](CTreeFileAccess& f) { f.SaveString("ab"); }, {2, 0, 0, 0, 'a', 'b'}},
      {"empty string", [](CTreeFileAccess& f) { f.SaveString(""); }, {0, 0, 0, 0}},
      {"byte", [](CTreeFileAccess& f) { f.SaveByte(0xab); }, {0xab}},
      {"bool", [](CTreeFileAccess& f) { f.SaveBool(true); f.SaveBool(false); }, {1, 0}},
      {"fraction 0.5", [](CTreeFileAccess& f) { f.SaveFraction(0.5f); }, {127}},
      {"fraction 1", [](CTreeFileAccess& f) { f.SaveFraction(1.0f); }, {255}},
      {"fraction above 1", [](CTreeFileAccess& f) { f.SaveFraction(7.0f); }, {255}},
      {"fraction 0", [](CTreeFileAccess& f) { f.SaveFraction(0.0f); }, {0}},
      {"fraction negative", [](CTreeFileAccess& f) { f.SaveFraction(-0.5f); }, {0}},
      {"fraction NaN", [](CTreeFileAccess& f) { f.SaveFraction(std::numeric_limits<float>::quiet_NaN()); }, {0}},
  };
  for (const Case& c : cases) EXPECT_EQ(Written(c.write), c.bytes) << c.name;
}

TEST(TreeFileAccess, ReadsWhatWasWritten) {
  CTreeFileAccess out;
  out.SaveToken(-123456);
  out.SaveFloat(3.25f);
  out.SaveVector3({1, 2, 3});
  out.SaveString("leaf.png");
  out.SaveByte(200);
  out.SaveFraction(0.5f);
  out.SaveSpline(stBezierSpline("BezierSpline 0 2 0 { 2 0 0 1 1 0.1 1 1 1 1 0.1 }"));
  const auto& data = out.GetData();

  CTreeFileAccess in(data.data(), data.size());
  EXPECT_EQ(in.ParseToken(), -123456);
  EXPECT_EQ(in.ParseFloat(), 3.25f);
  EXPECT_EQ(in.ParseVector3(), stVec3(1, 2, 3));
  EXPECT_EQ(in.ParseString(), "leaf.png");
  EXPECT_TRUE(in.PeekToken() == in.PeekToken());
  EXPECT_EQ(in.ParseByte(), 200);
  EXPECT_EQ(in.ParseFraction(), static_cast<float>(127 / 255.0));
  stBezierSpline curve;
  in.ParseSpline(curve);
  EXPECT_EQ(curve.m_fMax, 2.0f);
  EXPECT_EQ(curve.Evaluate(1.0f), 2.0f);
  EXPECT_FALSE(in.DataRemains());
}

TEST(TreeFileAccess, LongSkipsItsUpperWordAndBoolsAreNonzero) {
  const Bytes data = {9, 0, 0, 0, 0xde, 0xad, 0xbe, 0xef, 7, 0};
  CTreeFileAccess in(data.data(), data.size());
  EXPECT_EQ(in.ParseLong(), 9);
  EXPECT_TRUE(in.ParseBool());
  EXPECT_FALSE(in.ParseBool());
}

TEST(TreeFileAccess, PeekDoesNotAdvance) {
  const Bytes data = {0x58, 0x1b, 0, 0};
  CTreeFileAccess in(data.data(), data.size());
  EXPECT_EQ(in.PeekToken(), 7000);
  EXPECT_EQ(in.GetPosition(), 0u);
  EXPECT_EQ(in.ParseToken(), 7000);
  EXPECT_FALSE(in.DataRemains());
}

TEST(TreeFileAccess, ParsingAStringEmptiesTheTarget) {
  const Bytes data = {0, 0, 0, 0};
  CTreeFileAccess in(data.data(), data.size());
  std::string target = "old";
  in.ParseString(target);
  EXPECT_EQ(target, "");
}

TEST(TreeFileAccess, ReaderKeepsItsOwnCopy) {
  Bytes data = {1, 0, 0, 0};
  CTreeFileAccess in(data.data(), data.size());
  data[0] = 2;
  EXPECT_EQ(in.ParseToken(), 1);
}

TEST(TreeFileAccess, EveryReadIsBoundsChecked) {
  const std::string premature = "premature end of file reached parsing tree data []";
  struct Case {
    const char* name;
    Bytes bytes;
    std::function<void(CTreeFileAccess&)> read;
  };
  const Case cases[] = {
      {"token", {1, 2, 3}, [](CTreeFileAccess& f) { f.ParseToken(); }},
      {"peek", {1, 2, 3}, [](CTreeFileAccess& f) { f.PeekToken(); }},
      {"float", {1}, [](CTreeFileAccess& f) { f.ParseFloat(); }},
      {"long", {1, 0, 0, 0, 0, 0, 0}, [](CTreeFileAccess& f) { f.ParseLong(); }},
      {"vec3", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, [](CTreeFileAccess& f) { f.ParseVector3(); }},
      {"string length", {1, 0}, [](CTreeFileAccess& f) { f.ParseString(); }},
      {"string bytes", {3, 0, 0, 0, 'a', 'b'}, [](CTreeFileAccess& f) { f.ParseString(); }},
      {"huge string", {0xff, 0xff, 0xff, 0x7f, 'a'}, [](CTreeFileAccess& f) { f.ParseString(); }},
      {"byte", {}, [](CTreeFileAccess& f) { f.ParseByte(); }},
      {"fraction", {}, [](CTreeFileAccess& f) { f.ParseFraction(); }},
      {"spline", {9, 0, 0, 0, 'B'}, [](CTreeFileAccess& f) {
         stBezierSpline s;
         f.ParseSpline(s);
       }},
  };
  for (const Case& c : cases) {
    CTreeFileAccess in(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(ErrorText([&] { c.read(in); }), premature) << c.name;
  }
}

TEST(TreeFileAccess, NegativeStringLengthIsMalformed) {
  const Bytes data = {0xff, 0xff, 0xff, 0xff, 'a'};
  CTreeFileAccess in(data.data(), data.size());
  EXPECT_EQ(ErrorText([&] { in.ParseString(); }), "malformed string length parsing tree data []");
}

TEST(TreeFileAccess, PrematureEndNamesTheParseContext) {
  CTreeFileAccess in(nullptr, 0);
  {
    CTreeFileAccess::CParseContext outer(in, "general leaf information");
    {
      CTreeFileAccess::CParseContext inner(in, "single leaf information");
      EXPECT_EQ(ErrorText([&] { in.ParseToken(); }), "premature end of file reached parsing single leaf information []");
    }
    EXPECT_EQ(ErrorText([&] { in.ParseByte(); }), "premature end of file reached parsing general leaf information []");
  }
  EXPECT_STREQ(in.GetContext(), CTreeFileAccess::kDefaultContext);
}

TEST(TreeFileAccess, RequireCountChecksTheRemainingBytes) {
  const Bytes data(16, 0);
  CTreeFileAccess in(data.data(), data.size());
  EXPECT_NO_THROW(in.RequireCount(2, 8));
  EXPECT_NO_THROW(in.RequireCount(0, 8));
  EXPECT_NO_THROW(in.RequireCount(-5, 8));
  EXPECT_THROW(in.RequireCount(3, 8), TreeFileError);
  EXPECT_THROW(in.RequireCount(std::numeric_limits<std::int32_t>::max(), 1), TreeFileError);
}

TEST(TreeFileAccess, ConvertMemoryToArrayCopiesTheBytes) {
  CTreeFileAccess out;
  out.SaveToken(1000);
  out.SaveString("__TreSpt_02_");
  const std::uint32_t before = GetTrackedBytes();
  std::uint32_t size = 0;
  std::uint8_t* array = out.ConvertMemoryToArray(size);
  EXPECT_EQ(size, 20u);
  EXPECT_EQ(TrackedArrayCount(array), 20u);
  EXPECT_EQ(GetTrackedBytes() - before, 24u);
  EXPECT_EQ(Bytes(array, array + size), Bytes(out.GetData().begin(), out.GetData().end()));
  TrackedDeleteArray(array);
  EXPECT_EQ(GetTrackedBytes(), before);
}

}  // namespace
}  // namespace trt
