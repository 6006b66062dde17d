#include "study/case_folder.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "model/errors.h"
#include "model/number_format.h"
#include "model/sha256.h"
#include "model/text_list.h"
#include "results/results_files.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

// How long an ended process may take to let go of the case's lock.
constexpr auto kEndWait = std::chrono::seconds(30);
// How long a lock whose holder is not known yet is waited for: a sweep
// names the holder a moment after the case's process starts.
constexpr auto kUnknownHolderWait = std::chrono::seconds(3);
constexpr auto kPoll = std::chrono::milliseconds(20);

std::string lockPathOf(const std::string& caseDirectory) {
  return (fs::path(caseDirectory) / kCaseLockName).string();
}

// Whether process `pid` has the file `path` open: the proof that it is the
// holder of the lock on it, and no unrelated process that got the id later.
bool holdsFile(long long pid, const std::string& path) {
  struct stat target {};
  if (pid <= 0 || ::stat(path.c_str(), &target) != 0) return false;
  std::error_code error;
  const fs::path descriptors = fs::path("/proc") / std::to_string(pid) / "fd";
  for (fs::directory_iterator entry(descriptors, error), end; !error && entry != end; entry.increment(error)) {
    struct stat open {};
    if (::stat(entry->path().c_str(), &open) == 0 && open.st_dev == target.st_dev && open.st_ino == target.st_ino)
      return true;
  }
  return false;
}

// Removes what stands at `path` if it is not a folder (a link is removed,
// not followed), then makes the folder.
void makeRealFolder(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  if (!error && fs::exists(status) && !fs::is_directory(status)) {
    fs::remove(path, error);
    if (error)
      throw FileWriteError(path + ": cannot remove what stands in place of the case folder (" + error.message() + ")");
  }
  error.clear();
  fs::create_directories(path, error);
  if (error) throw FileWriteError(path + ": cannot make the case folder (" + error.message() + ")");
}

}  // namespace

std::string caseRecordText(const CaseRecord& record) {
  std::string text = "fingerprint=" + record.fingerprint + "\nstate=" + record.state +
                     "\nexit_status=" + std::to_string(record.exitStatus) +
                     "\nwall_time_s=" + formatGeneral(record.wallSeconds) + "\n";
  for (const ResultDigest& result : record.results)
    text += "result=" + result.sha256 + " " + std::to_string(result.size) + " " + result.path + "\n";
  return text;
}

std::optional<CaseRecord> parseCaseRecord(std::string_view text) {
  CaseRecord record;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string value(line.substr(equals + 1));
    if (key == "fingerprint") record.fingerprint = value;
    if (key == "state") record.state = value;
    if (key == "exit_status") record.exitStatus = integerOr(value, -1);
    if (key == "wall_time_s") record.wallSeconds = parseReal(value).value_or(0.0);
    if (key == "result") {
      // result=<sha256> <size> <path>; a line of another shape spoils the
      // record (its case runs again) rather than being skipped.
      const std::size_t first = value.find(' ');
      const std::size_t second = first == std::string::npos ? first : value.find(' ', first + 1);
      if (second == std::string::npos || second + 1 >= value.size()) return std::nullopt;
      std::uintmax_t size = 0;
      const char* begin = value.data() + first + 1;
      const char* stop = value.data() + second;
      const auto [end, error] = std::from_chars(begin, stop, size);
      if (error != std::errc() || end != stop || begin == stop) return std::nullopt;
      record.results.push_back({value.substr(second + 1), size, value.substr(0, first)});
    }
  }
  if (record.fingerprint.empty() || record.state.empty()) return std::nullopt;
  return record;
}

std::optional<CaseRecord> readCaseRecord(const std::string& caseDirectory) {
  const fs::path path = fs::path(caseDirectory) / kCaseRecordName;
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(path, error)) || fs::file_size(path, error) > (1u << 24))
    return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return parseCaseRecord(text.str());
}

void writeCaseRecord(const std::string& caseDirectory, const CaseRecord& record) {
  ReplaceFileContent((fs::path(caseDirectory) / kCaseRecordName).string(), caseRecordText(record));
}

std::vector<ResultDigest> digestResults(const std::string& caseDirectory) {
  std::vector<ResultDigest> digests;
  const fs::path base(caseDirectory);
  std::error_code error;
  for (fs::recursive_directory_iterator entry(base / kDefaultResultsFolder, error), end; !error && entry != end;
       entry.increment(error)) {
    if (!entry->is_regular_file(error) || entry->is_symlink(error)) continue;
    const std::string relative = entry->path().lexically_relative(base).generic_string();
    if (relative.find('\n') != std::string::npos) continue;
    try {
      digests.push_back({relative, entry->file_size(error), sha256OfFile(entry->path().string())});
    } catch (const InputError&) {
      continue;  // unreadable: not part of the record, so never taken for a result
    }
  }
  std::sort(digests.begin(), digests.end(),
            [](const ResultDigest& a, const ResultDigest& b) { return a.path < b.path; });
  return digests;
}

bool resultsMatch(const std::string& caseDirectory, const std::vector<ResultDigest>& digests) {
  if (digests.empty()) return false;
  for (const ResultDigest& digest : digests) {
    const fs::path path = fs::path(caseDirectory) / digest.path;
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(path, error)) || fs::file_size(path, error) != digest.size || error)
      return false;
    try {
      if (sha256OfFile(path.string()) != digest.sha256) return false;
    } catch (const InputError&) {
      return false;
    }
  }
  return true;
}

FileLock claimCaseFolder(const std::string& caseDirectory, bool endHolder, std::ostream& log) {
  makeRealFolder(caseDirectory);
  const std::string lockPath = lockPathOf(caseDirectory);
  {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(lockPath, error);
    if (!error && fs::exists(status) && !fs::is_regular_file(status)) fs::remove_all(lockPath, error);
  }
  if (std::optional<FileLock> lock = FileLock::tryTake(lockPath, FileLock::Mode::Exclusive)) return std::move(*lock);

  LockHolder holder = readLockHolder(lockPath);
  const auto busy = [&] {
    return FolderBusyError(caseDirectory + " is in use by " + describeHolder(holder) +
                           ": its case is being run already" +
                           (endHolder ? std::string(", and that process cannot be ended from here") : std::string()));
  };
  if (!endHolder) throw busy();
  // The holder may not have been named yet: a sweep names the case's
  // process a moment after it has started it.
  for (auto until = std::chrono::steady_clock::now() + kUnknownHolderWait;
       !holdsFile(holder.pid, lockPath) && std::chrono::steady_clock::now() < until;) {
    std::this_thread::sleep_for(kPoll);
    if (std::optional<FileLock> lock = FileLock::tryTake(lockPath, FileLock::Mode::Exclusive)) return std::move(*lock);
    holder = readLockHolder(lockPath);
  }
  if (!holdsFile(holder.pid, lockPath)) throw busy();
  // Its own process group holds the run and anything it started.
  ::kill(-static_cast<pid_t>(holder.pid), SIGKILL);
  ::kill(static_cast<pid_t>(holder.pid), SIGKILL);
  log << "Ended " << describeHolder(holder) << ", a run of " << caseDirectory
      << " left running by an earlier sweep; the case runs again.\n";
  for (auto until = std::chrono::steady_clock::now() + kEndWait; std::chrono::steady_clock::now() < until;) {
    if (std::optional<FileLock> lock = FileLock::tryTake(lockPath, FileLock::Mode::Exclusive)) return std::move(*lock);
    std::this_thread::sleep_for(kPoll);
  }
  throw busy();
}

void clearCaseFolder(const std::string& caseDirectory) {
  std::error_code error;
  std::vector<fs::path> entries;
  for (fs::directory_iterator entry(caseDirectory, error), end; !error && entry != end; entry.increment(error))
    if (entry->path().filename() != kCaseLockName) entries.push_back(entry->path());
  if (error) throw FileWriteError(caseDirectory + ": cannot clear the case folder (" + error.message() + ")");
  for (const fs::path& path : entries) {
    fs::remove_all(path, error);  // a link is removed, never followed
    if (error)
      throw FileWriteError(path.string() + ": cannot remove it to clear the case folder (" + error.message() + ")");
  }
}

}  // namespace torvex
