#include "platform/support/Log.h"

#include "platform/support/TraceLineWriter.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kUnset = -1;
std::atomic<int> gLevel{kUnset};

LogLevel LevelFromEnvironment() {
  LogLevel level = LogLevel::kWarn;
  const char* name = std::getenv("ZANVEL_LOG");
  if (name != nullptr && *name != '\0' && !ParseLogLevel(name, &level)) {
    std::fprintf(stderr, "zanvel: ZANVEL_LOG=%s is not error, warn, info or debug; warn is used\n", name);
  }
  return level;
}

}  // namespace

bool ParseLogLevel(const char* name, LogLevel* level) {
  static constexpr struct {
    const char* name;
    LogLevel level;
  } kLevels[] = {{"error", LogLevel::kError}, {"warn", LogLevel::kWarn}, {"info", LogLevel::kInfo},
                 {"debug", LogLevel::kDebug}};
  if (name == nullptr) return false;
  for (const auto& entry : kLevels) {
    if (strcasecmp(name, entry.name) == 0) {
      *level = entry.level;
      return true;
    }
  }
  return false;
}

LogLevel CurrentLogLevel() {
  int level = gLevel.load(std::memory_order_relaxed);
  if (level == kUnset) {
    int read = static_cast<int>(LevelFromEnvironment());
    // The first reader's answer stands; a racing second one saw the same environment.
    if (gLevel.compare_exchange_strong(level, read, std::memory_order_relaxed)) level = read;
  }
  return static_cast<LogLevel>(level);
}

void SetLogLevel(LogLevel level) { gLevel.store(static_cast<int>(level), std::memory_order_relaxed); }

void Log(LogLevel level, const char* format, ...) {
  if (!LogEnabled(level)) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(line, sizeof line - 1, format, args);
  va_end(args);
  if (length < 0) return;
  // A longer message is cut; the line end always comes.
  size_t size = std::min(static_cast<size_t>(length), sizeof line - 2);
  line[size++] = '\n';
  // A full pipe or a stalled reader loses the line rather than holding the thread that
  // logs, which may be the frame thread.
  static TraceLineWriter errors(STDERR_FILENO);
  errors.Write(line, size);
}
