#pragma once
// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "shared/file_path.h"

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
  // The file `name` (ASCII) in the folder, as the file port takes it.
  FilePath PathOf(const std::string& name) const { return PathFrom(path_ / name); }
  // The folder as the file port takes it, ending in a separator.
  FilePath Folder() const { return PathFrom(path_ / ""); }

  // A path of the standard library as the file port takes it, and back,
  // unconverted.
  static FilePath PathFrom(const std::filesystem::path& path) {
    const auto& system = path.native();
    return FilePath::FromSystem(PathString(system.begin(), system.end()));
  }
  static std::filesystem::path FsPath(const FilePath& path) {
    return std::filesystem::path(path.system());
  }

  static std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  static void Write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tol::testing
