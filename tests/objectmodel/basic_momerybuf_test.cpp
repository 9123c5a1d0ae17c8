#include "objectmodel/basic_momerybuf.h"

#include <string>

#include <gtest/gtest.h>

namespace KT {
namespace {

TEST(MemoryStreams, OneByteIntoAnEmptyOutputStreamAllocates32Bytes) {
  omemorystream out;
  EXPECT_EQ(out.size(), 0u);
  EXPECT_EQ(out.rdbuf()->capacity(), 0u);
  out.put('x');
  ASSERT_TRUE(out.good());
  EXPECT_EQ(out.rdbuf()->capacity(), 32u);
  EXPECT_EQ(out.size(), 1u);
  EXPECT_EQ(out.rdbuf()->mode() & momerybuf::kAllocated, momerybuf::kAllocated);
  EXPECT_EQ(out.rdbuf()->mode() & momerybuf::kNoRead, momerybuf::kNoRead);
}

TEST(MemoryStreams, BlockGrowsByHalfItsSizeAndKeepsTheContents) {
  omemorystream out;
  std::string expected;
  std::vector<size_t> capacities;
  for (int i = 0; i < 500; ++i) {
    const char c = static_cast<char>('a' + i % 26);
    out.put(c);
    expected += c;
    if (capacities.empty() || capacities.back() != out.rdbuf()->capacity()) {
      capacities.push_back(out.rdbuf()->capacity());
    }
  }
  ASSERT_TRUE(out.good());
  EXPECT_EQ(capacities, (std::vector<size_t>{32, 64, 96, 144, 216, 324, 486, 729}));
  EXPECT_EQ(out.rdbuf()->str(), expected);
  EXPECT_EQ(std::string(out.data(), out.size()), expected);
}

TEST(MemoryStreams, GrowthRuleAtTheLimit) {
  struct Case {
    size_t oldSize;
    size_t newSize;
  };
  const Case cases[] = {
      {0, 32},
      {10, 42},
      {64, 96},
      {1000, 1500},
      {0x7FFFFFFF - 100, 0x7FFFFFFF - 100 + 63},  // increment (1073741773) halved 24 times to fit
      {0x7FFFFFFE, 0x7FFFFFFF},
      {0x7FFFFFFF, 0},  // cannot grow
      {0x80000000, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(momerybuf::NextBlockSize(c.oldSize), c.newSize) << c.oldSize;
    if (c.newSize != 0) {
      EXPECT_LE(c.newSize, momerybuf::kMaxBlockSize);
    }
  }
}

TEST(MemoryStreams, FormattedWriteThenSeekAndOverwrite) {
  omemorystream out;
  out << "width " << 640 << " height " << 480;
  ASSERT_TRUE(out.good());
  EXPECT_EQ(std::string(out.data(), out.size()), "width 640 height 480");
  out.seekp(0);
  out << "W";
  EXPECT_EQ(std::string(out.data(), out.size()), "Width 640 height 480");  // high-water mark kept
  EXPECT_EQ(static_cast<long long>(out.tellp()), 1);
  out.seekp(0, std::ios_base::end);
  out << "!";
  EXPECT_EQ(std::string(out.data(), out.size()), "Width 640 height 480!");
  // Beyond the high-water mark and before the start are refused.
  out.seekp(100);
  EXPECT_TRUE(out.fail());
  out.clear();
  out.seekp(-1, std::ios_base::beg);
  EXPECT_TRUE(out.fail());
}

TEST(MemoryStreams, InputStreamReadsACopyOfTheBytes) {
  std::string source = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 3\n\x02\x02";
  imemorystream in(source.data(), static_cast<std::streamsize>(source.size()));
  source.assign(source.size(), '\0');  // the stream holds its own copy
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "#?RADIANCE");
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "FORMAT=32-bit_rle_rgbe");
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "");
  int h = 0, w = 0;
  std::string y, x;
  in >> y >> h >> x >> w;
  EXPECT_EQ(h, 2);
  EXPECT_EQ(w, 3);
  in.get();
  char tail[4] = {};
  in.read(tail, 4);
  EXPECT_EQ(in.gcount(), 2);
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(tail[0], 2);
}

TEST(MemoryStreams, InputStreamSeeksWithinItsBytes) {
  const char bytes[] = "0123456789";
  imemorystream in(bytes, 10);
  in.seekg(4);
  EXPECT_EQ(in.get(), '4');
  in.seekg(-2, std::ios_base::end);
  EXPECT_EQ(in.get(), '8');
  in.seekg(-3, std::ios_base::cur);
  EXPECT_EQ(in.get(), '6');
  in.seekg(11);
  EXPECT_TRUE(in.fail());
  in.clear();
  EXPECT_EQ(in.get(), '7');  // a refused seek moves nothing
}

TEST(MemoryStreams, ConstantBufferRefusesPutsAndDifferentPutBacks) {
  const char bytes[] = "ab";
  imemorystream in(bytes, 2);
  EXPECT_EQ(in.get(), 'a');
  EXPECT_FALSE(in.putback('z'));  // a different character: refused in constant mode
  in.clear();
  EXPECT_TRUE(in.putback('a'));  // the same one goes back
  EXPECT_EQ(in.get(), 'a');
  EXPECT_EQ(in.rdbuf()->sputc('q'), std::char_traits<char>::eof());
  EXPECT_EQ(in.rdbuf()->mode() & momerybuf::kConstant, momerybuf::kConstant);
}

TEST(MemoryStreams, EmptyAndNullInputs) {
  imemorystream none(nullptr, 5);
  EXPECT_EQ(none.get(), std::char_traits<char>::eof());
  EXPECT_TRUE(none.eof());
  imemorystream empty("x", 0);
  EXPECT_EQ(empty.get(), std::char_traits<char>::eof());
  EXPECT_EQ(empty.rdbuf()->size(), 0u);
  omemorystream out;
  out.seekp(0);
  EXPECT_TRUE(out.good());  // position 0 of an empty buffer exists
  EXPECT_EQ(out.size(), 0u);
}

TEST(MemoryStreams, WritableBufferOverGivenBytesAppendsAndReadsBack) {
  const char bytes[] = "head";
  // Append: every put goes to the high-water mark, whatever the put
  // position; reading sees what was put.
  momerybuf buffer(bytes, 4, momerybuf::kAppend);
  std::iostream stream(&buffer);
  stream.seekp(1);
  stream << "tail";
  ASSERT_TRUE(stream.good());
  EXPECT_EQ(buffer.str(), "headtail");
  std::string all;
  stream >> all;
  EXPECT_EQ(all, "headtail");
  // Put-back of a different character is allowed when not constant.
  EXPECT_EQ(buffer.sungetc(), 'l');
  EXPECT_EQ(buffer.sputbackc('L'), 'L');
  EXPECT_EQ(buffer.str(), "headtaLl");  // the character before the read position
}

TEST(MemoryStreams, WritingOnlyBufferHasNothingToRead) {
  omemorystream out;
  out << "abc";
  EXPECT_EQ(out.rdbuf()->sgetc(), std::char_traits<char>::eof());
  EXPECT_EQ(out.rdbuf()->pubseekoff(0, std::ios_base::beg, std::ios_base::in),
            std::streampos(std::streamoff(-1)));
}

}  // namespace
}  // namespace KT
