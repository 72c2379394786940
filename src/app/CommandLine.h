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
  // Session file to load at start ("last": the autosave); empty starts afresh.
  std::string session;
  bool help = false;
  // Why parsing failed; empty on success.
  std::string error;
};

// Parses argv; unknown options and malformed values fill `error`.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// The --help text.
std::string CommandLineUsage(const char* program);

// Index of the size-chooser button that gives width x height, or -1 for another size.
int SizeChoiceFor(int width, int height);
