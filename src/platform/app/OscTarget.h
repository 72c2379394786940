#pragma once
// Sends messages as OSC over UDP (liblo) to a signature "osc.udp://host:port/prefix".
//
// Each message becomes one OSC message at the address prefix + "/" + the four characters of
// `what` (up to the first zero byte; characters OSC does not allow in an address are written
// %XX), with the fields as arguments in order: int32 'i', float 'f', string 's', bool 'T' or
// 'F'. Field names are not sent. UDP has no receiver to ask, so a well-formed address is
// always valid.

#include <map>
#include <mutex>
#include <string>

#include "platform/app/MessageTarget.h"

class OscTarget : public MessageTarget {
 public:
  explicit OscTarget(const char* url);
  // The server at host and port (numbers, as a sender's address gives them), with addresses
  // under prefix ("/zanvel").
  OscTarget(const char* host, const char* port, const char* prefix);
  ~OscTarget() override;

  // Messages with this code go to prefix + "/" + name instead. Call before the target is
  // shared.
  void SetAddressName(uint32 what, const std::string& name) { fNames[what] = name; }

  bool IsValid() override { return fAddress != nullptr; }
  // B_ERROR when liblo cannot send; the timeout does not apply to a datagram.
  status_t Send(const BMessage& message, bigtime_t timeout) override;

  // The OSC address a message with this code goes to.
  std::string AddressFor(uint32 what) const;

 private:
  std::mutex fMutex;
  void* fAddress = nullptr;  // lo_address
  std::string fPrefix;
  std::map<uint32, std::string> fNames;
};
