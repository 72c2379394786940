#include "platform/app/OscTarget.h"

#include <lo/lo.h>

#include <cstdlib>
#include <cstring>

OscTarget::OscTarget(const char* url) {
  if (url == nullptr) return;
  char* host = lo_url_get_hostname(url);
  char* port = lo_url_get_port(url);
  bool complete = host != nullptr && host[0] != '\0' && port != nullptr && port[0] != '\0';
  free(host);
  free(port);
  if (!complete) return;
  lo_address address = lo_address_new_from_url(url);
  if (address == nullptr) return;
  fAddress = address;
  // The prefix is everything from the first slash after host:port (liblo's own path
  // lookup misreads a URL that has none).
  const char* afterScheme = strstr(url, "://");
  const char* slash = afterScheme != nullptr ? strchr(afterScheme + 3, '/') : nullptr;
  if (slash != nullptr) fPrefix = slash;
  while (!fPrefix.empty() && fPrefix.back() == '/') fPrefix.pop_back();
  if (!fPrefix.empty() && fPrefix[0] != '/') fPrefix.insert(fPrefix.begin(), '/');
}

OscTarget::OscTarget(const char* host, const char* port, const char* prefix) {
  if (host == nullptr || port == nullptr) return;
  fAddress = lo_address_new(host, port);
  fPrefix = prefix != nullptr ? prefix : "";
  while (!fPrefix.empty() && fPrefix.back() == '/') fPrefix.pop_back();
  if (!fPrefix.empty() && fPrefix[0] != '/') fPrefix.insert(fPrefix.begin(), '/');
}

OscTarget::~OscTarget() {
  if (fAddress != nullptr) lo_address_free(static_cast<lo_address>(fAddress));
}

std::string OscTarget::AddressFor(uint32 what) const {
  static const char kHex[] = "0123456789ABCDEF";
  std::string address = fPrefix + "/";
  if (auto named = fNames.find(what); named != fNames.end()) return address + named->second;
  for (int shift = 24; shift >= 0; shift -= 8) {
    unsigned char c = static_cast<unsigned char>(what >> shift);
    if (c == 0) break;
    bool allowed = c > ' ' && c < 0x7f && strchr("#*,/?[]{}%", c) == nullptr;
    if (allowed) {
      address += char(c);
    } else {
      address += '%';
      address += kHex[c >> 4];
      address += kHex[c & 15];
    }
  }
  return address;
}

status_t OscTarget::Send(const BMessage& message, bigtime_t) {
  if (fAddress == nullptr) return B_BAD_PORT_ID;
  lo_message osc = lo_message_new();
  if (osc == nullptr) return B_NO_MEMORY;
  for (int32 i = 0; i < message.CountFields(); i++) {
    const BMessage::Field* f = message.FieldAt(i);
    switch (f->type) {
      case B_INT32_TYPE:
        lo_message_add_int32(osc, std::get<int32>(f->value));
        break;
      case B_FLOAT_TYPE:
        lo_message_add_float(osc, std::get<float>(f->value));
        break;
      case B_STRING_TYPE:
        lo_message_add_string(osc, std::get<std::string>(f->value).c_str());
        break;
      case B_BOOL_TYPE:
        if (std::get<bool>(f->value))
          lo_message_add_true(osc);
        else
          lo_message_add_false(osc);
        break;
    }
  }
  std::string path = AddressFor(message.what);
  int sent;
  {
    std::lock_guard<std::mutex> lock(fMutex);
    sent = lo_send_message(static_cast<lo_address>(fAddress), path.c_str(), osc);
  }
  lo_message_free(osc);
  return sent < 0 ? B_ERROR : B_OK;
}
