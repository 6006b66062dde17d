#include "results/record_file.h"

#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/errors.h"
#include "results/continued_files.h"

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
  if (known_ && kept && path == path_ && list.revision() == revision_ && kept->size() >= listBytes_) {
    const std::string_view tail = kept->substr(listBytes_);
    bool appended = false;
    try {
      appended = appendToKnownFile(path, device_, inode_, fileSize_, tail, sync);
    } catch (const FileWriteError&) {
      // A failed append may have left a part of tail: the next write does
      // not append to this file.
      known_ = false;
      throw;
    }
    if (appended) {
      fileSize_ += tail.size();
      listBytes_ = kept->size();
      return;
    }
  }
  const std::string_view text = kept ? *kept : std::string_view();
  const std::string joined = kept ? std::string() : list.text();
  if (released_ && list.lineage() == lineage_) {
    // The lines released are in the file only: whatever is there now is
    // kept, and the run goes on in a new file.
    struct stat status {};
    std::string notice = path + ": ";
    if (::lstat(path.c_str(), &status) == 0) {
      const std::string aside = setEarlierFileAside(path);
      notice += "the file was changed or replaced during the run, or could not be appended to; it is kept as " + aside +
                ", and the record continues in a new file with its opening lines and its last line before.";
    } else {
      notice +=
          "the file was removed during the run; the record continues in a new file with its opening lines "
          "and its last line before.";
    }
    notices_.push_back(std::move(notice));
  }
  replace(path, list, kept ? text : std::string_view(joined), sync);
}

void RecordFile::replace(const std::string& path, const TextList& list, std::string_view text, FileSync sync) {
  known_ = false;
  released_ = false;
  ReplaceFileContent(path, text, sync);
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  if (!identify(path, device, inode, size)) return;
  path_ = path;
  device_ = device;
  inode_ = inode;
  fileSize_ = size;
  listBytes_ = size;
  revision_ = list.revision();
  lineage_ = list.lineage();
  // The list's text is what the file holds; only a kept text can be appended
  // to without joining the lines again.
  known_ = list.keptText().has_value() && size == text.size();
}

void RecordFile::release(TextList& list, std::size_t opening) {
  const std::optional<std::string_view> kept = list.keptText();
  // Only lines the file holds may go: the list must be what the last write
  // left in the file, every line of it.
  if (!known_ || !kept || list.revision() != revision_ || kept->size() != listBytes_) return;
  if (list.count() <= opening + 1) return;
  list.erase(opening, list.count() - 1);
  revision_ = list.revision();
  listBytes_ = list.keptText()->size();
  released_ = true;
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
