// Diagnostics by level: what ZANVEL_LOG lets through, and that each message is one whole line
// even when threads log at once.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

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

// A reader that stopped must not stop the thread that logs (it may be the frame thread): with
// standard error a full pipe, the line is lost and Log returns. A blocking write would hang here.
TEST_F(LogTest, AFullPipeOnStandardErrorLosesTheLineInsteadOfWaiting) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK);
  const std::string filler(4096, 'x');
  while (write(pipeEnds[1], filler.data(), filler.size()) > 0) {
  }
  fcntl(pipeEnds[1], F_SETFL, 0);  // as a real standard error is: blocking
  const int saved = dup(STDERR_FILENO);
  ASSERT_GE(saved, 0);
  ASSERT_EQ(dup2(pipeEnds[1], STDERR_FILENO), STDERR_FILENO);
  Log(LogLevel::kError, "nobody reads this");
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(pipeEnds[0]);
  close(pipeEnds[1]);
  SUCCEED();
}

}  // namespace
