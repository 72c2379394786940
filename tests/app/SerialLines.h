#pragma once
// Pseudo-terminals standing in for the serial lines of a real run. Export() names them in
// ZANVEL_SERIAL_DEVICES, where Zanvel takes the second for the LCS controller. The masters are
// the controllers' ends, non-blocking; they close with the object.

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

class SerialLines {
 public:
  explicit SerialLines(int count = 2) {
    for (int i = 0; i < count; i++) {
      int master = -1, slave = -1;
      char name[128] = {};
      if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        fOk = false;
        return;
      }
      close(slave);
      fcntl(master, F_SETFL, O_NONBLOCK);
      fMasters.push_back(master);
      fNames.emplace_back(name);
      fDevices += (fDevices.empty() ? "" : ":") + std::string(name);
    }
  }
  ~SerialLines() {
    for (int master : fMasters) close(master);
  }
  SerialLines(const SerialLines&) = delete;
  SerialLines& operator=(const SerialLines&) = delete;

  bool Ok() const { return fOk; }
  // The controller's end of line i.
  int Master(size_t i) const { return fMasters.at(i); }
  // The device path of line i, as Zanvel lists it.
  const std::string& Name(size_t i) const { return fNames.at(i); }
  void Export() const { setenv("ZANVEL_SERIAL_DEVICES", fDevices.c_str(), 1); }

 private:
  bool fOk = true;
  std::vector<int> fMasters;
  std::vector<std::string> fNames;
  std::string fDevices;
};
