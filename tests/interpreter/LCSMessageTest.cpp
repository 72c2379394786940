#include "interpreter/LCSMessage.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

std::vector<uint8> Message(float x, float y, float z, int32 mapping) {
  const float values[3] = {x, y, z};
  uint8 message[kLCSPositionMessageSize];
  MakeLCSPositionMessage(values, mapping, message);
  return {message, message + kLCSPositionMessageSize};
}

}  // namespace

TEST(LCSPositionMessage, WorkedExamplesAreExact) {
  EXPECT_THAT(Message(0.5f, 0.5f, 0.5f, kLCSZPan),
              ElementsAre(0xF0, 0x1F, 0x7E, 0x12, 0x7F, 0x13, 0x00, 0x40, 0x04, 0x3D, 0x40, 0x04, 0x3D,
                          0x40, 0x3F, 0x7F, 0xF7));
  EXPECT_THAT(Message(0.0f, 1.0f, 1.0f, kLCSZLevel),
              ElementsAre(0xF0, 0x1F, 0x7E, 0x12, 0x7F, 0x13, 0x00, 0x6C, 0x22, 0x3C, 0x14, 0x66, 0x3D,
                          0x3F, 0x3F, 0x6C, 0xF7));
}

TEST(LCSPositionMessage, MappingChoosesTheParameterThatCarriesZ) {
  // z = 0 gives the Z byte 14.
  std::vector<uint8> divergence = Message(0.5f, 0.5f, 0.0f, kLCSZDivergence);
  EXPECT_THAT(std::vector<uint8>(divergence.begin() + 13, divergence.end()), ElementsAre(0x3F, 0x14, 0x7F, 0xF7));
  std::vector<uint8> level = Message(0.5f, 0.5f, 0.0f, kLCSZLevel);
  EXPECT_THAT(std::vector<uint8>(level.begin() + 13, level.end()), ElementsAre(0x3F, 0x3F, 0x14, 0xF7));
  for (int32 unknown : {3, -1, 1000}) {
    std::vector<uint8> none = Message(0.5f, 0.5f, 0.0f, unknown);
    EXPECT_THAT(std::vector<uint8>(none.begin() + 13, none.end()), ElementsAre(0x3F, 0x3F, 0x7F, 0xF7))
        << "mapping " << unknown;
    EXPECT_THAT(std::vector<uint8>(none.begin(), none.begin() + 13),
                ElementsAreArray(Message(0.5f, 0.5f, 0.0f, kLCSZPan).data(), 13));
  }
}

TEST(LCSCoordinate, TruncatesTowardZero) {
  EXPECT_EQ(LCSCoordinate(0.5f), 1000000);
  EXPECT_EQ(LCSCoordinate(0.0f), 987500);
  EXPECT_EQ(LCSCoordinate(1.0f), 1012500);
  EXPECT_EQ(LCSCoordinate(0.7777f), 1006942);  // 1006942.5 does not round up
  EXPECT_EQ(LCSCoordinate(0.00003f), 987500);  // nor 987500.75
  EXPECT_EQ(LCSCoordinate(-40.00001f), -12500);  // -12500.29: toward zero, not down
}

TEST(LCSCoordinate, WildValuesStayDefined) {
  EXPECT_EQ(LCSCoordinate(std::numeric_limits<float>::quiet_NaN()), 1000000);
  EXPECT_EQ(LCSCoordinate(1e30f), std::numeric_limits<int32>::max());
  EXPECT_EQ(LCSCoordinate(-INFINITY), std::numeric_limits<int32>::min());
  // Seven-bit groups of a negative coordinate, and the Z byte of the lowest one.
  std::vector<uint8> low = Message(-40.00001f, 0.5f, -INFINITY, kLCSZPan);
  EXPECT_THAT(std::vector<uint8>(low.begin() + 7, low.begin() + 10), ElementsAre(0x2C, 0x1E, 0x7F));
  EXPECT_EQ(low[13], 0x00);
  for (uint8 byte : std::vector<uint8>(low.begin() + 1, low.end() - 1)) EXPECT_LT(byte, 0x80);
}
