#pragma once
// Which serial devices the machine offers, in the order BSerialPort lists them.

#include <string>
#include <vector>

// The ttyS (only those with a UART behind them), ttyUSB and ttyACM entries of a sysfs tty
// folder that have a node under `devRoot`: ttyS first, then ttyUSB, then ttyACM, each family
// by number (ttyS2 before ttyS10).
std::vector<std::string> ScanSerialDevices(const std::string& sysfsRoot, const std::string& devRoot);

// The entries of a ':'-separated list, empty entries skipped.
std::vector<std::string> ParseSerialDeviceList(const char* value);

// The list from the environment variable when it is set, else the system's devices.
std::vector<std::string> SerialDeviceList();

// The path a device name stands for: a name with a '/' is a path, a bare name lives in /dev.
std::string SerialDevicePath(const char* name);
