#pragma once
// Zanvel's command-line options. Nothing is needed to start; every option answers in
// advance a question the program would otherwise ask, or picks a device.

#include <string>

struct CommandLine {
  // Analysis size chosen in advance (0 when the size chooser is to ask).
  int width = 0;
  int height = 0;
  // Video input: "test", a file path or "pipeline:..."; empty keeps the environment's choice.
  std::string video;
  // No windows and no window system: alerts go to standard error, nothing waits for a person.
  bool headless = false;
  // UDP port of the OSC control server; 0 starts none.
  int oscPort = 0;
  // Address the OSC server listens on.
  std::string oscBind = "127.0.0.1";
  // Session file to load at start ("last": the autosave); empty starts afresh.
  std::string session;
  bool help = false;
  bool version = false;
  // Why parsing failed; empty on success.
  std::string error;
};

// Parses argv; unknown options and malformed values fill `error`.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// The --help text.
std::string CommandLineUsage(const char* program);

// Index of the size-chooser button that gives width x height, or -1 for another size.
int SizeChoiceFor(int width, int height);
