// Replacing a file that another program holds open for a moment, as an
// antivirus or indexer does with a file that was just written.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "shared/codepage.h"
#include "shared/errors.h"
#include "shared/file_io.h"
#include "support/temp_dir.h"

namespace tol {
namespace {

namespace fs = std::filesystem;

// Holds a file open without FILE_SHARE_DELETE, which keeps it from being
// replaced, from construction until `hold` has passed.
class Holder {
 public:
  Holder(const FilePath& path, std::chrono::milliseconds hold) {
    handle_ = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.system().c_str()), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    thread_ = std::thread([this, hold] {
      std::this_thread::sleep_for(hold);
      released_ = true;
      ::CloseHandle(handle_);
    });
  }
  ~Holder() { thread_.join(); }
  bool holding() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool released() const { return released_; }

 private:
  HANDLE handle_;
  std::atomic<bool> released_{false};
  std::thread thread_;
};

class FileIoWin32Test : public ::testing::Test {
 protected:
  bool OnlyTarget() const {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      files += entry.path().filename() == "held.ini" ? 1 : 100;
    }
    return files == 1;
  }

  testing::TempDir dir_;
  FilePath path_ = dir_.PathOf("held.ini");
};

TEST_F(FileIoWin32Test, ReplacesAFileOnceItsHolderLetsGo) {
  WriteFileAtomic(path_, "old");
  Holder holder(path_, std::chrono::milliseconds(300));
  ASSERT_TRUE(holder.holding());

  WriteFileAtomic(path_, "new");

  // Returned only once the holder had let go: the replace did wait.
  EXPECT_TRUE(holder.released());
  EXPECT_EQ(ReadFileBytes(path_), "new");
  EXPECT_TRUE(OnlyTarget());
}

TEST_F(FileIoWin32Test, GivesUpOnAFileHeldLongerAndKeepsIt) {
  WriteFileAtomic(path_, "old");
  Holder holder(path_, std::chrono::seconds(4));
  ASSERT_TRUE(holder.holding());

  EXPECT_THROW(WriteFileAtomic(path_, "new"), EFCreateError);

  EXPECT_FALSE(holder.released());  // failed while the file was still held
  EXPECT_EQ(ReadFileBytes(path_), "old");
  EXPECT_TRUE(OnlyTarget());  // the temporary file is gone
}

}  // namespace
}  // namespace tol
