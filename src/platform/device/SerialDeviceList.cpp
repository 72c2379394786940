#include "platform/device/SerialDeviceList.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <unistd.h>

#include "platform/device/BSerialPort.h"

namespace {

struct Candidate {
  int family;  // position of the family in kFamilies
  unsigned long number;
  std::string name;
};

constexpr const char* kFamilies[] = {"ttyS", "ttyUSB", "ttyACM"};

// Splits "ttyUSB12" into its family and number; false for any other name.
bool Classify(const std::string& name, Candidate* out) {
  for (int family = 0; family < 3; family++) {
    const std::string prefix = kFamilies[family];
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) {
          return c >= '0' && c <= '9';
        }))
      continue;
    *out = {family, std::stoul(digits), name};
    return true;
  }
  return false;
}

// The 8250 driver registers a ttyS entry for every legacy port address; the ones without a
// UART report type 0 ("unknown") and refuse to open.
bool HasUart(const std::filesystem::path& entry) {
  std::ifstream typeFile(entry / "type");
  int type = -1;
  if (!(typeFile >> type)) return true;  // no type attribute: not a placeholder port
  return type != 0;
}

}  // namespace

std::vector<std::string> ScanSerialDevices(const std::string& sysfsRoot, const std::string& devRoot) {
  std::vector<Candidate> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(sysfsRoot, error)) {
    Candidate candidate{};
    if (!Classify(entry.path().filename().string(), &candidate)) continue;
    if (candidate.family == 0 && !HasUart(entry.path())) continue;
    if (access((devRoot + "/" + candidate.name).c_str(), F_OK) != 0) continue;
    found.push_back(candidate);
  }
  std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
    return std::tie(a.family, a.number) < std::tie(b.family, b.number);
  });
  std::vector<std::string> names;
  for (const Candidate& candidate : found) names.push_back(candidate.name);
  return names;
}

std::vector<std::string> ParseSerialDeviceList(const char* value) {
  std::vector<std::string> names;
  std::string current;
  for (const char* c = value; c != nullptr; c++) {
    if (*c == ':' || *c == '\0') {
      if (!current.empty()) names.push_back(current);
      current.clear();
      if (*c == '\0') break;
    } else {
      current += *c;
    }
  }
  return names;
}

std::vector<std::string> SerialDeviceList() {
  if (const char* value = std::getenv(kSerialDevicesVariable)) return ParseSerialDeviceList(value);
  return ScanSerialDevices("/sys/class/tty", "/dev");
}

std::string SerialDevicePath(const char* name) {
  std::string path = name;
  if (path.find('/') == std::string::npos) path = "/dev/" + path;
  return path;
}
