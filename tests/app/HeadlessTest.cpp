// The real program without a window system, on the test pattern: commands through its
// signature and through OSC, the status answer to both, alerts that never hold the command
// queue, and the quit paths (SIGTERM, the quit command). Last, the window version (Qt's
// offscreen platform): an alert raised by another program's command stands without modal
// hold while the commands after it run.

#include <gtest/gtest.h>

#include <lo/lo.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "../midi/JackPeer.h"
#include "../peers/TempFolder.h"
#include "ChildProcess.h"
#include "SerialLines.h"

namespace {

using namespace std::chrono_literals;

const std::string kZanvel = ZANVEL_BINARY;
const std::string kSend = ZANVEL_SEND;
const std::string kSignature = "application/x-vnd.morl-Zanvel";

bool StartsWith(const std::string& line, const std::string& prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}
bool Contains(const std::string& line, const std::string& part) {
  return line.find(part) != std::string::npos;
}

int Send(const std::vector<std::string>& words) { return SendCommand(kSend, kSignature, words); }

// The fields of `stat` as zanvel-send --wait-reply prints them; empty when no answer came.
std::map<std::string, std::string> LocalStatus() {
  ChildProcess send({kSend, "--timeout", "10000", "--wait-reply", kSignature, "stat"});
  std::map<std::string, std::string> fields;
  if (!send.WaitForExit(30s) || send.ExitCode() != 0 || send.Lines().size() != 1)
    return fields;
  std::istringstream words(send.Lines()[0]);
  std::string word;
  words >> word;
  if (word != "STAT")
    return fields;
  while (words >> word) {
    const size_t eq = word.find('=');
    if (eq != std::string::npos)
      fields[word.substr(0, eq)] = word.substr(eq + 1);
  }
  return fields;
}

// Asks for the status until `done` holds; the last answer.
std::map<std::string, std::string> WaitForStatus(
    const std::function<bool(std::map<std::string, std::string>&)>& done, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::map<std::string, std::string> status;
  do {
    status = LocalStatus();
    if (!status.empty() && done(status))
      break;
    std::this_thread::sleep_for(200ms);
  } while (std::chrono::steady_clock::now() < deadline);
  return status;
}

auto Counts(const std::string& examples, const std::string& keyframes) {
  return [=](std::map<std::string, std::string>& s) {
    return s["examples"] == examples && s["keyframes"] == keyframes;
  };
}

// A UDP port nobody uses at this moment.
int FreeUdpPort() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

// An OSC controller: sends from its own port and collects what comes back to it.
class OscClient {
 public:
  explicit OscClient(int zanvelPort) {
    fServer = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
    fZanvel = lo_address_new("127.0.0.1", std::to_string(zanvelPort).c_str());
    lo_server_add_method(fServer, nullptr, nullptr, &OscClient::Take, this);
  }
  ~OscClient() {
    lo_address_free(fZanvel);
    lo_server_free(fServer);
  }
  bool Ok() const { return fServer != nullptr && fZanvel != nullptr; }

  // types: as liblo's lo_send ("", "T", "i", "s"); values follow.
  template <typename... Values>
  void Send(const char* path, const char* types, Values... values) {
    lo_message message = lo_message_new();
    lo_message_add(message, types, values...);
    lo_send_message_from(fZanvel, fServer, path, message);
    lo_message_free(message);
  }

  struct Received {
    std::string path;
    std::string types;
    std::vector<int32_t> ints;
  };
  // Waits for the next message that reaches the client.
  bool WaitFor(Received* received, std::chrono::milliseconds timeout) {
    fGot.reset();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fGot && std::chrono::steady_clock::now() < deadline)
      lo_server_recv_noblock(fServer, 100);
    if (fGot)
      *received = *fGot;
    return bool(fGot);
  }

 private:
  static int Take(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* self) {
    Received got{path, types, {}};
    for (int i = 0; i < argc; i++) {
      if (types[i] == LO_INT32)
        got.ints.push_back(argv[i]->i);
    }
    static_cast<OscClient*>(self)->fGot = got;
    return 0;
  }

  lo_server fServer = nullptr;
  lo_address fZanvel = nullptr;
  std::optional<Received> fGot;
};

// The program's environment: no window system, no MIDI service, private folders.
class HeadlessRun : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("ZANVEL_MIDI_API", "none", 1);
    setenv("ZANVEL_SERIAL_DEVICES", "", 1);
    // No launch may find a real program, and nothing is written into the user's folders.
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
      const std::string path = fHome.Path() + "/" + name;
      std::filesystem::create_directories(path);
      setenv(name, path.c_str(), 1);
    }
    setenv("XDG_DATA_DIRS", (fHome.Path() + "/none").c_str(), 1);
  }

  static bool Fps(const std::string& l) { return l.size() > 4 && l.compare(l.size() - 4, 4, " fps") == 0; }

  PrivateRuntimeFolder fRuntime;
  TempFolder fHome;
};

TEST_F(HeadlessRun, CommandsBySignatureAndOscAnswerStatusAndAlertsNeverHoldTheQueue) {
  const int port = FreeUdpPort();
  ASSERT_GT(port, 0);
  ChildProcess zanvel({kZanvel, "--headless", "--video", "test", "--osc-port", std::to_string(port)},
                      ChildOptions{true, 0});
  ASSERT_TRUE(zanvel.Started());
  ASSERT_TRUE(zanvel.WaitForLines([](const std::string& l) { return l == "SetUpNodes OK!"; }, 1, 60s))
      << "no media graph without a window system";
  ASSERT_TRUE(zanvel.WaitForLines(Fps, 5, 30s)) << "frames are not analysed";
  // The analysis size nobody chose: 320x240. Every alert so far is one line of its own
  // (no MIDI service, no serial line), and nothing waited for an answer.
  std::map<std::string, std::string> status = LocalStatus();
  ASSERT_FALSE(status.empty()) << "no answer to stat";
  EXPECT_EQ(status["width"], "320");
  EXPECT_EQ(status["height"], "240");
  EXPECT_EQ(status["session"], "\"\"");
  for (const char* field : {"examples", "keyframes", "fps", "ptta", "ptta_sent", "ptta_dropped",
                            "ptta_failed", "lcss_failed", "midi", "serial"})
    EXPECT_EQ(status.count(field), 1u) << field;
  EXPECT_GT(std::stof(status["fps"]), 0.0f);
  EXPECT_GE(zanvel.CountErrorLines([](const std::string& l) { return StartsWith(l, "alert \"\": can't open"); }), 1u);

  // An example by signature, a key frame and another example by OSC.
  ASSERT_EQ(Send({"addi"}), 0);
  status = WaitForStatus(Counts("1", "0"), 30s);
  EXPECT_EQ(status["examples"], "1");
  OscClient osc(port);
  ASSERT_TRUE(osc.Ok());
  osc.Send("/zanvel/addk", "");
  status = WaitForStatus(Counts("1", "1"), 30s);
  EXPECT_EQ(status["keyframes"], "1");
  osc.Send("/zanvel/addi", "");
  status = WaitForStatus(Counts("2", "1"), 30s);
  EXPECT_EQ(status["examples"], "2");

  // The same status over OSC, at /zanvel/status to the sender's port, values in order.
  osc.Send("/zanvel/stat", "");
  OscClient::Received reply;
  ASSERT_TRUE(osc.WaitFor(&reply, 20s)) << "no OSC answer to stat";
  EXPECT_EQ(reply.path, "/zanvel/status");
  ASSERT_GE(reply.ints.size(), 2u);
  EXPECT_EQ(reply.ints[0], 2);
  EXPECT_EQ(reply.ints[1], 1);
  EXPECT_EQ(reply.types.size(), status.size()) << reply.types;
  EXPECT_EQ(reply.types.substr(0, 3), "iif") << reply.types;

  // Refused over OSC, with a line each, changing nothing: an unknown code, an argument to a
  // command without a value, a check box given a string, an address outside /zanvel.
  osc.Send("/zanvel/nope", "");
  osc.Send("/zanvel/addi", "i", 1);
  osc.Send("/zanvel/smoo", "s", "yes");
  osc.Send("/other/addi", "");
  EXPECT_TRUE(zanvel.WaitForErrorLines([](const std::string& l) { return Contains(l, "'nope' ignored"); }, 1, 20s));
  EXPECT_TRUE(zanvel.WaitForErrorLines([](const std::string& l) { return Contains(l, "'addi' ignored: takes no argument"); }, 1, 20s));
  EXPECT_TRUE(zanvel.WaitForErrorLines([](const std::string& l) { return Contains(l, "'smoo' ignored"); }, 1, 20s));
  EXPECT_TRUE(zanvel.WaitForErrorLines([](const std::string& l) { return Contains(l, "at /other/addi"); }, 1, 20s));
  EXPECT_TRUE(Counts("2", "1")(status = LocalStatus()));

  // Commands that raise alerts: a serial line that does not exist, positions to a program
  // that is not running (after its launch wait), the about box with its three lines. Each
  // alert is one line on standard error, and the commands sent behind them take effect.
  const size_t alertsBefore = zanvel.CountErrorLines([](const std::string& l) { return StartsWith(l, "alert "); });
  ASSERT_EQ(Send({"lcsp", "port:string=/dev/zanvel-test-no-such-line"}), 0);
  ASSERT_EQ(Send({"stas", "source:string=application/x-vnd.zanvel-test-nobody"}), 0);
  osc.Send("/zanvel/ptta", "T");
  ASSERT_EQ(Send({"abut"}), 0);
  ASSERT_EQ(Send({"clkf"}), 0);
  osc.Send("/zanvel/addi", "");
  status = WaitForStatus(Counts("3", "0"), 30s);
  EXPECT_EQ(status["examples"], "3") << "commands behind the alerts did not run";
  EXPECT_EQ(status["keyframes"], "0");
  EXPECT_EQ(status["ptta"], "true");
  EXPECT_TRUE(zanvel.WaitForErrorLines(
      [](const std::string& l) { return StartsWith(l, "alert \"\": can't open /dev/zanvel-test-no-such-line"); }, 1, 20s));
  EXPECT_TRUE(zanvel.WaitForErrorLines(
      [](const std::string& l) {
        return StartsWith(l, "alert \"\": Problem launching target app") && Contains(l, "x-vnd.zanvel-test-nobody");
      },
      1, 30s));
  EXPECT_TRUE(zanvel.WaitForErrorLines(
      [](const std::string& l) { return StartsWith(l, "alert \"About Zanvel\": Zanvel") && Contains(l, " / by the"); }, 1, 20s));
  EXPECT_EQ(zanvel.CountErrorLines([](const std::string& l) { return StartsWith(l, "alert "); }), alertsBefore + 3);
  status = WaitForStatus([](auto& s) { return s["ptta_failed"] != "0"; }, 20s);
  EXPECT_NE(status["ptta_failed"], "0") << "the missing receiver is not counted";

  // SIGTERM quits through the normal path.
  zanvel.Signal(SIGTERM);
  ASSERT_TRUE(zanvel.WaitForExit(30s)) << "SIGTERM did not end Zanvel";
  EXPECT_EQ(zanvel.ExitCode(), 0);
  EXPECT_EQ(zanvel.CountLines([](const std::string& l) { return l == "stopping nodes!"; }), 1u);
  EXPECT_EQ(zanvel.CountLines([](const std::string& l) { return l == "Zanvel::~Zanvel - EXIT"; }), 1u);
}

// The socket inodes of a process that are UDP or TCP sockets.
std::set<std::string> NetworkSockets(pid_t pid) {
  std::set<std::string> owned;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (StartsWith(target, "socket:["))
      owned.insert(target.substr(8, target.size() - 9));
  }
  std::set<std::string> network;
  for (const char* table : {"/proc/net/udp", "/proc/net/udp6", "/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream lines(table);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
      std::istringstream words(line);
      std::string word;
      for (int i = 0; i < 10 && words >> word; i++) {
      }
      if (owned.count(word))
        network.insert(word);
    }
  }
  return network;
}

TEST_F(HeadlessRun, ListensOnNoNetworkUnlessAskedAndQuitsOnTheQuitCommand) {
  ChildProcess zanvel({kZanvel, "--headless", "--size", "80x60", "--video", "test"}, ChildOptions{true, 0});
  ASSERT_TRUE(zanvel.Started());
  ASSERT_TRUE(zanvel.WaitForLines(Fps, 3, 60s));
  std::map<std::string, std::string> status = LocalStatus();
  EXPECT_EQ(status["width"], "80");
  EXPECT_TRUE(NetworkSockets(zanvel.Pid()).empty());

  ASSERT_EQ(Send({"_QRQ"}), 0);
  ASSERT_TRUE(zanvel.WaitForExit(30s)) << "the quit command did not end Zanvel";
  EXPECT_EQ(zanvel.ExitCode(), 0);
  EXPECT_EQ(zanvel.CountLines([](const std::string& l) { return l == "Zanvel::~Zanvel - EXIT"; }), 1u);
}

TEST_F(HeadlessRun, AVideoInputThatCannotStartEndsTheRunAsAFailure) {
  // What a service manager needs to see to restart it or report it.
  ChildProcess zanvel({kZanvel, "--headless", "--video", "pipeline:zanvel-test-no-such-element"},
                      ChildOptions{true, 0});
  ASSERT_TRUE(zanvel.WaitForExit(60s)) << "Zanvel without video waited for someone";
  EXPECT_EQ(zanvel.ExitCode(), 1);
  EXPECT_EQ(zanvel.CountErrorLines([](const std::string& l) {
    return StartsWith(l, "alert \"\": could not find a video input! / ");
  }), 1u);
}

TEST(WindowedRun, AnotherProgramsAlertDoesNotHoldTheCommandsBehindIt) {
  // The window version opens a MIDI port and the serial line at start: give it both, or
  // their alerts would wait for a click before anything else.
  PrivateRuntimeFolder runtime;
  JackServer jack;
  ASSERT_TRUE(jack.Up()) << "jackd -d dummy did not come up";
  setenv("ZANVEL_MIDI_API", "jack", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  SerialLines serial;
  ASSERT_TRUE(serial.Ok());
  serial.Export();

  ChildProcess zanvel({kZanvel, "--size", "80x60", "--video", "test"}, ChildOptions{true, 0});
  ASSERT_TRUE(zanvel.Started());
  ASSERT_TRUE(zanvel.WaitForLines([](const std::string& l) { return l == "SetUpNodes OK!"; }, 1, 60s));

  // The about box, asked for by another program, stands unanswered; the commands after it run.
  // So does the alert of a serial line that will not open, raised on the output's worker.
  ASSERT_EQ(Send({"abut"}), 0);
  ASSERT_EQ(Send({"lcsp", "port:string=/dev/zanvel-test-no-such-line"}), 0);
  ASSERT_EQ(Send({"addi"}), 0);
  std::map<std::string, std::string> status = WaitForStatus(Counts("1", "0"), 30s);
  EXPECT_EQ(status["examples"], "1") << "the alert held the command queue";
  EXPECT_EQ(zanvel.CountErrorLines([](const std::string& l) { return StartsWith(l, "alert \"About Zanvel\""); }), 1u);
  EXPECT_TRUE(zanvel.WaitForErrorLines(
      [](const std::string& l) { return StartsWith(l, "alert \"\": can't open /dev/zanvel-test-no-such-line"); }, 1, 20s));

  ASSERT_EQ(Send({"_QRQ"}), 0);
  ASSERT_TRUE(zanvel.WaitForExit(30s)) << "Zanvel did not quit with an alert open";
  EXPECT_EQ(zanvel.ExitCode(), 0);
}

}  // namespace
