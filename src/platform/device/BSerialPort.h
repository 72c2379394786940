#pragma once
// A serial line (a UART, a USB serial adapter or a pseudo-terminal) in raw mode.
//
// The device list comes from /sys/class/tty: the ttyS ports that have a UART behind them and
// the ttyUSB and ttyACM devices, each with a node in /dev, ordered ttyS, ttyUSB, ttyACM and by
// number within each family. ZANVEL_SERIAL_DEVICES, a list of device paths or names separated
// by ':', replaces that list when it is set (an empty value means no devices).
//
// One thread at a time: the owner serialises every call.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/support/Status.h"

#include <sys/types.h>

// Line speeds by code; a code's value is part of the platform's interface.
enum data_rate {
  B_0_BPS = 0,
  B_50_BPS,
  B_75_BPS,
  B_110_BPS,
  B_134_BPS,
  B_150_BPS,
  B_200_BPS,
  B_300_BPS,
  B_600_BPS,
  B_1200_BPS,
  B_1800_BPS,
  B_2400_BPS,
  B_4800_BPS,
  B_9600_BPS,
  B_19200_BPS,
  B_38400_BPS,  // 15
  B_57600_BPS,
  B_115200_BPS,
  B_230400_BPS,
};

enum data_bits { B_DATA_BITS_7 = 0, B_DATA_BITS_8 = 1 };
enum stop_bits { B_STOP_BITS_1 = 0, B_STOP_BITS_2 = 1 };
enum parity_mode { B_NO_PARITY = 0, B_ODD_PARITY = 1, B_EVEN_PARITY = 2 };

// Flow-control flags for SetFlowControl; they may be combined.
constexpr uint32 B_NOFLOW_CONTROL = 0;
constexpr uint32 B_SOFTWARE_CONTROL = 1;  // XON/XOFF
constexpr uint32 B_HARDWARE_CONTROL = 2;  // RTS/CTS

// The environment variable that replaces the device list.
constexpr const char* kSerialDevicesVariable = "ZANVEL_SERIAL_DEVICES";

class BSerialPort {
 public:
  // A closed port with the defaults 19200 bit/s, 8 data bits, 1 stop bit, no parity, no flow
  // control, blocking reads and writes.
  BSerialPort();
  ~BSerialPort();
  BSerialPort(const BSerialPort&) = delete;
  BSerialPort& operator=(const BSerialPort&) = delete;

  // Opens a device by list name ("ttyUSB0", taken from /dev) or by path ("/dev/pts/3") and
  // applies the line settings. Returns a positive value on success, a negative errno value
  // on failure. A port that is already open is closed first.
  status_t Open(const char* name);
  // Closes the line. Output still queued is given a short time to drain, then discarded, so
  // that closing a stuck line cannot hang.
  void Close();
  bool IsOpen() const { return fDescriptor >= 0; }

  // Line settings: kept while closed, applied at once while open. B_BAD_VALUE for an unknown
  // code, a negative errno value when the device refuses.
  status_t SetDataRate(data_rate rate);
  data_rate DataRate() const { return fDataRate; }
  status_t SetDataBits(data_bits bits);
  data_bits DataBits() const { return fDataBits; }
  status_t SetStopBits(stop_bits bits);
  stop_bits StopBits() const { return fStopBits; }
  status_t SetParityMode(parity_mode mode);
  parity_mode ParityMode() const { return fParityMode; }
  status_t SetFlowControl(uint32 method);
  uint32 FlowControl() const { return fFlowControl; }

  // Blocking reads wait up to the read timeout for the first byte; non-blocking reads return
  // what is there.
  void SetBlocking(bool blocking) { fBlocking = blocking; }
  status_t SetTimeout(bigtime_t microseconds);

  // Bounds each Write. With a finite timeout a Write never waits longer than that and never
  // leaves half a write on the line: what did not fit in time is sent ahead of the next
  // Write; a Write that finds that remainder still stuck sends nothing, returns B_TIMED_OUT
  // and counts as dropped. B_INFINITE_TIMEOUT (the default) waits until all is written.
  status_t SetWriteTimeout(bigtime_t microseconds);
  bigtime_t WriteTimeout() const { return fWriteTimeout; }

  // Bytes read (0 when none arrived in time), or a negative errno value.
  ssize_t Read(void* buffer, size_t size);
  // The byte count, all of it accepted; B_TIMED_OUT when dropped; a negative errno value
  // when the device fails (also counted as dropped).
  ssize_t Write(const void* buffer, size_t size);
  // Writes that did not go out since the port was made (timed out or failed).
  int64 DroppedWrites() const { return fDroppedWrites; }

  // Discards bytes received but not read, or queued but not sent.
  void ClearInput();
  void ClearOutput();

  // Rescans the device list and returns its length.
  int32 CountDevices();
  // Copies the name of list entry `index` (the list as last scanned; scanned now if it never
  // was), cut to fit `size` bytes with its terminator. B_BAD_INDEX for an index off the list,
  // B_BAD_VALUE when the name had to be cut or there is no room at all.
  status_t GetDeviceName(int32 index, char* name, size_t size = 32);

 private:
  status_t ApplySettings();
  bool SendPending(bigtime_t deadline, ssize_t* error);
  ssize_t SendUntil(const uint8* bytes, size_t size, bigtime_t deadline, ssize_t* error);

  int fDescriptor = -1;
  data_rate fDataRate = B_19200_BPS;
  data_bits fDataBits = B_DATA_BITS_8;
  stop_bits fStopBits = B_STOP_BITS_1;
  parity_mode fParityMode = B_NO_PARITY;
  uint32 fFlowControl = B_NOFLOW_CONTROL;
  bool fBlocking = true;
  bigtime_t fReadTimeout = B_INFINITE_TIMEOUT;
  bigtime_t fWriteTimeout = B_INFINITE_TIMEOUT;
  std::vector<uint8> fPending;  // the unsent tail of the last bounded Write
  int64 fDroppedWrites = 0;
  std::vector<std::string> fDevices;
  bool fScanned = false;
};
