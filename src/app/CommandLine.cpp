#include "app/CommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Sizes.h"

namespace {

bool ParseSize(const char* text, int* width, int* height) {
  int w = 0;
  int h = 0;
  char tail = 0;
  if (std::sscanf(text, "%dx%d%c", &w, &h, &tail) != 2)
    return false;
  *width = w;
  *height = h;
  return true;
}

}  // namespace

int SizeChoiceFor(int width, int height) {
  for (int i = 0; i < kSizeChoiceCount; i++) {
    if (kSizeChoices[i].width == width && kSizeChoices[i].height == height)
      return i;
  }
  return -1;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine options;
  bool bindGiven = false;
  for (int i = 1; i < argc && options.error.empty(); i++) {
    const char* arg = argv[i];
    // Accept both "--size 80x60" and "--size=80x60".
    const char* value = nullptr;
    std::string name = arg;
    if (const char* eq = std::strchr(arg, '='); eq != nullptr && std::strncmp(arg, "--", 2) == 0) {
      name.assign(arg, eq - arg);
      value = eq + 1;
    }
    auto takeValue = [&]() -> const char* {
      if (value != nullptr)
        return value;
      if (i + 1 < argc)
        return argv[++i];
      options.error = name + " needs a value";
      return nullptr;
    };
    if (name == "-h" || name == "--help") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else if (name == "--size") {
      const char* size = takeValue();
      if (size == nullptr)
        break;
      int w = 0;
      int h = 0;
      if (!ParseSize(size, &w, &h) || SizeChoiceFor(w, h) < 0) {
        options.error = std::string("--size must be 320x240, 160x120 or 80x60, not \"") + size + "\"";
        break;
      }
      options.width = w;
      options.height = h;
    } else if (name == "--video") {
      const char* video = takeValue();
      if (video == nullptr)
        break;
      if (*video == '\0') {
        options.error = "--video needs a source: test, a file or pipeline:...";
        break;
      }
      options.video = video;
    } else if (name == "--headless") {
      if (value != nullptr) {
        options.error = "--headless takes no value";
        break;
      }
      options.headless = true;
    } else if (name == "--osc-port") {
      const char* port = takeValue();
      if (port == nullptr)
        break;
      char* end = nullptr;
      long number = std::strtol(port, &end, 10);
      if (end == port || *end != '\0' || number < 1 || number > 65535) {
        options.error = std::string("--osc-port must be a UDP port, 1 to 65535, not \"") + port + "\"";
        break;
      }
      options.oscPort = int(number);
    } else if (name == "--osc-bind") {
      const char* address = takeValue();
      if (address == nullptr)
        break;
      if (*address == '\0') {
        options.error = "--osc-bind needs an address, such as 127.0.0.1 or 0.0.0.0";
        break;
      }
      options.oscBind = address;
      bindGiven = true;
    } else if (name == "--session") {
      const char* session = takeValue();
      if (session == nullptr)
        break;
      if (*session == '\0') {
        options.error = "--session needs a session file, or \"last\"";
        break;
      }
      options.session = session;
    } else {
      options.error = std::string("unknown option \"") + arg + "\" (see --help)";
    }
  }
  if (options.error.empty() && bindGiven && options.oscPort == 0)
    options.error = "--osc-bind needs --osc-port";
  return options;
}

std::string CommandLineUsage(const char* program) {
  std::string text = "Usage: ";
  text += program;
  text +=
      " [--headless] [--size WxH] [--video SOURCE] [--session PATH|last]\n"
      "       [--osc-port PORT [--osc-bind ADDRESS]] [--version]\n"
      "Watches the video input and turns what it sees into messages, MIDI and LCS data.\n"
      "\n"
      "  --size WxH       analysis size, one of 320x240, 160x120, 80x60;\n"
      "                   without it Zanvel asks at start\n"
      "  --video SOURCE   video input: \"test\" (moving test pattern), \"test:<pattern>\",\n"
      "                   a video file, a /dev/video device, or\n"
      "                   \"pipeline:<GStreamer source description>\";\n"
      "                   without it the ZANVEL_VIDEO setting or the first camera is used\n"
      "  --headless       no windows and no window system: alerts go to standard error,\n"
      "                   the analysis size is 320x240 unless --size says otherwise;\n"
      "                   Ctrl-C or SIGTERM quits\n"
      "  --osc-port PORT  take commands as OSC over UDP on PORT: /zanvel/<code> [value]\n"
      "  --osc-bind ADDRESS  the address that server listens on (default 127.0.0.1;\n"
      "                   0.0.0.0 lets every host that reaches this one send commands)\n"
      "  --version        the version\n"
      "  --session PATH   load this session file once the video is up; \"last\" loads\n"
      "                   the one saved automatically at the last quit; without --size\n"
      "                   the session's analysis size is used\n"
      "  -h, --help       this text\n";
  return text;
}
