#include "model/text_list.h"

#include <algorithm>
#include <atomic>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/errors.h"
#include "model/read_file.h"
#include "model/sha256.h"

namespace torvex {
namespace {

bool isAllowedControl(unsigned char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0x1A;
}

std::string describeByte(unsigned char c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", static_cast<unsigned>(c));
  return buffer;
}

std::string systemReason() {
  return std::strerror(errno);
}

// Writes all of data to fd, retrying short writes.
bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

constexpr std::string_view kTemporarySuffix = ".tmp";

// The temporary file that saveToFile of process `pid` writes for path. The
// name is unique per process so that two programs saving the same file never
// write into one temporary file.
std::string temporaryPathOf(const std::string& path, long long pid) {
  return path + std::string(kTemporarySuffix) + std::to_string(pid);
}

// The process id in a temporary file name of `name` ("name.tmp1234"), or -1.
long long temporaryOwnerOf(std::string_view entry, std::string_view name) {
  if (entry.size() <= name.size() + kTemporarySuffix.size() || entry.substr(0, name.size()) != name) return -1;
  entry.remove_prefix(name.size());
  if (entry.substr(0, kTemporarySuffix.size()) != kTemporarySuffix) return -1;
  entry.remove_prefix(kTemporarySuffix.size());
  if (entry.size() > 9) return -1;
  long long pid = 0;
  for (const char c : entry) {
    if (c < '0' || c > '9') return -1;
    pid = pid * 10 + (c - '0');
  }
  return pid;
}

bool processRuns(long long pid) {
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH);
}

}  // namespace

std::string trimmed(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return std::string(text);
}

std::uint64_t TextList::newRevision() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

void TextList::loadFromText(std::string_view text, const std::string& name) {
  const std::string_view asRead = text;
  if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF")
    throw InputError(name + ": the file is saved as UTF-16 text; save it as plain text (ASCII or UTF-8)");
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines;
  std::string current;
  std::size_t lineNumber = 1;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c == '\n' || c == '\r') {
      lines.push_back(std::move(current));
      current.clear();
      ++lineNumber;
      if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
      continue;
    }
    if (c < 0x20 && !isAllowedControl(c))
      throw InputError(name + ": not a text file (byte " + describeByte(c) + " in line " + std::to_string(lineNumber) +
                       ", column " + std::to_string(current.size() + 1) + ")");
    current.push_back(static_cast<char>(c));
  }
  if (!current.empty()) lines.push_back(std::move(current));
  sha256_ = sha256Hex(asRead);
  lines_ = std::move(lines);
  revision_ = newRevision();
  lineage_ = revision_;
  if (keepText_) {
    text_ = joined();
    textStale_ = false;
  }
}

void TextList::loadFromFile(const std::string& path) {
  // Opening a pipe would wait for a writer, and a device has no size to read:
  // only regular files are read.
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) throw InputError(path + ": cannot open the file for reading (it is a directory)");
    if (!S_ISREG(status.st_mode))
      throw InputError(path + ": cannot open the file for reading (it is not a regular file)");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot open the file for reading (" + systemReason() + ")");
  in.seekg(0, std::ios::end);
  const auto size = in.tellg();
  if (size < 0) throw InputError(path + ": cannot read the file");
  if (static_cast<std::size_t>(size) > kMaxFileBytes)
    throw InputError(path + ": the file is too large (" + std::to_string(static_cast<long long>(size)) +
                     " bytes; at most " + std::to_string(kMaxFileBytes) + " are read)");
  in.seekg(0, std::ios::beg);
  std::string content(static_cast<std::size_t>(size), '\0');
  if (size > 0 && !in.read(content.data(), size)) throw InputError(path + ": cannot read the file");
  loadFromText(content, path);
}

void TextList::add(std::string line) {
  lines_.push_back(std::move(line));
  if (!keepText_) return;
  if (textStale_) {
    text_ = joined();
    textStale_ = false;
  } else {
    text_.append(lines_.back());
    text_.append("\r\n");
  }
}

void TextList::erase(std::size_t first, std::size_t last) {
  last = std::min(last, lines_.size());
  if (first >= last) return;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(first), lines_.begin() + static_cast<std::ptrdiff_t>(last));
  lines_.shrink_to_fit();
  revision_ = newRevision();
  sha256_.clear();
  if (keepText_) {
    text_ = joined();
    text_.shrink_to_fit();
    textStale_ = false;
  }
}

void TextList::keepText() {
  if (textKept()) return;
  keepText_ = true;
  text_ = joined();
  textStale_ = false;
}

std::string TextList::text() const {
  return textKept() ? text_ : joined();
}

std::string TextList::joined() const {
  std::string out;
  std::size_t total = 0;
  for (const auto& line : lines_) total += line.size() + 2;
  out.reserve(total);
  for (const auto& line : lines_) {
    out.append(line);
    out.append("\r\n");
  }
  return out;
}

void TextList::saveToFile(const std::string& path) const {
  // A kept text is written as it stands; otherwise the lines are joined.
  if (textKept())
    ReplaceFileContent(path, text_);
  else
    ReplaceFileContent(path, joined());
}

void ReplaceFileContent(const std::string& path, std::string_view content, FileSync sync) {
  const std::string temporary = temporaryPathOf(path, ::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw FileWriteError(path + ": cannot write the file (" + systemReason() + ")");
  const bool written = writeAll(fd, content) && (sync == FileSync::Later || ::fsync(fd) == 0);
  const std::string reason = written ? std::string() : systemReason();
  if (::close(fd) != 0 && written) {
    const std::string closeReason = systemReason();
    ::unlink(temporary.c_str());
    throw FileWriteError(path + ": cannot write the file (" + closeReason + ")");
  }
  if (!written) {
    ::unlink(temporary.c_str());
    throw FileWriteError(path + ": cannot write the file (" + reason + ")");
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string renameReason = systemReason();
    ::unlink(temporary.c_str());
    throw FileWriteError(path + ": cannot replace the file (" + renameReason + ")");
  }
}

void AppendFileContent(const std::string& path, std::string_view content, FileSync sync) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) throw FileWriteError(path + ": cannot write the file (" + systemReason() + ")");
  const bool written = writeAll(fd, content) && (sync == FileSync::Later || ::fdatasync(fd) == 0);
  const std::string reason = written ? std::string() : systemReason();
  if (::close(fd) != 0 && written) throw FileWriteError(path + ": cannot write the file (" + systemReason() + ")");
  if (!written) throw FileWriteError(path + ": cannot write the file (" + reason + ")");
}

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string_view what) {
  const std::string named = path + ": " + std::string(what);
  // Without O_NONBLOCK, opening a pipe would wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw InputError(named + " cannot be read (" + systemReason() + ")");
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat status {};
  if (::fstat(fd, &status) != 0) throw InputError(named + " cannot be read (" + systemReason() + ")");
  if (S_ISDIR(status.st_mode)) throw InputError(named + " cannot be read: it is a folder");
  if (!S_ISREG(status.st_mode)) throw InputError(named + " cannot be read: it is not a regular file");
  const auto tooLarge = [&](std::size_t size) {
    return InputError(named + " is too large (" + std::to_string(size) + " bytes; at most " + std::to_string(maxBytes) +
                      " are read)");
  };
  if (static_cast<std::uint64_t>(status.st_size) > maxBytes) throw tooLarge(static_cast<std::size_t>(status.st_size));
  std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t done = 0;
  for (;;) {
    // The file may have grown since: read until its end, within the cap.
    if (done == bytes.size()) bytes.resize(std::min(maxBytes + 1, std::max<std::size_t>(bytes.size() * 2, 4096)));
    const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw InputError(named + " cannot be read (" + systemReason() + ")");
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
    if (done > maxBytes) throw tooLarge(done);
  }
  bytes.resize(done);
  return bytes;
}

void SyncFolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void MakeWritableFolder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) throw FileWriteError(path + ": cannot make the folder (" + error.message() + ")");
  if (!std::filesystem::is_directory(path, error))
    throw FileWriteError(path + ": cannot write into it: it is not a folder");
  const std::string probe = (std::filesystem::path(path) / (".write-test" + std::to_string(::getpid()))).string();
  ::unlink(probe.c_str());  // left by an earlier process of our id, if anything
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) throw FileWriteError(path + ": cannot write into the folder (" + systemReason() + ")");
  ::close(fd);
  ::unlink(probe.c_str());
}

void RemoveStaleTemporaryFiles(const std::string& directory, const std::vector<std::string>& names) {
  std::error_code error;
  std::vector<std::filesystem::path> stale;
  for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string file = entry->path().filename().string();
    for (const std::string& name : names) {
      const long long owner = temporaryOwnerOf(file, name);
      if (owner < 0) continue;
      if (!processRuns(owner)) stale.push_back(entry->path());
      break;
    }
  }
  for (const auto& path : stale) std::filesystem::remove(path, error);
}

std::vector<std::string> blankSeparatedTokens(std::string_view text) {
  std::vector<std::string> tokens;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto start = text.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) break;
    const auto end = std::min(text.find_first_of(" \t", start), text.size());
    tokens.emplace_back(text.substr(start, end - start));
    at = end;
  }
  return tokens;
}

}  // namespace torvex
