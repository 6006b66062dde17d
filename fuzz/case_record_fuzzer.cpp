// Fuzz target: the records a sweep leaves in its folders, which a later sweep
// reads to decide what is done and whom to end: a case's record
// (sweep-case.txt) and a lock file's holder.
//
// The input holds two pieces separated by a NUL byte: the record's text and
// the lock file's text. Whatever the bytes, reading never fails; a record
// that is read has a fingerprint and a state, and written out again it reads
// back as itself; a holder read has no negative process id, and its text
// reads back as the same holder.

#include <string>

#include "fuzz_support.h"
#include "study/case_folder.h"
#include "study/folder_lock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  const auto pieces = fuzz::splitInput(data, size, 2);
  if (!pieces.empty()) {
    if (const std::optional<CaseRecord> record = parseCaseRecord(pieces[0])) {
      if (record->fingerprint.empty() || record->state.empty()) __builtin_trap();
      const std::string text = caseRecordText(*record);
      const std::optional<CaseRecord> again = parseCaseRecord(text);
      if (!again || caseRecordText(*again) != text) __builtin_trap();
    }
  }
  if (pieces.size() > 1) {
    const LockHolder holder = parseLockHolder(pieces[1]);
    if (holder.pid < 0) __builtin_trap();
    const LockHolder again = parseLockHolder(lockHolderText(holder));
    if (lockHolderText(again) != lockHolderText(holder)) __builtin_trap();
  }
  return 0;
}
