#pragma once
// How the files that grow with a run reach the disk.
//
// A record of the run (the Kirkendall, boundary and flux-comparison records)
// holds a line per pass and is saved every few passes. Rewriting it whole at
// every save would make a save cost as much as the run so far, and the run's
// cost grow as the square of its length: a RecordFile appends only the part
// of the record that the file does not hold yet. The file is replaced whole
// (atomically) only at the run's first save or when it is not the file this
// writer left (another program replaced or changed it, or the record itself
// was cleared or edited rather than added to).
//
// A process killed while appending leaves the file with every line it held
// before and, at worst, a part of the new lines at its end; the readers drop
// a last line without its line end.
//
// SyncSchedule decides which saves wait for the disk: a killed process loses
// nothing that it wrote (the system still writes it out), so only a power cut
// or a system crash can lose writes not yet synced. Syncing at every save
// would make the run wait for the disk most of the time.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/text_list.h"

namespace torvex {

class RecordFile {
 public:
  // Makes the file at path hold the text of list (lines with CR LF), by an
  // append when the file is the one this writer wrote last, unchanged since,
  // and the list has only grown since (TextList::revision), else by an atomic
  // replace. Flushed to disk when sync is Now. Throws FileWriteError naming
  // the file; the writer then forgets the file, so the next write replaces
  // it whole.
  //
  // After release the list no longer holds the lines the file has, so the
  // file cannot be rewritten from it: when it is not the file this writer
  // left (another program replaced, changed or removed it, or an append
  // failed), it is kept as NAME.earlier (continued_files.h) and a new file
  // is started with the lines the list still holds; notices() then says so.
  // The same when a line of the list was changed in place since. A list that
  // its owner cleared or reloaded since (TextList::lineage) holds its whole
  // record again and is written as above.
  void write(const std::string& path, const TextList& list, FileSync sync);

  // After a write: drops from list the lines the file now holds, except its
  // first `opening` lines and its last line, so a record that only grows
  // takes memory for the lines of a few passes, not for the whole run. Does
  // nothing unless the last write succeeded and the list has not changed
  // since.
  void release(TextList& list, std::size_t opening);

  // Forgets the file: the next write replaces it whole.
  void forget() { known_ = false; }

  // What the writes had to do besides writing (a file set aside), one
  // sentence each, oldest first; takeNotices empties them.
  [[nodiscard]] const std::vector<std::string>& notices() const { return notices_; }
  std::vector<std::string> takeNotices() { return std::exchange(notices_, {}); }

 private:
  void replace(const std::string& path, const TextList& list, std::string_view text, FileSync sync);

  bool known_ = false;
  // The list lacks lines that the file holds (release).
  bool released_ = false;
  std::string path_;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  std::uint64_t fileSize_ = 0;   // bytes the file holds
  std::uint64_t listBytes_ = 0;  // bytes of the list's text that the file holds (its end)
  std::uint64_t revision_ = 0;
  std::uint64_t lineage_ = 0;
  std::vector<std::string> notices_;
};

// When a run's saves also sync their files to disk: the first save, then a
// save at least `interval` after the last synced one; a run's final save
// always syncs (the caller asks for it). An interval of 0 syncs every save.
class SyncSchedule {
 public:
  // The default interval: a power cut loses at most this much of a run's
  // results (plus what the disk itself holds back).
  static constexpr double kDefaultSeconds = 5.0;

  void setInterval(double seconds) { intervalSeconds_ = seconds; }
  [[nodiscard]] double interval() const { return intervalSeconds_; }
  // Whether the save about to be made should sync; `final` always does.
  // Remembers the time of a save that syncs.
  FileSync next(bool final);

 private:
  double intervalSeconds_ = kDefaultSeconds;
  bool synced_ = false;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace torvex
