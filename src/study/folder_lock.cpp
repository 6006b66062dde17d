#include "study/folder_lock.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/number_format.h"
#include "model/text_list.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

// A value as it may stand on one line of the lock file.
std::string oneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return text;
}

}  // namespace

LockHolder thisProcess() {
  LockHolder holder;
  holder.pid = ::getpid();
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) == 0) holder.host = host;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string arguments((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!arguments.empty() && arguments.back() == '\0') arguments.pop_back();
  for (char& c : arguments)
    if (c == '\0') c = ' ';
  holder.command = arguments;
  holder.started = utcNow();
  return holder;
}

std::string lockHolderText(const LockHolder& holder) {
  return "pid=" + std::to_string(holder.pid) + "\nhost=" + oneLine(holder.host) +
         "\ncommand=" + oneLine(holder.command) + "\nstarted=" + oneLine(holder.started) + "\n";
}

LockHolder parseLockHolder(std::string_view text) {
  LockHolder holder;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string value(line.substr(equals + 1));
    if (key == "pid") {
      const std::optional<int> pid = parseInteger(value);
      holder.pid = pid && *pid > 0 ? *pid : 0;
    } else if (key == "host") {
      holder.host = value;
    } else if (key == "command") {
      holder.command = value;
    } else if (key == "started") {
      holder.started = value;
    }
  }
  return holder;
}

std::string describeHolder(const LockHolder& holder) {
  if (holder.pid == 0) return "another process";
  std::string text = "process " + std::to_string(holder.pid);
  if (!holder.host.empty()) text += " on " + holder.host;
  std::string detail = holder.command;
  if (!holder.started.empty()) detail += (detail.empty() ? "" : ", ") + std::string("since ") + holder.started;
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}

std::optional<FileLock> FileLock::tryTake(const std::string& path, Mode mode, bool inherited) {
  const int flags = O_RDWR | O_CREAT | O_NOFOLLOW | (inherited ? 0 : O_CLOEXEC);
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    const int error = errno;
    const std::string folder = fs::path(path).parent_path().string();
    if (error == ELOOP) throw FileWriteError(path + ": is a link, not a lock file of this program; remove it");
    throw FileWriteError(folder + ": cannot write into the folder (" + std::strerror(error) + ")");
  }
  FileLock lock(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
    throw FileWriteError(path + ": is not a lock file of this program; remove it");
  while (::flock(fd, (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return std::nullopt;
    throw FileWriteError(path + ": cannot be locked (" + std::strerror(errno) + ")");
  }
  return lock;
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FileLock::~FileLock() {
  release();
}

void FileLock::release() {
  if (fd_ >= 0) ::close(fd_);  // a process that inherited the descriptor keeps the lock
  fd_ = -1;
}

void FileLock::describe(const LockHolder& holder) const {
  const std::string text = lockHolderText(holder);
  // Informative only: a holder that cannot say who it is still holds the lock.
  if (::ftruncate(fd_, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd_, text.data(), text.size(), 0);
  }
}

LockHolder readLockHolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[4096];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  return got > 0 ? parseLockHolder(std::string_view(buffer, static_cast<std::size_t>(got))) : LockHolder{};
}

OutputFolderLock::OutputFolderLock(const std::string& folder, FileLock::Mode mode)
    : lock_([&] {
        MakeWritableFolder(folder);
        const std::string path = (fs::path(folder) / kFolderLockName).string();
        std::optional<FileLock> taken = FileLock::tryTake(path, mode);
        if (!taken)
          throw FolderBusyError(
              folder + " is in use by " + describeHolder(readLockHolder(path)) +
              ": two sweeps or fits on one output folder would mix their results. Wait for it to end, "
              "or give this one another output folder.");
        taken->describe(thisProcess());
        return std::move(*taken);
      }()) {}

}  // namespace torvex
