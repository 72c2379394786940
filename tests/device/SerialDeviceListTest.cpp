#include "platform/device/SerialDeviceList.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/device/BSerialPort.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// A sysfs tty folder and a /dev folder made of plain files.
class FakeSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zanvel-serial-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fRoot = pattern;
    fs::create_directories(fRoot / "sys");
    fs::create_directories(fRoot / "dev");
  }
  void TearDown() override { fs::remove_all(fRoot); }

  // A tty entry; `uartType` < 0 leaves out the type attribute.
  void AddTty(const std::string& name, int uartType, bool withNode = true) {
    fs::create_directories(fRoot / "sys" / name);
    if (uartType >= 0) std::ofstream(fRoot / "sys" / name / "type") << uartType << "\n";
    if (withNode) std::ofstream(fRoot / "dev" / name) << "";
  }
  std::vector<std::string> Scan() const {
    return ScanSerialDevices((fRoot / "sys").string(), (fRoot / "dev").string());
  }

  fs::path fRoot;
};

}  // namespace

TEST_F(FakeSystem, ListsSerialFamiliesInStableNumericOrder) {
  AddTty("ttyACM0", -1);
  AddTty("ttyUSB1", -1);
  AddTty("ttyS10", 4);
  AddTty("ttyUSB0", -1);
  AddTty("ttyS2", 4);
  AddTty("ttyS0", 4);
  EXPECT_THAT(Scan(), ElementsAre("ttyS0", "ttyS2", "ttyS10", "ttyUSB0", "ttyUSB1", "ttyACM0"));
}

TEST_F(FakeSystem, LeavesOutConsolesPlaceholdersAndDevicesWithoutNode) {
  AddTty("tty1", -1);        // virtual console
  AddTty("console", -1);
  AddTty("ttyS", 4);         // no number
  AddTty("ttySx1", 4);
  AddTty("ttyS1", 0);        // legacy port address without a UART
  AddTty("ttyUSB3", -1, false);
  AddTty("ttyS3", 4);
  EXPECT_THAT(Scan(), ElementsAre("ttyS3"));
}

TEST_F(FakeSystem, MissingSysfsFolderGivesNoDevices) {
  EXPECT_THAT(ScanSerialDevices((fRoot / "absent").string(), "/dev"), IsEmpty());
}

TEST(SerialDeviceList, ExplicitListSkipsEmptyEntries) {
  EXPECT_THAT(ParseSerialDeviceList("/dev/pts/5:/dev/ttyUSB0"), ElementsAre("/dev/pts/5", "/dev/ttyUSB0"));
  EXPECT_THAT(ParseSerialDeviceList(":ttyS0::ttyACM1:"), ElementsAre("ttyS0", "ttyACM1"));
  EXPECT_THAT(ParseSerialDeviceList(""), IsEmpty());
}

TEST(SerialDeviceList, EnvironmentReplacesTheSystemList) {
  setenv(kSerialDevicesVariable, "/dev/pts/7:lcs-line", 1);
  EXPECT_THAT(SerialDeviceList(), ElementsAre("/dev/pts/7", "lcs-line"));

  BSerialPort port;
  EXPECT_EQ(port.CountDevices(), 2);
  char name[32];
  EXPECT_EQ(port.GetDeviceName(1, name, sizeof(name)), B_OK);
  EXPECT_STREQ(name, "lcs-line");
  EXPECT_EQ(port.GetDeviceName(2, name, sizeof(name)), B_BAD_INDEX);
  EXPECT_EQ(port.GetDeviceName(-1, name, sizeof(name)), B_BAD_INDEX);

  // A name that does not fit is cut, terminated, and reported.
  char small[6];
  EXPECT_EQ(port.GetDeviceName(0, small, sizeof(small)), B_BAD_VALUE);
  EXPECT_STREQ(small, "/dev/");

  setenv(kSerialDevicesVariable, "", 1);
  EXPECT_EQ(port.CountDevices(), 0) << "an empty setting means no serial devices";
  unsetenv(kSerialDevicesVariable);
}

TEST(SerialDeviceList, BareNamesLiveInDev) {
  EXPECT_EQ(SerialDevicePath("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(SerialDevicePath("/dev/pts/3"), "/dev/pts/3");
  EXPECT_EQ(SerialDevicePath("./line"), "./line");
}
