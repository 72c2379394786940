#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "AnalysisTestUtil.h"

namespace {

class GrayMapFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zanvel-pgm-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& contents) {
    std::string path = (dir_ / "image.pgm").string();
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }

  std::filesystem::path dir_;
};

TEST_F(GrayMapFile, ReadsHeaderCommentsAndPackedSamples) {
  std::string path = Write(std::string("P5\n# made by hand\n# twice\n3 2\n255\n") + "\x01\x02\x03\x04\x05\xff");
  GrayscaleImage g(path.c_str());
  ASSERT_EQ(g.width, 3);
  ASSERT_EQ(g.height, 2);
  EXPECT_EQ(g.bytesPerRow, 3);
  EXPECT_EQ(g.I(2, 0), 3.0f);
  EXPECT_EQ(g.I(2, 1), 255.0f);

  RGBAImage c(path.c_str());
  ASSERT_EQ(c.width, 3);
  EXPECT_EQ(c.bytesPerRow, 12);
  EXPECT_EQ(c.I_RGB(0, 1), 0x00040404u);
  EXPECT_EQ(c.I_RGB(2, 1), 0x00FFFFFFu);
  g.FreePixels();
  c.FreePixels();
}

TEST_F(GrayMapFile, MissingSamplesOfAShortFileReadAsZero) {
  std::string path = Write("P5\n2 2\n255\n\x07\x08");
  GrayscaleImage g(path.c_str());
  ASSERT_EQ(g.width, 2);
  ASSERT_EQ(g.height, 2);
  EXPECT_EQ(g.I(1, 0), 8.0f);
  EXPECT_EQ(g.I(0, 1), 0.0f);
  EXPECT_EQ(g.I(1, 1), 0.0f);
  RGBAImage c(path.c_str());
  EXPECT_EQ(c.I_RGB(0, 0), 0x00070707u);
  EXPECT_EQ(c.I_RGB(1, 1), 0u);
  g.FreePixels();
  c.FreePixels();
}

TEST_F(GrayMapFile, MissingFileLeavesAnEmptyImageAndOneMessage) {
  std::string path = (dir_ / "absent.pgm").string();
  ::testing::internal::CaptureStderr();
  GrayscaleImage g(path.c_str());
  std::string err = ::testing::internal::GetCapturedStderr();
  // One whole line, so that the next message does not run on after it.
  EXPECT_EQ(err, "readpgm: cannot open " + path + "\n");
  EXPECT_EQ(g.width, 0);
  EXPECT_EQ(g.height, 0);
  EXPECT_EQ(g.pixels, nullptr);
}

struct BadHeader {
  const char* label;
  const char* contents;
  const char* problem;  // a word the message must contain
};

void PrintTo(const BadHeader& header, std::ostream* os) { *os << header.label; }

class MalformedGrayMap : public GrayMapFile, public ::testing::WithParamInterface<BadHeader> {};

TEST_P(MalformedGrayMap, IsRefusedWithOneMessageNamingTheFile) {
  std::string path = Write(GetParam().contents);
  for (int colour = 0; colour < 2; colour++) {
    ::testing::internal::CaptureStderr();
    int w = -1, h = -1;
    void* pixels = reinterpret_cast<void*>(1);
    if (colour) {
      RGBAImage c(path.c_str());
      w = c.width, h = c.height, pixels = c.pixels;
    } else {
      GrayscaleImage g(path.c_str());
      w = g.width, h = g.height, pixels = g.pixels;
    }
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_NE(err.find(GetParam().problem), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, MalformedGrayMap,
    ::testing::Values(BadHeader{"Empty", "", "empty"},
                      BadHeader{"NoSizeLine", "P5\n", "no image size"},
                      BadHeader{"WordsForSize", "P5\nwide high\n255\n", "no image size"},
                      BadHeader{"OneNumber", "P5\n12\n255\n", "no image size"},
                      BadHeader{"NegativeWidth", "P5\n-3 2\n255\n\x01\x02", "bad image size"},
                      BadHeader{"ZeroHeight", "P5\n3 0\n255\n", "bad image size"},
                      BadHeader{"Absurd", "P5\n100000 100000\n255\n\x01", "too large"},
                      BadHeader{"ProductOverflowsInt", "P5\n65536 65536\n255\n", "too large"},
                      BadHeader{"BeyondInt", "P5\n99999999999999999999 2\n255\n", "too large"},
                      BadHeader{"HugeNegative", "P5\n2 -99999999999999999999\n255\n", "bad image size"}),
    [](const ::testing::TestParamInfo<BadHeader>& param) { return std::string(param.param.label); });

TEST(GrayMapStream, ReadsFromAnOpenFile) {
  char data[] = "P5\n2 1\n255\n\x10\x20";
  FILE* file = fmemopen(data, sizeof data - 1, "r");
  ASSERT_NE(file, nullptr);
  GrayscaleImage g(file, "memory");
  std::fclose(file);
  ASSERT_EQ(g.width, 2);
  EXPECT_EQ(g.I(1, 0), 32.0f);
  g.FreePixels();
}

}  // namespace
