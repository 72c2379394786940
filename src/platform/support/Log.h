#pragma once
// Diagnostics: one line on standard error per message, at a level. ZANVEL_LOG=error|warn|info|debug
// chooses how much is written (default warn). The program's own trace lines on standard output
// (the media graph's, the frame rate) are not diagnostics and never go through here.

enum class LogLevel { kError = 0, kWarn = 1, kInfo = 2, kDebug = 3 };

// Reads a level's name; false (and *level unchanged) for anything else.
bool ParseLogLevel(const char* name, LogLevel* level);

// The level in effect: ZANVEL_LOG at the first call (a value that is not a level says so once
// and keeps the default), or what SetLogLevel set since.
LogLevel CurrentLogLevel();
void SetLogLevel(LogLevel level);

inline bool LogEnabled(LogLevel level) { return static_cast<int>(level) <= static_cast<int>(CurrentLogLevel()); }

// Writes the formatted message and a line end as one write, so that lines of several threads
// never mix. Safe from any thread; it never waits: a line standard error cannot take at once
// (a full pipe, a reader that stopped) is lost.
void Log(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));
