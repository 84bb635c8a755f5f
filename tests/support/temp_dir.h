#pragma once
// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace tol::testing {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("tol_test_" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder followed by a separator, ready to have a file name appended.
  std::string prefix() const { return (path_ / "").string(); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tol::testing
