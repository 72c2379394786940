#pragma once
// A desktop set-up in temporary folders in which one signature is declared by a .desktop file
// that starts zanvel-listen, as an installed receiver would be.
//
// GIO reads the XDG variables once per process, so a test program makes one of these before
// anything asks GIO, and keeps it for its whole run. The launched listener writes its process
// id and its output into the folder; this process becomes the reaper of what it launches,
// and Stop() ends it.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "peers/TempFolder.h"
#include "platform/support/Time.h"

class LaunchableListener {
 public:
  explicit LaunchableListener(const std::string& signature) : fSignature(signature) {
    const std::string data = fRoot / "data", config = fRoot / "config";
    mkdir(data.c_str(), 0700);
    mkdir((data + "/applications").c_str(), 0700);
    mkdir(config.c_str(), 0700);
    mkdir((fRoot / "runtime").c_str(), 0700);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_DATA_DIRS", (fRoot / "nowhere").c_str(), 1);  // no system applications
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (fRoot / "nowhere").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (fRoot / "runtime").c_str(), 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");

    const std::string script = fRoot / "start-listener";
    std::ofstream(script) << "#!/bin/sh\necho $$ > '" << PidFile() << "'\nexec '"
                          << ZANVEL_LISTEN_PATH << "' '" << signature << "' > '" << OutputFile()
                          << "' 2>&1\n";
    chmod(script.c_str(), 0700);
    std::ofstream(data + "/applications/zanvel-test-listener.desktop")
        << "[Desktop Entry]\nType=Application\nName=Test listener\nExec=" << script
        << "\nMimeType=" << signature << ";\nNoDisplay=true\n";
    std::ofstream(config + "/mimeapps.list")
        << "[Default Applications]\n" << signature << "=zanvel-test-listener.desktop\n";
    // Launched programs are orphaned by GIO's double fork; adopt them so they can be reaped.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
  }
  ~LaunchableListener() { Stop(); }
  LaunchableListener(const LaunchableListener&) = delete;
  LaunchableListener& operator=(const LaunchableListener&) = delete;

  const std::string& Signature() const { return fSignature; }
  std::string PidFile() const { return fRoot / "listener.pid"; }
  std::string OutputFile() const { return fRoot / "listener.out"; }

  // The launched listener's process id, once it has written it (waits up to 5 s).
  pid_t Pid() const {
    for (int i = 0; i < 500; i++) {
      std::ifstream in(PidFile());
      pid_t pid = 0;
      if (in >> pid && pid > 0) return pid;
      snooze(10000);
    }
    return -1;
  }
  bool Launched() const {
    std::ifstream in(PidFile());
    return in.good();
  }

  // Lines the launched listener printed, waiting up to 5 s for `count` of them.
  std::vector<std::string> Lines(size_t count) const {
    std::vector<std::string> lines;
    for (int i = 0; i < 500; i++) {
      lines.clear();
      std::ifstream in(OutputFile());
      for (std::string line; std::getline(in, line);) {
        if (line.rfind("zanvel-listen:", 0) != 0) lines.push_back(line);
      }
      if (lines.size() >= count) break;
      snooze(10000);
    }
    return lines;
  }

  // Ends the launched listener and reaps it and GIO's helper process.
  void Stop() {
    if (Launched()) {
      pid_t pid = Pid();
      remove(PidFile().c_str());
      if (pid > 0) {
        kill(pid, SIGTERM);
        for (int i = 0; i < 500; i++) {
          int status;
          pid_t reaped = waitpid(pid, &status, WNOHANG);
          if (reaped == pid) break;
          if (reaped < 0 && kill(pid, 0) != 0) break;  // gone, and not ours to reap
          snooze(10000);
        }
      }
    }
    int status;
    while (waitpid(-1, &status, WNOHANG) > 0) {
    }
  }

 private:
  std::string fSignature;
  TempFolder fRoot;
};
