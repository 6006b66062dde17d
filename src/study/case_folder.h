#pragma once
// The folder of one case of a study (OUTPUT/cases/0000/): how it is claimed,
// cleared and recorded, so that a case counts as done only when a run of
// exactly these inputs finished in it and left these very results.
//
// - The case's lock (sweep-case.lock) is held by the sweep while it prepares
//   the folder and by the case's process while it runs; a process left
//   running by an earlier sweep that was killed is found through it and ended
//   before anything in the folder is touched.
// - Before a case runs, everything else in its folder is removed, links
//   included (never followed), and the folder is filled anew.
// - The record (sweep-case.txt) is written last, after the run ended, and
//   replaced atomically. For a completed case it holds the fingerprint of the
//   inputs and the SHA-256 digest and size of every file under results/; a
//   case whose record is missing, of other inputs, or whose results no longer
//   match it runs again from a cleared folder.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "study/folder_lock.h"

namespace torvex {

inline constexpr const char* kCaseRecordName = "sweep-case.txt";
inline constexpr const char* kCaseLockName = "sweep-case.lock";

// One results file of a completed case.
struct ResultDigest {
  std::string path;  // relative to the case folder, e.g. the atomic profile in the results folder
  std::uintmax_t size = 0;
  std::string sha256;
};

// What the sweep records beside each case's inputs.
struct CaseRecord {
  std::string fingerprint;  // of the rendered inputs, the run options and the program
  std::string state;        // completed, failed, timed_out, crashed, stopped
  int exitStatus = -1;
  double wallSeconds = 0.0;
  std::vector<ResultDigest> results;  // of a completed case: every file under results/
};

// The record's text, and its reading; nullopt for a text without a
// fingerprint and a state (a record written by something else).
std::string caseRecordText(const CaseRecord& record);
std::optional<CaseRecord> parseCaseRecord(std::string_view text);

std::optional<CaseRecord> readCaseRecord(const std::string& caseDirectory);

// Replaces the record atomically. Throws FileWriteError.
void writeCaseRecord(const std::string& caseDirectory, const CaseRecord& record);

// The digests of every regular file under caseDirectory/results, in path
// order (links and other entries are left out).
std::vector<ResultDigest> digestResults(const std::string& caseDirectory);

// Whether every file the digests name is there, a regular file of that size
// and digest. False for no digests at all.
bool resultsMatch(const std::string& caseDirectory, const std::vector<ResultDigest>& digests);

// Makes caseDirectory a folder (a link or a file in its place is removed,
// not followed) and takes the case's lock. A lock held by a process is, with
// `endHolder`, taken to be a run left behind by a killed sweep (the caller
// owns the output folder, so nobody else may be running the case): that
// process and its process group are ended, said on `log`, and the lock taken
// once it is free. Without `endHolder` (tasks of a job array, which share the
// output folder), a held lock is refused. Throws FolderBusyError naming the
// holder when the lock cannot be had, FileWriteError when the folder cannot
// be written.
FileLock claimCaseFolder(const std::string& caseDirectory, bool endHolder, std::ostream& log);

// Removes everything in the claimed case folder but its lock. Throws
// FileWriteError naming what could not be removed.
void clearCaseFolder(const std::string& caseDirectory);

}  // namespace torvex
