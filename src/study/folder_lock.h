#pragma once
// One owner per output folder. A sweep or a fit holds a lock (flock) on a
// file in its output folder for as long as it runs; the system releases it
// when the process ends, however it ends, so a lock file left behind never
// blocks anybody. Whoever takes a lock writes into the file who it is, so
// that a second process on the same folder can be refused with the holder's
// process id and command line.

#include <optional>
#include <string>
#include <string_view>

#include "model/errors.h"

namespace torvex {

// The file in an output folder that its owner locks.
inline constexpr const char* kFolderLockName = "torvex.lock";

// Who holds a lock, as the holder wrote it into the lock file.
struct LockHolder {
  long long pid = 0;  // 0: not known
  std::string host;
  std::string command;
  std::string started;  // UTC, ISO 8601
};

// This process: its id, the host, its command line and the time now.
LockHolder thisProcess();

// The text a holder writes into the lock file, and its reading. A text that
// is not of this form (a file written halfway, or by something else) reads
// as a holder with the fields it could not read left empty.
std::string lockHolderText(const LockHolder& holder);
LockHolder parseLockHolder(std::string_view text);

// How a holder is named in messages: "process 1234 on node7 (torvex-batch
// sweep study.toml, since 2024-05-01T10:00:00Z)".
std::string describeHolder(const LockHolder& holder);

// The output folder is held by another process: nothing may be written
// into it. The message names the folder and the holder.
class FolderBusyError : public InputError {
 public:
  using InputError::InputError;
};

// A lock on one file, held while the object lives.
class FileLock {
 public:
  enum class Mode {
    Exclusive,  // the one owner
    Shared,     // one of several that may work side by side (the tasks of a job array)
  };

  // Takes the lock without waiting; nullopt when another process holds it.
  // The file is created when missing; a link in its place is refused, as is
  // anything that is not a regular file. With `inherited`, a process started
  // from this one keeps the lock while it runs, even past this one's end.
  // Throws FileWriteError naming the file and the system's reason when the
  // file cannot be opened (a folder that cannot be written, above all).
  static std::optional<FileLock> tryTake(const std::string& path, Mode mode, bool inherited = false);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

  // Writes the holder into the file, replacing what it held.
  void describe(const LockHolder& holder) const;
  [[nodiscard]] int descriptor() const { return fd_; }
  // Gives up this process's hold (a process that inherited the lock keeps it).
  void release();

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// The holder written into the lock file at `path` (empty when unreadable).
LockHolder readLockHolder(const std::string& path);

// The output folder of a sweep or a fit, owned while the object lives: made
// when missing, checked to be writable, and locked. Throws FileWriteError
// naming the folder and the reason when it cannot be written, and
// FolderBusyError naming the holder when another process owns it.
class OutputFolderLock {
 public:
  OutputFolderLock(const std::string& folder, FileLock::Mode mode);

 private:
  FileLock lock_;
};

}  // namespace torvex
