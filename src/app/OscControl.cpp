#include "app/OscControl.h"

#include <cstdio>
#include <cstring>

#include "platform/app/AppDefs.h"
#include "platform/app/BLooper.h"
#include "app/CommandText.h"
#include "platform/app/OscReceiver.h"
#include "platform/app/OscTarget.h"
#include "app/Zanvel.h"
#include "platform/support/Log.h"

namespace {

constexpr const char kPrefix[] = "/zanvel";

struct CommandValue {
  const char code[5];
  const char* field;
};

// Every command of the application's table and the field its value travels in.
constexpr CommandValue kCommands[] = {
    {"abut", ""},       {"addi", ""},       {"addk", ""},       {"bkdx", "index"},
    {"blii", "source"}, {"cl2k", ""},       {"clkf", ""},       {"clma", ""},
    {"lcsp", "port"},   {"lcss", "source"}, {"lcsz", "index"},  {"mm2m", "source"},
    {"mn2m", "source"}, {"mn2s", "source"}, {"mtta", "source"}, {"ntom", "source"},
    {"ntos", "source"}, {"pkdx", "source"}, {"port", "port"},   {"ptta", "source"},
    {"smac", "source"}, {"smap", ""},       {"smas", "source"}, {"smii", "source"},
    {"smoo", "source"}, {"stac", "source"}, {"stap", ""},       {"stas", "source"},
    {"stat", ""},       {"stop", ""},       {"strt", ""},       {"vdeo", ""},
    {"_QRQ", ""},
};

void Refuse(uint32 code, const char* why) {
  Log(LogLevel::kWarn, "Zanvel: OSC command '%s' ignored: %s", CommandCodeText(code).c_str(), why);
}

}  // namespace

const char* OscControl::ValueField(uint32 code) {
  for (const CommandValue& command : kCommands) {
    if (PackCommandCode(command.code) == code)
      return command.field;
  }
  return nullptr;
}

OscControl::OscControl(BLooper* application, const char* bindAddress, int port) {
  fReceiver = std::make_unique<OscReceiver>(
      bindAddress, port, kPrefix,
      [this, application](uint32 code, std::vector<OscReceiver::Argument>&& arguments,
                          std::shared_ptr<OscTarget> sender) {
        const char* field = ValueField(code);
        if (field == nullptr) {
          Refuse(code, "no such command (docs/commands.md lists them)");
          return;
        }
        if (arguments.size() > 1) {
          Refuse(code, "takes at most one argument");
          return;
        }
        if (field[0] == '\0' && !arguments.empty()) {
          Refuse(code, "takes no argument");
          return;
        }
        BMessage message(code);
        if (!arguments.empty()) {
          const OscReceiver::Argument& argument = arguments.front();
          status_t added = B_OK;
          switch (argument.type) {
            case B_INT32_TYPE: added = message.AddInt32(field, argument.i); break;
            case B_FLOAT_TYPE: added = message.AddFloat(field, argument.f); break;
            case B_BOOL_TYPE: added = message.AddBool(field, argument.b); break;
            default: added = message.AddString(field, argument.s); break;
          }
          if (added != B_OK) {
            Refuse(code, "the argument is too long");
            return;
          }
        }
        sender->SetAddressName(kStatusReply, "status");
        message.SetReturnAddress(std::move(sender));
        application->PostMessageWaiting(std::move(message), fStopping);
      });
}

OscControl::~OscControl() {
  // A handler waiting for room in the queue gives up, then the thread ends.
  fStopping.store(true);
  fReceiver.reset();
}

status_t OscControl::InitCheck() const { return fReceiver->InitCheck(); }

const std::string& OscControl::Error() const { return fReceiver->Error(); }
