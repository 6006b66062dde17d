#include "results/record_file.h"

#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/errors.h"

namespace torvex {
namespace {

// The identity and size of the file at path; false when it cannot be
// examined.
bool identify(const std::string& path, std::uint64_t& device, std::uint64_t& inode, std::uint64_t& size) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  device = static_cast<std::uint64_t>(status.st_dev);
  inode = static_cast<std::uint64_t>(status.st_ino);
  size = static_cast<std::uint64_t>(status.st_size);
  return true;
}

// Appends tail to the file at path when it is still the file (device, inode)
// of `size` bytes; false when it is not (nothing written then). Throws
// FileWriteError when the write fails.
bool appendToKnownFile(const std::string& path, std::uint64_t device, std::uint64_t inode, std::uint64_t size,
                       std::string_view tail, FileSync sync) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || static_cast<std::uint64_t>(status.st_dev) != device ||
      static_cast<std::uint64_t>(status.st_ino) != inode || static_cast<std::uint64_t>(status.st_size) != size) {
    ::close(fd);
    return false;
  }
  ::close(fd);
  // One write call, as AppendFileContent makes it.
  AppendFileContent(path, tail, sync);
  return true;
}

}  // namespace

void RecordFile::write(const std::string& path, const TextList& list, FileSync sync) {
  const std::optional<std::string_view> kept = list.keptText();
  if (known_ && kept && path == path_ && list.revision() == revision_ && kept->size() >= size_) {
    const std::string_view tail = kept->substr(size_);
    bool appended = false;
    try {
      appended = appendToKnownFile(path, device_, inode_, size_, tail, sync);
    } catch (const FileWriteError&) {
      // A failed append may have left a part of tail: the next write
      // replaces the file whole.
      known_ = false;
      throw;
    }
    if (appended) {
      size_ = kept->size();
      return;
    }
  }
  known_ = false;
  if (kept)
    ReplaceFileContent(path, *kept, sync);
  else
    ReplaceFileContent(path, list.text(), sync);
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  if (!identify(path, device, inode, size)) return;
  path_ = path;
  device_ = device;
  inode_ = inode;
  size_ = size;
  revision_ = list.revision();
  // The list's text is what the file holds; only a kept text can be appended
  // to without joining the lines again.
  known_ = kept.has_value() && size == kept->size();
}

FileSync SyncSchedule::next(bool final) {
  const auto now = std::chrono::steady_clock::now();
  const bool due = final || !synced_ || intervalSeconds_ <= 0 ||
                   std::chrono::duration<double>(now - last_).count() >= intervalSeconds_;
  if (!due) return FileSync::Later;
  synced_ = true;
  last_ = now;
  return FileSync::Now;
}

}  // namespace torvex
