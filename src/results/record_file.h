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
  void write(const std::string& path, const TextList& list, FileSync sync);

  // Forgets the file: the next write replaces it whole.
  void forget() { known_ = false; }

 private:
  bool known_ = false;
  std::string path_;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  std::uint64_t size_ = 0;  // bytes of the list's text the file holds
  std::uint64_t revision_ = 0;
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
