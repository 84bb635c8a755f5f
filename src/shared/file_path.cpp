// The portable part of file_path.h: cutting a path at its separators.

#include "shared/file_path.h"

namespace tol {

namespace {

// The length of the folder part of `path`: up to and including its last
// separator. In the system's form a 0x5C unit is always "\": neither UTF-16
// nor UTF-8 has it inside another character.
std::size_t FolderLength(const PathString& path) {
  const std::size_t separator = path.find_last_of(PathString{PathUnit('/'), PathUnit('\\')});
  return separator == PathString::npos ? 0 : separator + 1;
}

}  // namespace

FilePath FilePath::FromText(std::string_view cp932) { return FilePath(SystemFormOf(cp932)); }

FilePath FilePath::Join(std::string_view cp932_name) const {
  return FilePath(system_ + SystemFormOf(cp932_name));
}

FilePath FilePath::Folder() const { return FilePath(system_.substr(0, FolderLength(system_))); }

FilePath FilePath::FileName() const { return FilePath(system_.substr(FolderLength(system_))); }

FilePath FilePath::WithoutExtension() const {
  const std::size_t name = FolderLength(system_);
  const std::size_t dot = system_.rfind(PathUnit('.'));
  if (dot == PathString::npos || dot <= name) return *this;
  return FilePath(system_.substr(0, dot));
}

std::string FilePath::Text() const { return TextOf(system_); }

}  // namespace tol
