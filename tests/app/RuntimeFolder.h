#pragma once
// A fresh XDG_RUNTIME_DIR for the test and the programs it starts, so that the signatures
// registered here never meet the user's running programs; XDG_STATE_HOME inside it, so that
// the sessions those programs autosave never replace the user's.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

class PrivateRuntimeFolder {
 public:
  PrivateRuntimeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zanvel-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
      fPath = pattern;
    setenv("XDG_RUNTIME_DIR", fPath.c_str(), 1);
    setenv("XDG_STATE_HOME", (fPath + "/state").c_str(), 1);
  }
  ~PrivateRuntimeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(fPath, ignored);
  }
  PrivateRuntimeFolder(const PrivateRuntimeFolder&) = delete;
  PrivateRuntimeFolder& operator=(const PrivateRuntimeFolder&) = delete;

 private:
  std::string fPath;
};
