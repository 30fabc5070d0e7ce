// A fresh folder under the system's temporary directory, removed with everything in it when the
// test ends. Under Wine it lies in the prefix's own temporary folder.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace zu {

class TempDir {
 public:
  TempDir() {
    // Random, because the native and Windows builds of one test may run side by side.
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("zu_tools_test_" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace zu
