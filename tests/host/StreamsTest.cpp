#include <gtest/gtest.h>

#include <cstdio>

#include "host/Quenra.Streams.h"

using namespace fundrel;

namespace {

TEST(Streams, MemoryStreamReadsWritesAndSeeks) {
  TMemoryStream m;
  const char text[] = "abcdef";
  m.WriteBuffer(text, 6);
  EXPECT_EQ(m.Size(), 6);
  EXPECT_EQ(m.Position(), 6);
  m.Seek(-2, TSeekOrigin::soEnd);
  char two[2];
  m.ReadBuffer(two, 2);
  EXPECT_EQ(String(two, 2), "ef");
  EXPECT_EQ(m.Read(two, 2), 0) << "at the end nothing moves";
  EXPECT_THROW(m.ReadBuffer(two, 1), EReadError);
  m.SetPosition(8);  // beyond the end: a write there zero-fills the gap
  m.WriteBuffer("z", 1);
  EXPECT_EQ(m.Bytes(), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f', 0, 0, 'z'}));
  EXPECT_THROW(m.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
  m.SetSize(3);
  EXPECT_EQ(m.Position(), 3);

  TMemoryStream copy;
  EXPECT_EQ(copy.CopyFrom(m, 0), 3);
  EXPECT_EQ(copy.Bytes(), (std::vector<uint8_t>{'a', 'b', 'c'}));
}

TEST(Streams, FileStreamRoundTripAndOpenErrors) {
  String name = ::testing::TempDir() + "fundrel_streams_test.bin";
  {
    TMemoryStream m(std::vector<uint8_t>{1, 2, 3, 250});
    m.SaveToFile(name);
  }
  TMemoryStream back;
  back.LoadFromFile(name);
  EXPECT_EQ(back.Bytes(), (std::vector<uint8_t>{1, 2, 3, 250}));
  {
    TFileStream f(name, fmOpenReadWrite);
    f.Seek(0, TSeekOrigin::soEnd);
    f.WriteBuffer("x", 1);
    EXPECT_EQ(f.Size(), 5);
    f.SetSize(2);
    EXPECT_EQ(f.Size(), 2);
  }
  std::remove(name.c_str());
  try {
    TFileStream missing(name, fmOpenRead);
    ADD_FAILURE();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(String(e.what()).rfind("Cannot open file \"" + name + "\".", 0), 0u) << e.what();
  }
}

}  // namespace
