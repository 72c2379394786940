#include <gtest/gtest.h>
#include <lo/lo.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/app/BApplication.h"
#include "platform/app/BMessenger.h"
#include "platform/app/MessageFolder.h"
#include "platform/app/MessageReceiver.h"
#include "platform/app/MessageText.h"
#include "peers/ListenerProcess.h"
#include "peers/TempFolder.h"

namespace {

BMessage Numbered(int32 n) {
  BMessage m(FourCC("test"));
  m.AddInt32("n", n);
  return m;
}

// Restores an environment variable when the test ends.
class SavedVariable {
 public:
  explicit SavedVariable(const char* name) : fName(name) {
    const char* value = getenv(name);
    if (value != nullptr) fValue = value, fSet = true;
  }
  ~SavedVariable() {
    if (fSet)
      setenv(fName.c_str(), fValue.c_str(), 1);
    else
      unsetenv(fName.c_str());
  }

 private:
  std::string fName, fValue;
  bool fSet = false;
};

}  // namespace

TEST(MessageFolder, IsPrivateUnderTheRuntimeFolderOrInTemp) {
  PrivateRuntimeFolder runtime;
  std::string folder, error;
  ASSERT_EQ(message_folder(&folder, &error), B_OK) << error;
  EXPECT_EQ(folder, runtime.Path() + "/zanvel");
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // Without XDG_RUNTIME_DIR: a folder of our own in the temporary directory.
  SavedVariable tmp("TMPDIR");
  TempFolder temp;
  setenv("TMPDIR", temp.Path().c_str(), 1);
  unsetenv("XDG_RUNTIME_DIR");
  ASSERT_EQ(message_folder(&folder, &error), B_OK) << error;
  EXPECT_EQ(folder, temp / ("zanvel-" + std::to_string(geteuid())));
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
}

TEST(MessageFolder, RefusesAFolderOthersCanOpenOrSubvert) {
  SavedVariable tmp("TMPDIR");
  SavedVariable runtimeDir("XDG_RUNTIME_DIR");
  unsetenv("XDG_RUNTIME_DIR");
  TempFolder temp;
  setenv("TMPDIR", temp.Path().c_str(), 1);
  const std::string folder = temp / ("zanvel-" + std::to_string(geteuid()));
  std::string path, error;

  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  chmod(folder.c_str(), 0755);
  EXPECT_EQ(message_folder(&path, &error), B_PERMISSION_DENIED);
  EXPECT_NE(error.find("open to other users"), std::string::npos) << error;
  rmdir(folder.c_str());

  TempFolder elsewhere;
  ASSERT_EQ(symlink(elsewhere.Path().c_str(), folder.c_str()), 0);
  EXPECT_EQ(message_folder(&path, &error), B_PERMISSION_DENIED);
  EXPECT_NE(error.find("not a plain folder"), std::string::npos) << error;
  EXPECT_FALSE(MessageReceiver("application/x-vnd.zanvel-test", [](BMessage&&) {}).InitCheck() ==
               B_OK);
  unlink(folder.c_str());

  if (geteuid() == 0) {
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    EXPECT_EQ(message_folder(&path, &error), B_PERMISSION_DENIED);
    EXPECT_NE(error.find("another user"), std::string::npos) << error;
  }
}

TEST(MessageFolder, SocketNamesAreSafeDistinctAndShort) {
  EXPECT_EQ(socket_name_for("application/x-vnd.kdx-3dReceiver"),
            "application%2fx-vnd.kdx-3dreceiver");
  EXPECT_EQ(socket_name_for("Application/X-Test"), socket_name_for("application/x-test"));
  EXPECT_EQ(socket_name_for("../../etc/passwd"), "%2e.%2f..%2fetc%2fpasswd");
  EXPECT_EQ(socket_name_for("a b%"), "a%20b%25");
  std::string a(300, 'a'), b = a;
  b[299] = 'b';
  EXPECT_NE(socket_name_for(a), socket_name_for(b));
  EXPECT_LE(socket_name_for(a).size(), 64u);
  std::set<std::string> names;
  for (const char* s : {"a/b", "a%2fb", "a.b", "a_b", "a-b"}) names.insert(socket_name_for(s));
  EXPECT_EQ(names.size(), 5u);
}

TEST(Messenger, ReachesAListenerInAnotherProcessInOrderUntilItExits) {
  PrivateRuntimeFolder runtime;
  const char* signature = "application/x-vnd.zanvel-listener";
  EXPECT_FALSE(BMessenger(signature).IsValid());
  EXPECT_EQ(BMessenger(signature).SendMessage(FourCC("none")), B_BAD_PORT_ID);

  ListenerProcess listener(signature);
  ASSERT_TRUE(listener.Ready());
  BMessenger messenger(signature);
  ASSERT_TRUE(messenger.IsValid());
  EXPECT_TRUE(BMessenger(signature, listener.Pid()).IsValid());
  EXPECT_FALSE(BMessenger(signature, getpid()).IsValid()) << "another process holds it";
  EXPECT_EQ(MessageReceiver(signature, [](BMessage&&) {}).InitCheck(), B_NAME_IN_USE);

  for (int32 i = 0; i < 300; i++) {
    BMessage m = Numbered(i);
    ASSERT_EQ(messenger.SendMessage(&m), B_OK);
  }
  std::vector<std::string> lines = listener.Lines(300);
  ASSERT_EQ(lines.size(), 300u);
  for (int32 i = 0; i < 300; i++) EXPECT_EQ(lines[size_t(i)], "test n=" + std::to_string(i));

  listener.Stop();
  EXPECT_FALSE(messenger.IsValid());
  BMessage late = Numbered(300);
  EXPECT_EQ(messenger.SendMessage(&late), B_BAD_PORT_ID);  // and no SIGPIPE
  EXPECT_EQ(messenger.SendMessage(&late), B_BAD_PORT_ID);
}

TEST(Messenger, ReplacesASocketLeftBehindAndRefusesReplies) {
  PrivateRuntimeFolder runtime;
  const char* signature = "application/x-vnd.zanvel-stale";
  std::string path, error;
  ASSERT_EQ(socket_path_for(signature, &path, &error), B_OK);
  // A socket file nobody listens on, as a crashed program leaves it.
  int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  close(fd);
  EXPECT_FALSE(BMessenger(signature).IsValid());

  std::atomic<int> received{0};
  MessageReceiver receiver(signature, [&](BMessage&&) { received++; });
  ASSERT_EQ(receiver.InitCheck(), B_OK) << receiver.Error();
  BMessenger messenger(signature);
  ASSERT_TRUE(messenger.IsValid());
  BHandler handler;
  BMessage m(FourCC("ping"));
  EXPECT_EQ(messenger.SendMessage(&m, &handler), B_BAD_VALUE);
  EXPECT_EQ(messenger.SendMessage(&m), B_OK);
  for (int i = 0; i < 500 && received.load() == 0; i++) snooze(10000);
  EXPECT_EQ(received.load(), 1);
}

TEST(Messenger, AnswersComeBackOnTheSendersConnectionAndNeverHoldTheReceiver) {
  PrivateRuntimeFolder runtime;
  const char* signature = "application/x-vnd.zanvel-answers";
  std::mutex lock;
  std::vector<BMessage> asked;
  std::vector<status_t> answered;
  MessageReceiver receiver(signature, [&](BMessage&& message) {
    int32 n = -1;
    message.FindInt32("n", &n);
    BMessage answer(FourCC("answ"));
    answer.AddInt32("n", n);
    if (message.HasField("big")) answer.AddString("padding", std::string(60000, 'a'));
    status_t status = message.SendReply(&answer);
    std::lock_guard<std::mutex> hold(lock);
    asked.push_back(std::move(message));
    answered.push_back(status);
  });
  ASSERT_EQ(receiver.InitCheck(), B_OK) << receiver.Error();
  auto count = [&] {
    std::lock_guard<std::mutex> hold(lock);
    return asked.size();
  };

  BMessenger messenger(signature);
  BMessage ask = Numbered(1);
  BMessage reply;
  ASSERT_EQ(messenger.SendMessage(&ask, &reply, 1000000, 5000000), B_OK);
  EXPECT_EQ(reply.what, FourCC("answ"));
  int32 n = 0;
  EXPECT_EQ(reply.FindInt32("n", &n), B_OK);
  EXPECT_EQ(n, 1);
  // A message this program made itself has nobody to answer.
  EXPECT_FALSE(Numbered(0).IsSourceRemote());
  EXPECT_EQ(Numbered(0).SendReply(&reply), B_BAD_PORT_ID);

  // An answer nobody waited for neither ends the connection nor passes for the next one's.
  ask = Numbered(2);
  ASSERT_EQ(messenger.SendMessage(&ask), B_OK);
  for (int i = 0; i < 500 && count() < 2; i++) snooze(10000);
  ASSERT_EQ(count(), 2u);
  EXPECT_TRUE(messenger.IsValid());
  ask = Numbered(3);
  ASSERT_EQ(messenger.SendMessage(&ask, &reply, 1000000, 5000000), B_OK);
  EXPECT_EQ(reply.FindInt32("n", &n), B_OK);
  EXPECT_EQ(n, 3);

  // A sender that never reads: its answers stop fitting and are refused at once, and the
  // receiver takes every message all the same.
  BMessage flood = Numbered(4);
  flood.AddBool("big", true);
  const size_t before = 3;
  for (int i = 0; i < 100; i++) ASSERT_EQ(messenger.SendMessage(&flood, nullptr, 5000000), B_OK);
  for (int i = 0; i < 1000 && count() < before + 100; i++) snooze(10000);
  ASSERT_EQ(count(), before + 100) << "an answer held the receiver";
  {
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_EQ(answered.back(), B_WOULD_BLOCK);
  }

  // Once the sender has gone, its messages can no longer be answered.
  BMessage kept;
  {
    std::lock_guard<std::mutex> hold(lock);
    kept = asked.front();
  }
  messenger = BMessenger();
  status_t late = B_OK;
  for (int i = 0; i < 500 && (late = kept.SendReply(&reply)) != B_BAD_PORT_ID; i++) snooze(10000);
  EXPECT_EQ(late, B_BAD_PORT_ID);
}

TEST(Messenger, ASlowReceiverHoldsTheSenderOnlyAsLongAsItsTimeout) {
  PrivateRuntimeFolder runtime;
  const char* signature = "application/x-vnd.zanvel-slow";
  std::atomic<bool> release{false};
  std::atomic<int> received{0};
  MessageReceiver receiver(signature, [&](BMessage&&) {
    while (!release.load()) snooze(1000);
    received++;
  });
  ASSERT_EQ(receiver.InitCheck(), B_OK);
  BMessenger messenger(signature);
  BMessage m = Numbered(1);
  m.AddString("padding", std::string(4000, 'p'));
  int sent = 0;
  status_t status = B_OK;
  while (sent < 100000 && (status = messenger.SendMessage(&m, nullptr, 20000)) == B_OK) sent++;
  EXPECT_EQ(status, B_TIMED_OUT);
  release.store(true);
  for (int i = 0; i < 1000 && received.load() < sent; i++) snooze(10000);
  EXPECT_EQ(received.load(), sent) << "everything that was taken arrives";
}

TEST(Messenger, MalformedPacketsAreRefusedAndTheSenderCarriesOn) {
  PrivateRuntimeFolder runtime;
  const char* signature = "application/x-vnd.zanvel-garbage";
  std::mutex mutex;
  std::vector<int32> got;
  MessageReceiver receiver(signature, [&](BMessage&& m) {
    int32 n = -1;
    m.FindInt32("n", &n);
    std::lock_guard<std::mutex> lock(mutex);
    got.push_back(n);
  });
  ASSERT_EQ(receiver.InitCheck(), B_OK);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  memcpy(address.sun_path, receiver.SocketPath().c_str(), receiver.SocketPath().size() + 1);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  std::vector<uint8> good = Numbered(7).Flatten();
  std::vector<uint8> bad = good;
  bad[12] ^= 0xff;
  bad.push_back(0);  // now one byte longer than it says
  std::vector<uint8> huge(MessageReceiver::kMaxPacket + 10, 'Z');
  ASSERT_GT(send(fd, bad.data(), bad.size(), 0), 0);
  ASSERT_GT(send(fd, huge.data(), huge.size(), 0), 0);
  ASSERT_GT(send(fd, good.data(), good.size(), 0), 0);
  auto handled = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return receiver.RefusedMessages() + got.size();
  };
  for (int i = 0; i < 500 && handled() < 3; i++) snooze(10000);
  close(fd);
  EXPECT_EQ(receiver.RefusedMessages(), 2u);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(got, std::vector<int32>{7});
}

namespace {

class EchoApp : public BApplication {
 public:
  explicit EchoApp(const char* signature) : BApplication(signature) {}
  void ReadyToRun() override {
    // Another program sends three messages; this program's own window posts in between.
    pid_t pid;
    const char* argv[] = {ZANVEL_SEND_PATH, Signature(), "cmd1", "n:int32=1", nullptr};
    posix_spawn(&pid, ZANVEL_SEND_PATH, nullptr, nullptr, const_cast<char**>(argv), environ);
    int status;
    waitpid(pid, &status, 0);
    fSendStatus = status;
    BMessenger self(Signature());
    BMessage two(FourCC("cmd2"));
    self.SendMessage(&two);
    BMessage own(FourCC("self"));
    PostMessage(&own);
  }
  void MessageReceived(BMessage* message) override {
    fSeen.push_back(message_to_line(*message));
    if (message->what == FourCC("self")) {
      BMessenger(Signature()).SendMessage(B_QUIT_REQUESTED);
    }
  }
  std::vector<std::string> fSeen;
  int fSendStatus = -1;
};

}  // namespace

TEST(Application, OtherProgramsMessagesJoinItsQueue) {
  PrivateRuntimeFolder runtime;
  EchoApp app("application/x-vnd.zanvel-echo");
  ASSERT_EQ(app.InitCheck(), B_OK);
  EchoApp second("application/x-vnd.zanvel-echo");
  EXPECT_EQ(second.InitCheck(), B_NAME_IN_USE);
  app.Run();
  EXPECT_EQ(app.fSendStatus, 0);
  // The socket messages may arrive before or after the local post; each keeps its place
  // within its own sender, and the remote quit request ends the loop.
  ASSERT_EQ(app.fSeen.size(), 3u);
  auto at = [&](const std::string& line) {
    return std::find(app.fSeen.begin(), app.fSeen.end(), line) - app.fSeen.begin();
  };
  EXPECT_LT(at("cmd1 n=1"), at("cmd2"));
  EXPECT_LT(at("self"), 3);
}

namespace {

// A liblo server in the test; records every message with its address and types.
class OscServer {
 public:
  OscServer() {
    fServer = lo_server_thread_new(nullptr, nullptr);
    lo_server_thread_add_method(fServer, nullptr, nullptr, &OscServer::Handle, this);
    lo_server_thread_start(fServer);
  }
  ~OscServer() { lo_server_thread_free(fServer); }
  int Port() const { return lo_server_thread_get_port(fServer); }
  struct Received {
    std::string path, types;
    std::vector<std::string> values;
  };
  std::vector<Received> WaitFor(size_t count) {
    for (int i = 0; i < 500; i++) {
      {
        std::lock_guard<std::mutex> lock(fMutex);
        if (fReceived.size() >= count) return fReceived;
      }
      snooze(10000);
    }
    std::lock_guard<std::mutex> lock(fMutex);
    return fReceived;
  }

 private:
  static int Handle(const char* path, const char* types, lo_arg** argv, int argc, lo_message,
                    void* data) {
    Received r{path, types, {}};
    for (int i = 0; i < argc; i++) {
      switch (types[i]) {
        case 'i': r.values.push_back(std::to_string(argv[i]->i)); break;
        case 'f': r.values.push_back(std::to_string(argv[i]->f)); break;
        case 's': r.values.push_back(&argv[i]->s); break;
        default: r.values.push_back(std::string(1, types[i])); break;
      }
    }
    auto* self = static_cast<OscServer*>(data);
    std::lock_guard<std::mutex> lock(self->fMutex);
    self->fReceived.push_back(r);
    return 0;
  }
  lo_server_thread fServer;
  std::mutex fMutex;
  std::vector<Received> fReceived;
};

}  // namespace

TEST(Messenger, OscSignaturesSendEachFieldAsAnArgumentInOrder) {
  OscServer server;
  std::string url = "osc.udp://127.0.0.1:" + std::to_string(server.Port()) + "/zanvel/";
  BMessenger messenger(url.c_str());
  EXPECT_TRUE(messenger.IsValid());
  BMessage m(FourCC("M23d"));
  m.AddInt32("objectid", 0);
  m.AddFloat("x", -31.25f);
  m.AddString("s", "hi");
  m.AddBool("t", true);
  m.AddBool("f", false);
  EXPECT_EQ(messenger.SendMessage(&m), B_OK);
  BMessage padded(0x61620000);  // "ab" and two zero bytes
  EXPECT_EQ(messenger.SendMessage(&padded), B_OK);
  BMessage odd(FourCC("a/ *"));
  EXPECT_EQ(messenger.SendMessage(&odd), B_OK);

  auto got = server.WaitFor(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].path, "/zanvel/M23d");
  EXPECT_EQ(got[0].types, "ifsTF");
  EXPECT_EQ(got[0].values, (std::vector<std::string>{"0", "-31.250000", "hi", "T", "F"}));
  EXPECT_EQ(got[1].path, "/zanvel/ab");
  EXPECT_EQ(got[2].path, "/zanvel/a%2F%20%2A");

  std::string bare = "osc.udp://127.0.0.1:" + std::to_string(server.Port());
  EXPECT_EQ(BMessenger(bare.c_str()).SendMessage(&padded), B_OK);
  got = server.WaitFor(4);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[3].path, "/ab");

  EXPECT_FALSE(BMessenger("osc.udp://").IsValid());
  EXPECT_FALSE(BMessenger("osc.udp://host-without-port").IsValid());
}
