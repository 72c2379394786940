// The whole program next to peers that stop taking what it sends: a receiving program
// stopped with SIGSTOP (as Ctrl-Z does), and a standard output whose reader went away. The
// frames, the commands and quitting must never wait for either.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../midi/JackPeer.h"
#include "ChildProcess.h"
#include "SerialLines.h"
#include "RuntimeFolder.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kZanvel = ZANVEL_BINARY;
const std::string kSend = ZANVEL_SEND;
const std::string kListen = ZANVEL_LISTEN;
const std::string kSignature = "application/x-vnd.morl-Zanvel";
const std::string kReceiver = "application/x-vnd.zanvel-test-stalled-receiver";

// ---- The lines Zanvel prints on standard error when an output starts dropping messages
// for a receiver that does not take them, and when it stops dropping. Their wording is the
// interpreter's; this is the only place that knows it.
bool IsDroppingReport(const std::string& line, const std::string& output) {
  return line.find(output) != std::string::npos;
}
const std::string kPositionOutput = "Position to Target App";
// ----

bool StartsWith(const std::string& line, const std::string& prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}
bool Contains(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }
bool IsFps(const std::string& l) { return l.size() > 4 && l.compare(l.size() - 4, 4, " fps") == 0; }

int Send(const std::vector<std::string>& words, int timeoutMs = 10000) {
  return SendCommand(kSend, kSignature, words, timeoutMs);
}

// A command that only the application thread answers, by refusing it on standard error:
// once that line is out, every command sent before it has been applied.
const std::vector<std::string> kRefusedCommand = {"stac"};
bool IsRefusal(const std::string& l) { return Contains(l, "command 'stac' ignored"); }

// Zanvel on the test pattern with a JACK server for its MIDI port, two pseudo-terminal serial
// lines, and a listener under a signature of the test's own.
class StalledPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fJack.Up()) << "jackd -d dummy did not come up";
    setenv("ZANVEL_MIDI_API", "jack", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Two serial lines: Zanvel opens the second for the LCS controller.
    ASSERT_TRUE(fLines.Ok());
    fLines.Export();

    ChildOptions errors;
    errors.collectErrors = true;
    listener = std::make_unique<ChildProcess>(std::vector<std::string>{kListen, kReceiver}, errors);
    ASSERT_TRUE(listener->Started());
    // Switching an output on before the receiver registered would launch it and alert.
    ASSERT_TRUE(listener->WaitForErrorLines([](const std::string& l) { return Contains(l, "listening as"); }, 1,
                                            10s));
  }

  void TearDown() override {
    // Whatever happened, the listener runs again before Zanvel is stopped.
    if (listener)
      listener->Signal(SIGCONT);
    zanvel.reset();
    listener.reset();
  }

  void StartZanvel(ChildOptions options = {}) {
    options.collectErrors = true;
    zanvel = std::make_unique<ChildProcess>(
        std::vector<std::string>{kZanvel, "--size", "160x120", "--video", "test"}, options);
  }

  // Examples and a key frame, then positions and matches to the listener.
  void SwitchOutputsOn() {
    ASSERT_EQ(Send({"addi"}), 0);
    std::this_thread::sleep_for(700ms);
    ASSERT_EQ(Send({"addi"}), 0);
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(Send({"addk"}), 0);
    ASSERT_EQ(Send({"stas", "source:string=" + kReceiver}), 0);
    ASSERT_EQ(Send({"stac", "source:string=posi"}), 0);
    ASSERT_EQ(Send({"smas", "source:string=" + kReceiver}), 0);
    ASSERT_EQ(Send({"smac", "source:string=mtch"}), 0);
    ASSERT_EQ(Send({"ptta", "source:bool=true"}), 0);
    ASSERT_EQ(Send({"mtta", "source:bool=true"}), 0);
  }

  // Frame-rate lines per second over the next `span`.
  double FpsRate(std::chrono::milliseconds span) {
    const size_t first = zanvel->CountLines(IsFps);
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_until(start + span);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return double(zanvel->CountLines(IsFps) - first) / seconds;
  }

  size_t CountPositionReports(size_t fromErrorLine) {
    std::vector<std::string> lines = zanvel->ErrorLines();
    size_t n = 0;
    for (size_t i = fromErrorLine; i < lines.size(); i++)
      n += IsDroppingReport(lines[i], kPositionOutput) ? 1 : 0;
    return n;
  }

  // Waits until `count` reports appeared from that line on.
  bool WaitForPositionReports(size_t fromErrorLine, size_t count, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (CountPositionReports(fromErrorLine) < count) {
      if (Clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(50ms);
    }
    return true;
  }

  PrivateRuntimeFolder fRuntime;
  JackServer fJack;
  SerialLines fLines;
  std::unique_ptr<ChildProcess> listener;
  std::unique_ptr<ChildProcess> zanvel;
};

TEST_F(StalledPeers, AStoppedReceiverStopsNeitherFramesNorCommandsNorQuitting) {
  StartZanvel();
  ASSERT_TRUE(zanvel->WaitForLines([](const std::string& l) { return l == "SetUpNodes OK!"; }, 1, 60s))
      << "Zanvel did not build its media graph";
  ASSERT_TRUE(zanvel->WaitForLines(IsFps, 10, 30s));
  SwitchOutputsOn();
  auto position = [](const std::string& l) { return StartsWith(l, "posi "); };
  ASSERT_TRUE(listener->WaitForLines(position, 5, 30s)) << "no positions reached the listener";
  EXPECT_TRUE(listener->WaitForLines([](const std::string& l) { return StartsWith(l, "mtch "); }, 1, 30s))
      << "no match reached the listener";

  const double before = FpsRate(5s);
  ASSERT_GT(before, 2.0) << "the test pattern hardly runs";

  // Stopped, the listener's socket still takes some seconds of messages (at 30 fps the
  // old synchronous sends stalled after about 9 s); 15 s of it, in three parts.
  const size_t errorsAtStop = zanvel->ErrorLines().size();
  listener->Signal(SIGSTOP);
  for (int part = 0; part < 2; part++)
    EXPECT_GE(FpsRate(5s), before / 3) << "frames waited for the stopped receiver (before: " << before
                                       << " fps, seconds " << part * 5 << " to " << part * 5 + 5 << ")";

  // The last part: the socket is full by now. A command (it takes the interpreter's state)
  // is applied meanwhile.
  const size_t fpsAtCommand = zanvel->CountLines(IsFps);
  const Clock::time_point sent = Clock::now();
  const size_t refusals = zanvel->CountErrorLines(IsRefusal);
  EXPECT_EQ(Send({"stac", "source:string=pos2"}, 3000), 0);
  EXPECT_EQ(Send(kRefusedCommand, 3000), 0);
  EXPECT_TRUE(zanvel->WaitForErrorLines(IsRefusal, refusals + 1, 4s))
      << "a command waited for the stopped receiver";
  EXPECT_LT(Clock::now() - sent, 5s);
  std::this_thread::sleep_until(sent + 5s);
  const double last = double(zanvel->CountLines(IsFps) - fpsAtCommand) /
                      std::chrono::duration<double>(Clock::now() - sent).count();
  EXPECT_GE(last, before / 3) << "frames waited for the stopped receiver (before: " << before
                              << " fps, seconds 10 to 15)";
  // One line when dropping starts, not one per dropped message.
  EXPECT_GE(CountPositionReports(errorsAtStop), 1u) << "nothing said the positions are being dropped";
  EXPECT_LE(CountPositionReports(errorsAtStop), 2u);

  // Running again, the listener gets fresh positions (made after the code changed) without
  // the output being switched on again.
  listener->Signal(SIGCONT);
  EXPECT_TRUE(listener->WaitForLines([](const std::string& l) { return StartsWith(l, "pos2 "); }, 5, 15s))
      << "positions did not come back after the receiver ran again";
  EXPECT_TRUE(WaitForPositionReports(errorsAtStop, 2, 5s)) << "nothing said the positions are delivered again";
  EXPECT_LE(CountPositionReports(errorsAtStop), 3u);

  // Quitting while the receiver is stopped again, once its socket is full (the output says
  // it drops, or surely after 15 s): nothing waits for it.
  const size_t errorsAtSecondStop = zanvel->ErrorLines().size();
  listener->Signal(SIGSTOP);
  WaitForPositionReports(errorsAtSecondStop, 1, 15s);
  const Clock::time_point quit = Clock::now();
  EXPECT_EQ(Send({"_QRQ"}, 3000), 0);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(quit + 3s - Clock::now());
  const bool ended = zanvel->WaitForExit(left);
  EXPECT_TRUE(ended) << "Zanvel did not quit within 3 s while the receiver was stopped";
  if (ended) {
    EXPECT_EQ(zanvel->ExitCode(), 0);
  }
}

TEST_F(StalledPeers, StandardOutputClosedByItsReaderEndsNothing) {
  // `zanvel | head -1`: the reader takes one line and goes.
  ChildOptions headOne;
  headOne.closeOutputAfter = 1;
  StartZanvel(headOne);
  ASSERT_TRUE(zanvel->WaitForLines([](const std::string&) { return true; }, 1, 30s));

  // Its trace lines now meet a closed pipe; positions reaching the listener show the frames
  // go on. Commands are refused until start-up is done, so they are repeated until then.
  auto position = [](const std::string& l) { return StartsWith(l, "posi "); };
  bool arriving = false;
  for (int attempt = 0; attempt < 20 && !arriving && zanvel->Running(); attempt++) {
    Send({"stas", "source:string=" + kReceiver});
    Send({"stac", "source:string=posi"});
    Send({"ptta", "source:bool=true"});
    arriving = listener->WaitForLines(position, 1, 3s);
  }
  ASSERT_TRUE(zanvel->Running()) << "Zanvel ended (signal " << zanvel->TermSignal() << ")";
  ASSERT_TRUE(arriving) << "no positions reached the listener";
  const size_t count = listener->CountLines(position);
  EXPECT_TRUE(listener->WaitForLines(position, count + 10, 10s)) << "frames stopped after the pipe closed";

  const size_t refusals = zanvel->CountErrorLines(IsRefusal);
  EXPECT_EQ(Send(kRefusedCommand), 0);
  EXPECT_TRUE(zanvel->WaitForErrorLines(IsRefusal, refusals + 1, 5s)) << "commands are no longer answered";

  ASSERT_EQ(Send({"_QRQ"}), 0);
  ASSERT_TRUE(zanvel->WaitForExit(30s)) << "Zanvel did not quit";
  EXPECT_NE(zanvel->TermSignal(), SIGPIPE) << "the closed pipe ended Zanvel";
  EXPECT_EQ(zanvel->ExitCode(), 0);
}

}  // namespace
