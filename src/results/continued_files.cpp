#include "results/continued_files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/errors.h"
#include "model/number_format.h"
#include "model/text_list.h"
#include "results/results_files.h"

namespace torvex {
namespace {

// The first and the last lines of our files are short; a longer one is not
// one of ours.
constexpr std::size_t kLineReach = 1u << 16;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_;
};

// Up to `count` bytes of fd from `offset`.
std::string readAt(int fd, off_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, bytes.data() + done, count - done, offset + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

std::string_view withoutCarriageReturn(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Whether the whole last line allows a continuation at start: a line that
// does not start with a number (a header) does; a time no later than start
// does.
bool endsNoLaterThan(std::string_view line, char separator, double start) {
  line = withoutCarriageReturn(line);
  const std::size_t from = line.find_first_not_of(' ');
  if (from == std::string_view::npos) return true;
  line.remove_prefix(from);
  const std::string_view first = line.substr(0, std::min(line.find(separator), line.size()));
  const std::optional<double> time = parseReal(first);
  if (!time) return true;
  // The times are written and read back in the same number format.
  return *time <= start + 1e-12 * std::fabs(start);
}

}  // namespace

EarlierFile continueEarlierFile(const std::string& path, std::string_view firstLine, char separator, double start) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return EarlierFile::None;
  if (!S_ISREG(status.st_mode)) return EarlierFile::Unrelated;
  const FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) return EarlierFile::Unrelated;
  if (::fstat(fd.get(), &status) != 0) return EarlierFile::Unrelated;
  const auto size = static_cast<std::size_t>(status.st_size);
  const std::string head = readAt(fd.get(), 0, std::min(size, kLineReach));
  const std::size_t headEnd = head.find('\n');
  if (headEnd == std::string::npos || withoutCarriageReturn(std::string_view(head).substr(0, headEnd)) != firstLine)
    return EarlierFile::Unrelated;
  // The tail: a torn last line after the last line end, and before it the
  // last whole line.
  const std::size_t tailStart = size > kLineReach ? size - kLineReach : 0;
  const std::string tail = readAt(fd.get(), static_cast<off_t>(tailStart), size - tailStart);
  const std::size_t lastEnd = tail.rfind('\n');
  if (lastEnd == std::string::npos) return EarlierFile::Unrelated;
  const std::size_t lineStart = lastEnd == 0 ? std::string::npos : tail.rfind('\n', lastEnd - 1);
  if (lineStart == std::string::npos && tailStart > 0) return EarlierFile::Unrelated;
  const std::size_t from = lineStart == std::string::npos ? 0 : lineStart + 1;
  if (!endsNoLaterThan(std::string_view(tail).substr(from, lastEnd - from), separator, start))
    return EarlierFile::Unrelated;
  const std::size_t whole = tailStart + lastEnd + 1;
  if (whole < size && ::ftruncate(fd.get(), static_cast<off_t>(whole)) != 0)
    throw FileWriteError(path + ": cannot cut the torn last line (" + std::strerror(errno) + ")");
  return EarlierFile::Continues;
}

std::string setEarlierFileAside(const std::string& path) {
  for (int k = 1;; ++k) {
    const std::string aside = path + ".earlier" + (k == 1 ? std::string() : std::to_string(k));
    struct stat status {};
    if (::lstat(aside.c_str(), &status) == 0) continue;
    if (std::rename(path.c_str(), aside.c_str()) != 0)
      throw FileWriteError(path + ": cannot keep the earlier file as " + aside + " (" + std::strerror(errno) + ")");
    return aside;
  }
}

void continueEarlierRecords(const std::string& folder, double start, RunRecords& records) {
  struct Record {
    const char* name;
    TextList& list;
  };
  for (const Record& record :
       {Record{kKirkendallRecordFile, records.kirkendall}, Record{kBoundaryRecordFile, records.boundary},
        Record{kFluxComparisonFile, records.fluxComparison}}) {
    // The first line the run's own opening gave the record.
    if (record.list.empty()) continue;
    const std::string firstLine = std::as_const(record.list)[0];
    const std::string path = resultsFilePath(folder, record.name);
    const EarlierFile earlier = continueEarlierFile(path, firstLine, ' ', start);
    if (earlier == EarlierFile::None) continue;
    if (earlier == EarlierFile::Continues) {
      TextList continued;
      try {
        continued.loadFromFile(path);
        record.list = std::move(continued);
        record.list.keepText();
        continue;
      } catch (const InputError&) {
        // Too large or not text: kept aside below.
      }
    }
    setEarlierFileAside(path);
  }
}

}  // namespace torvex
