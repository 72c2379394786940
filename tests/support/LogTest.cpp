// Diagnostics by level: what ZANVEL_LOG lets through, and that each message is one whole line
// even when threads log at once.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/support/Log.h"

namespace {

class LogTest : public ::testing::Test {
 protected:
  void TearDown() override { SetLogLevel(LogLevel::kWarn); }
};

TEST_F(LogTest, NamesOfLevelsAreReadAndAnythingElseIsRefused) {
  LogLevel level = LogLevel::kWarn;
  EXPECT_TRUE(ParseLogLevel("debug", &level));
  EXPECT_EQ(level, LogLevel::kDebug);
  EXPECT_TRUE(ParseLogLevel("ERROR", &level));
  EXPECT_EQ(level, LogLevel::kError);
  for (const char* bad : {"", "verbose", "warning", "2"}) {
    level = LogLevel::kInfo;
    EXPECT_FALSE(ParseLogLevel(bad, &level)) << bad;
    EXPECT_EQ(level, LogLevel::kInfo) << bad;
  }
  EXPECT_FALSE(ParseLogLevel(nullptr, &level));
}

TEST_F(LogTest, OnlyMessagesAtOrAboveTheLevelAreWrittenEachAsOneLine) {
  SetLogLevel(LogLevel::kWarn);
  ::testing::internal::CaptureStderr();
  Log(LogLevel::kError, "broken %d", 1);
  Log(LogLevel::kWarn, "refused %s", "x");
  Log(LogLevel::kInfo, "hidden");
  Log(LogLevel::kDebug, "hidden too");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "broken 1\nrefused x\n");

  SetLogLevel(LogLevel::kError);
  ::testing::internal::CaptureStderr();
  Log(LogLevel::kWarn, "refused");
  Log(LogLevel::kError, "broken");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "broken\n");

  // A message longer than the line buffer is cut, never left without its line end.
  SetLogLevel(LogLevel::kDebug);
  ::testing::internal::CaptureStderr();
  Log(LogLevel::kDebug, "%s", std::string(5000, 'a').c_str());
  const std::string cut = ::testing::internal::GetCapturedStderr();
  ASSERT_FALSE(cut.empty());
  EXPECT_EQ(cut.back(), '\n');
  EXPECT_LT(cut.size(), 5000u);
}

TEST_F(LogTest, LinesOfThreadsLoggingAtOnceNeverMix) {
  SetLogLevel(LogLevel::kInfo);
  ::testing::internal::CaptureStderr();
  std::vector<std::thread> threads;
  for (char c : {'a', 'b', 'c', 'd'})
    threads.emplace_back([c] {
      const std::string text(200, c);
      for (int i = 0; i < 200; i++) Log(LogLevel::kInfo, "%s", text.c_str());
    });
  for (std::thread& t : threads) t.join();
  const std::string out = ::testing::internal::GetCapturedStderr();
  size_t lines = 0;
  for (size_t start = 0; start < out.size();) {
    const size_t end = out.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = out.substr(start, end - start);
    ASSERT_EQ(line, std::string(200, line[0]));
    lines++;
    start = end + 1;
  }
  EXPECT_EQ(lines, 800u);
}

}  // namespace
