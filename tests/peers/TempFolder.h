#pragma once
// A private temporary folder for one test, removed with everything in it afterwards.

#include <cstdlib>
#include <filesystem>
#include <string>

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zanvel-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (made != nullptr) fPath = made;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!fPath.empty()) std::filesystem::remove_all(fPath, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return fPath; }
  std::string operator/(const std::string& name) const { return fPath + "/" + name; }

 private:
  std::string fPath;
};

// Points XDG_RUNTIME_DIR at a fresh private folder for the test's lifetime, so registered
// signatures never meet the user's running programs.
class PrivateRuntimeFolder {
 public:
  PrivateRuntimeFolder() {
    const char* old = getenv("XDG_RUNTIME_DIR");
    if (old != nullptr) fOld = old, fHadOld = true;
    setenv("XDG_RUNTIME_DIR", fFolder.Path().c_str(), 1);
  }
  ~PrivateRuntimeFolder() {
    if (fHadOld)
      setenv("XDG_RUNTIME_DIR", fOld.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
  }
  const std::string& Path() const { return fFolder.Path(); }

 private:
  TempFolder fFolder;
  std::string fOld;
  bool fHadOld = false;
};
