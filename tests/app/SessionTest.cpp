// Sessions through the real program: what one run trained and set is saved, and a later run
// started with --session matches the same pictures to the same examples and gives the same
// positions; files that are damaged, truncated, foreign or newer are refused without
// touching the running state, and a save that cannot be written leaves the old file whole.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "../midi/JackPeer.h"
#include "../peers/TempFolder.h"
#include "ChildProcess.h"
#include "SerialLines.h"
#include "session/SessionFile.h"

namespace {

using namespace std::chrono_literals;

const std::string kZanvel = ZANVEL_BINARY;
const std::string kSend = ZANVEL_SEND;
const std::string kListen = ZANVEL_LISTEN;
const std::string kSignature = "application/x-vnd.morl-Zanvel";
const std::string kReceiver = "application/x-vnd.zanvel-session-receiver";
// Two still pictures that the analysis tells apart.
const std::string kBars = "pipeline:videotestsrc pattern=smpte";
const std::string kCheckers = "pipeline:videotestsrc pattern=checkers-8";

int Send(const std::vector<std::string>& words) { return SendCommand(kSend, kSignature, words); }

bool StartsWith(const std::string& line, const std::string& prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}

std::function<bool(const std::string&)> Has(const std::string& text) {
  return [text](const std::string& l) { return l.find(text) != std::string::npos; };
}

std::string Bytes(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[8192];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
    std::fclose(file);
  }
  return bytes;
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

Session Decoded(const std::string& path) {
  Session session;
  std::string why;
  EXPECT_TRUE(LoadSessionFile(path, &session, &why)) << path << ": " << why;
  return session;
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fJack.Up()) << "jackd -d dummy did not come up";
    setenv("ZANVEL_MIDI_API", "jack", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_STATE_HOME", fState.Path().c_str(), 1);
    // Two serial lines: Zanvel opens the second for the LCS controller.
    ASSERT_TRUE(fLines.Ok());
    fLines.Export();
    fListener = std::make_unique<ChildProcess>(std::vector<std::string>{kListen, kReceiver});
    ASSERT_TRUE(fListener->Started());
  }
  // Zanvel on a still picture, its frames analysed.
  // Without a size the session must give one, or the size question would wait for ever.
  std::unique_ptr<ChildProcess> Start(const std::string& video, const std::vector<std::string>& more = {},
                                      bool size = true) {
    std::vector<std::string> argv = {kZanvel, "--video", video};
    if (size) argv.insert(argv.begin() + 1, {"--size", "160x120"});
    argv.insert(argv.end(), more.begin(), more.end());
    auto zanvel = std::make_unique<ChildProcess>(argv, ChildOptions{true, 0});
    EXPECT_TRUE(zanvel->Started());
    EXPECT_TRUE(zanvel->WaitForLines([](const std::string& l) { return l == "SetUpNodes OK!"; }, 1, 60s))
        << "Zanvel did not build its media graph";
    auto fps = [](const std::string& l) { return l.size() > 4 && l.compare(l.size() - 4, 4, " fps") == 0; };
    EXPECT_TRUE(zanvel->WaitForLines(fps, 5, 30s));
    return zanvel;
  }

  static void Quit(ChildProcess& zanvel) {
    ASSERT_EQ(Send({"_QRQ"}), 0);
    ASSERT_TRUE(zanvel.WaitForExit(30s)) << "Zanvel did not quit";
    EXPECT_EQ(zanvel.ExitCode(), 0);
  }

  // The listener's lines from index `from` on that start with `code`.
  std::vector<std::string> Received(size_t from, const std::string& code) const {
    std::vector<std::string> lines = fListener->Lines();
    std::vector<std::string> found;
    for (size_t i = from; i < lines.size(); i++)
      if (StartsWith(lines[i], code + " ")) found.push_back(lines[i]);
    return found;
  }
  bool WaitReceived(size_t from, const std::string& line, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      std::vector<std::string> lines = fListener->Lines();
      for (size_t i = from; i < lines.size(); i++)
        if (lines[i] == line) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
  size_t ListenerMark() const { return fListener->Lines().size(); }

  JackServer fJack;
  PrivateRuntimeFolder fRuntime;
  TempFolder fState;
  TempFolder fFiles;
  SerialLines fLines;
  std::unique_ptr<ChildProcess> fListener;
};

TEST_F(SessionTest, WhatOneRunTrainedMatchesTheSameAfterARestart) {
  // Blanks and letters beyond ASCII in the folder and the name.
  const std::string folder = fFiles / "Séance d'été";
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  const std::string path = folder + "/réglage n° 1.zanvel";

  // First run, on the bars: one example and one key frame, the matched index and the position
  // to the listener.
  {
    auto zanvel = Start(kBars);
    const size_t mark = ListenerMark();
    ASSERT_EQ(Send({"smas", "source:string=" + kReceiver}), 0);
    ASSERT_EQ(Send({"smac", "source:string=mtch"}), 0);
    ASSERT_EQ(Send({"mtta", "source:bool=true"}), 0);
    ASSERT_EQ(Send({"stas", "source:string=" + kReceiver}), 0);
    ASSERT_EQ(Send({"stac", "source:string=posi"}), 0);
    ASSERT_EQ(Send({"ptta", "source:bool=true"}), 0);
    ASSERT_EQ(Send({"bkdx", "index:int32=6"}), 0);
    ASSERT_EQ(Send({"lcsz", "index:int32=2"}), 0);
    ASSERT_EQ(Send({"addi"}), 0);
    ASSERT_EQ(Send({"addk"}), 0);
    EXPECT_TRUE(WaitReceived(mark, "mtch index=0", 20s));
    ASSERT_EQ(Send({"save", "path:string=" + path}), 0);
    EXPECT_TRUE(zanvel->WaitForErrorLines(Has("session saved to \"" + path + "\" (1 examples, 1 key frames)"), 1, 20s));
    // Quitting from another program autosaves too.
    Quit(*zanvel);
  }
  const std::string autosave = fState / "zanvel/last.zanvel";
  ASSERT_TRUE(std::filesystem::exists(autosave));
  EXPECT_EQ(Decoded(autosave), Decoded(path));

  // Second run, on the checkers: the session comes back (targets, codes and switches with
  // it: the listener hears the match at once), then a second example and key frame.
  std::string checkersPosition;
  {
    const size_t mark = ListenerMark();
    auto zanvel = Start(kCheckers, {"--session", path});
    EXPECT_TRUE(zanvel->WaitForErrorLines(Has("session \"" + path + "\" loaded (1 examples, 1 key frames)"), 1, 20s));
    EXPECT_TRUE(WaitReceived(mark, "mtch index=0", 20s)) << "the matched output did not come back on";
    // Other programs asking what Zanvel is doing hear which session it runs.
    ChildProcess status({kSend, "--timeout", "10000", "--wait-reply", kSignature, "stat"});
    ASSERT_TRUE(status.WaitForExit(30s));
    ASSERT_EQ(status.Lines().size(), 1u);
    EXPECT_NE(status.Lines()[0].find("session=\"" + path + "\""), std::string::npos) << status.Lines()[0];
    ASSERT_EQ(Send({"addi"}), 0);
    ASSERT_EQ(Send({"addk"}), 0);
    EXPECT_TRUE(WaitReceived(mark, "mtch index=1", 20s));
    // The position of the checkers now that both key frames are stored: a still picture
    // gives the same position on every frame.
    std::this_thread::sleep_for(1s);
    std::vector<std::string> positions = Received(mark, "posi");
    ASSERT_GE(positions.size(), 2u);
    checkersPosition = positions.back();
    // Saved to the current session file: no path needed.
    ASSERT_EQ(Send({"save"}), 0);
    EXPECT_TRUE(zanvel->WaitForErrorLines(Has("(2 examples, 2 key frames)"), 1, 20s));
    Quit(*zanvel);
  }
  const Session saved = Decoded(path);
  ASSERT_EQ(saved.examples.size(), 2u);
  ASSERT_EQ(saved.keyFrames.size(), 2u);
  EXPECT_EQ(saved.settings.buss, 7);
  EXPECT_EQ(saved.settings.lcsZMapping, 2);
  EXPECT_EQ(saved.settings.matched.code, 0x6d746368u);  // "mtch"

  // Third and fourth runs: each picture matches its own example again, and the checkers give
  // exactly the position they gave before the save.
  for (const auto& [video, index] : {std::pair{kBars, 0}, std::pair{kCheckers, 1}}) {
    const size_t mark = ListenerMark();
    auto zanvel = Start(video, {"--session", path});
    EXPECT_TRUE(zanvel->WaitForErrorLines(Has("loaded (2 examples, 2 key frames)"), 1, 20s));
    EXPECT_TRUE(WaitReceived(mark, "mtch index=" + std::to_string(index), 20s)) << video;
    std::vector<std::string> matched = Received(mark, "mtch");
    ASSERT_FALSE(matched.empty());
    EXPECT_EQ(matched.front(), "mtch index=" + std::to_string(index)) << "a frame matched another example";
    if (index == 1) {
      std::this_thread::sleep_for(1s);
      std::vector<std::string> positions = Received(mark, "posi");
      ASSERT_FALSE(positions.empty());
      EXPECT_EQ(positions.back(), checkersPosition);
    }
    Quit(*zanvel);
  }
  // "last" is the autosave of the last quit; it also answers the size question.
  {
    auto zanvel = Start(kBars, {"--session", "last"}, false);
    EXPECT_TRUE(zanvel->WaitForErrorLines(Has("loaded (2 examples, 2 key frames)"), 1, 20s));
    Quit(*zanvel);
  }
}

// A zip container whose manifest claims a layout version from the future.
std::string NewerSession() {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  zip_source_keep(buffer);
  static const std::string manifest = R"({"format": "zanvel-session", "version": 7, "future": {}})";
  zip_file_add(archive, "manifest.json", zip_source_buffer(archive, manifest.data(), manifest.size(), 0), 0);
  zip_close(archive);
  zip_source_open(buffer);
  zip_source_seek(buffer, 0, SEEK_END);
  std::string bytes(size_t(zip_source_tell(buffer)), '\0');
  zip_source_seek(buffer, 0, SEEK_SET);
  zip_source_read(buffer, bytes.data(), bytes.size());
  zip_source_close(buffer);
  zip_source_free(buffer);
  zip_error_fini(&error);
  return bytes;
}

TEST_F(SessionTest, RefusedFilesAndFailedSavesKeepEverything) {
  const std::string path = fFiles / "trained.zanvel";
  const std::string copy = fFiles / "again.zanvel";
  {
    auto zanvel = Start(kBars);
    ASSERT_EQ(Send({"addi"}), 0);
    ASSERT_EQ(Send({"addk"}), 0);
    ASSERT_EQ(Send({"smoo", "source:bool=true"}), 0);
    ASSERT_EQ(Send({"save", "path:string=" + path}), 0);
    ASSERT_TRUE(zanvel->WaitForErrorLines(Has("session saved to \"" + path + "\" (1 examples, 1 key frames)"), 1, 20s));
    const std::string good = Bytes(path);

    // Each bad file is refused with one line naming it and saying what is wrong.
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"truncated.zanvel", good.substr(0, good.size() / 2)},
        {"damaged.zanvel", [&] {
           std::string bytes = good;
           for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 64; i++) bytes[i] = char(bytes[i] ^ 0x5a);
           return bytes;
         }()},
        {"foreign.zanvel", "P5\n2 2\n255\nabcd"},
        {"newer.zanvel", NewerSession()},
        {"empty.zanvel", ""},
    };
    for (const auto& [name, bytes] : bad) Write(fFiles / name, bytes);
    for (const auto& [name, bytes] : bad) {
      ASSERT_EQ(Send({"load", "path:string=" + fFiles / name}), 0);
      EXPECT_TRUE(zanvel->WaitForErrorLines(Has("session \"" + fFiles / name + "\" not loaded: "), 1, 20s)) << name;
    }
    ASSERT_EQ(Send({"load", "path:string=" + fFiles / "missing.zanvel"}), 0);
    EXPECT_TRUE(zanvel->WaitForErrorLines(Has("missing.zanvel\" not loaded: cannot open it"), 1, 20s));
    EXPECT_TRUE(zanvel->WaitForErrorLines(Has("newer.zanvel\" not loaded: made by a newer Zanvel"), 1, 1s));

    // Nothing of the running state changed: saved again, it is the same session.
    ASSERT_EQ(Send({"save", "path:string=" + copy}), 0);
    ASSERT_TRUE(zanvel->WaitForErrorLines(Has("session saved to \"" + copy + "\" (1 examples, 1 key frames)"), 1, 20s));
    EXPECT_EQ(Decoded(copy), Decoded(path));

    // A second key frame of the same still picture, with other values, is pointed out.
    ASSERT_EQ(Send({"addk"}), 0);
    EXPECT_TRUE(zanvel->WaitForErrorLines(Has("Key frame 2 looks almost like key frame 1"), 1, 20s));
    Quit(*zanvel);
  }

  // A save that cannot be written (here: the file-size limit of a full disk) says why and
  // leaves the old file as it was, with no stray temporary file beside it.
  const std::string before = Bytes(path);
  auto limited = Start(kCheckers, {"--session", path});
  ASSERT_TRUE(limited->WaitForErrorLines(Has("loaded (1 examples, 1 key frames)"), 1, 20s));
  // Set on the running program: its video buffers are made already.
  rlimit small = {512, RLIM_INFINITY};
  ASSERT_EQ(prlimit(limited->Pid(), RLIMIT_FSIZE, &small, nullptr), 0);
  ASSERT_EQ(Send({"addi"}), 0);
  ASSERT_EQ(Send({"save"}), 0);
  EXPECT_TRUE(limited->WaitForErrorLines(Has("session not saved to \"" + path + "\": cannot write it"), 1, 20s));
  if (geteuid() != 0) {
    // The same for a file the user made read-only.
    chmod(path.c_str(), 0444);
    ASSERT_EQ(Send({"save"}), 0);
    EXPECT_TRUE(limited->WaitForErrorLines(Has("session not saved to \"" + path + "\": cannot replace it"), 1, 20s));
    chmod(path.c_str(), 0644);
  }
  Quit(*limited);
  EXPECT_EQ(Bytes(path), before);
  for (const auto& entry : std::filesystem::directory_iterator(fFiles.Path()))
    EXPECT_EQ(entry.path().string().find(".zanvel."), std::string::npos) << entry.path();
}

}  // namespace
