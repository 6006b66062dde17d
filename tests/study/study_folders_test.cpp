// The folders a study writes into: one owner per output folder, case folders
// that are cleared without following links, records that count a case done
// only while its results are the ones recorded, a run left behind by a
// killed sweep ended before its folder is touched, and inputs that may not
// lie where results go.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "study/case_folder.h"
#include "study/folder_lock.h"
#include "study/output_folder.h"
#include "support/test_files.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;
using test::ScratchDirectory;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CaseRecord, ReadsBackWhatItWroteAndNothingItDidNot) {
  const std::string digest(64, 'a');
  const CaseRecord record{
      "f1", "completed", 0, 1.5, {{"results/at_out.dat", 1234, digest}, {"results/case/a b.dat", 0, digest}}};
  const std::optional<CaseRecord> again = parseCaseRecord(caseRecordText(record));
  ASSERT_TRUE(again);
  EXPECT_EQ(caseRecordText(*again), caseRecordText(record));
  ASSERT_EQ(again->results.size(), 2u);
  EXPECT_EQ(again->results[1].path, "results/case/a b.dat");  // the path is the rest of the line
  EXPECT_EQ(again->results[0].size, 1234u);

  // A record of another hand: no fingerprint or state, or a result line
  // that cannot be read, is no record (its case runs again).
  EXPECT_FALSE(parseCaseRecord("state=completed\n"));
  EXPECT_FALSE(parseCaseRecord("fingerprint=f\nstate=completed\nresult=" + digest + " 12\n"));
  EXPECT_FALSE(parseCaseRecord("fingerprint=f\nstate=completed\nresult=" + digest + " -3 results/x\n"));
  EXPECT_FALSE(parseCaseRecord("fingerprint=f\nstate=completed\nresult=" + digest + " 1e3 results/x\n"));
  const std::optional<CaseRecord> crlf = parseCaseRecord("fingerprint=f\r\nstate=failed\r\nexit_status=1\r\n");
  ASSERT_TRUE(crlf);
  EXPECT_EQ(crlf->state, "failed");
  EXPECT_EQ(crlf->exitStatus, 1);
}

// A completed case counts only while every file under results/ is the one
// its record names, byte for byte.
TEST(CaseFolder, ResultsCountOnlyWhileTheyMatchTheirDigests) {
  ScratchDirectory dir;
  const std::string folder = dir.path().string();
  fs::create_directories(dir.path() / "results" / "case");
  test::writeBytes(dir.file("results/at_out.dat"), "profile\n");
  test::writeBytes(dir.file("results/case/run.dat"), "case\n");
  test::writeBytes(dir.file("stdout.txt"), "not a result\n");
  const std::vector<ResultDigest> digests = digestResults(folder);
  ASSERT_EQ(digests.size(), 2u);
  EXPECT_EQ(digests[0].path, "results/at_out.dat");
  EXPECT_EQ(digests[1].path, "results/case/run.dat");
  EXPECT_TRUE(resultsMatch(folder, digests));
  EXPECT_FALSE(resultsMatch(folder, {}));

  test::writeBytes(dir.file("results/at_out.dat"), "profilf\n");  // same size, one byte changed
  EXPECT_FALSE(resultsMatch(folder, digests));
  test::writeBytes(dir.file("results/at_out.dat"), "profile\n");
  EXPECT_TRUE(resultsMatch(folder, digests));
  // The same bytes behind a link are not the file the run wrote.
  test::writeBytes(dir.file("elsewhere.dat"), "case\n");
  fs::remove(dir.path() / "results/case/run.dat");
  fs::create_symlink(dir.path() / "elsewhere.dat", dir.path() / "results/case/run.dat");
  EXPECT_FALSE(resultsMatch(folder, digests));
  fs::remove_all(dir.path() / "results");
  EXPECT_FALSE(resultsMatch(folder, digests));
}

// Claiming a case folder makes it a real folder and clearing it removes
// what it held, links included, without following them anywhere.
TEST(CaseFolder, ClearingRemovesLinksWithoutFollowingThemAndKeepsTheLock) {
  ScratchDirectory dir;
  fs::create_directories(dir.path() / "user");
  test::writeBytes(dir.file("user/notes.txt"), "keep me\n");
  const std::string folder = dir.file("cases/0000");
  fs::create_directories(dir.path() / "cases");
  // The case folder itself a link to the user's folder.
  fs::create_directory_symlink(dir.path() / "user", folder);
  std::ostringstream log;
  {
    const FileLock lock = claimCaseFolder(folder, true, log);
    EXPECT_FALSE(fs::is_symlink(folder));
    EXPECT_TRUE(fs::is_directory(folder));
  }
  EXPECT_EQ(test::readBytes(dir.file("user/notes.txt")), "keep me\n");

  fs::create_symlink(dir.path() / "user/notes.txt", fs::path(folder) / "stdout.txt");
  fs::create_directory_symlink(dir.path() / "user", fs::path(folder) / "results");
  test::writeBytes(folder + "/stale.dat", "from an earlier run\n");
  const FileLock lock = claimCaseFolder(folder, true, log);
  clearCaseFolder(folder);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{kCaseLockName});
  EXPECT_EQ(test::readBytes(dir.file("user/notes.txt")), "keep me\n");
  EXPECT_TRUE(log.str().empty()) << log.str();
}

// A process that holds a case's lock: what a case's run does while it runs.
pid_t startHolder(const std::string& folder) {
  const std::string lockPath = folder + "/" + kCaseLockName;
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0644);
  if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(90);
  const std::string text = "pid=" + std::to_string(::getpid()) + "\ncommand=a run left behind\n";
  if (::ftruncate(fd, 0) != 0 || ::write(fd, text.data(), text.size()) < 0) ::_exit(91);
  ::execl("/bin/sleep", "sleep", "60", nullptr);
  ::_exit(92);
}

void waitForLockHeld(const std::string& folder) {
  for (int i = 0; i < 500 && !has(test::readBytes(folder + "/" + kCaseLockName), "command="); ++i) ::usleep(10000);
}

// A sweep that owns the output folder ends a run left behind in a case
// folder before it clears it; a task of a job array, which shares the
// folder, refuses the case instead, naming the holder.
TEST(CaseFolder, ARunLeftBehindIsEndedBeforeItsFolderIsTouched) {
  ScratchDirectory dir;
  const std::string folder = dir.file("0000");
  fs::create_directories(folder);
  const pid_t holder = startHolder(folder);
  ASSERT_GT(holder, 0);
  waitForLockHeld(folder);

  std::ostringstream log;
  const std::string refusal = test::messageOf<FolderBusyError>([&] { claimCaseFolder(folder, false, log); });
  EXPECT_TRUE(has(refusal, "process " + std::to_string(holder))) << refusal;
  EXPECT_TRUE(has(refusal, "a run left behind")) << refusal;

  const FileLock lock = claimCaseFolder(folder, true, log);
  int status = 0;
  ASSERT_EQ(::waitpid(holder, &status, 0), holder);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  EXPECT_TRUE(has(log.str(), "Ended process " + std::to_string(holder))) << log.str();
}

// A lock whose holder names a process that does not hold it (a stale id,
// reused since) never gets that process ended.
TEST(CaseFolder, AnIdThatDoesNotHoldTheLockIsNotEnded) {
  ScratchDirectory dir;
  const std::string folder = dir.file("0000");
  fs::create_directories(folder);
  const pid_t bystander = ::fork();
  if (bystander == 0) {
    ::execl("/bin/sleep", "sleep", "60", nullptr);
    ::_exit(92);
  }
  const int fd = ::open((folder + "/" + kCaseLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const std::string text = "pid=" + std::to_string(bystander) + "\n";
  ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  std::ostringstream log;
  EXPECT_THROW(claimCaseFolder(folder, true, log), FolderBusyError);
  EXPECT_EQ(::kill(bystander, 0), 0) << "the bystander was ended";
  ::kill(bystander, SIGKILL);
  ::waitpid(bystander, nullptr, 0);
  ::close(fd);
}

// One owner per output folder; the tasks of a job array share it, and a
// sweep of its own is refused beside them. The refusal names the holder.
TEST(FolderLock, OneOwnerOrManySharersAndTheSecondOwnerHearsWhoHoldsIt) {
  ScratchDirectory dir;
  const std::string folder = dir.file("runs/deeper");
  {
    const OutputFolderLock owner(folder, FileLock::Mode::Exclusive);
    const std::string refusal =
        test::messageOf<FolderBusyError>([&] { OutputFolderLock(folder, FileLock::Mode::Exclusive); });
    EXPECT_TRUE(has(refusal, folder + " is in use by process " + std::to_string(::getpid()))) << refusal;
    EXPECT_TRUE(has(refusal, "torvex_core_tests")) << refusal;  // the holder's command line
    EXPECT_THROW(OutputFolderLock(folder, FileLock::Mode::Shared), FolderBusyError);
  }
  {
    const OutputFolderLock first(folder, FileLock::Mode::Shared);
    const OutputFolderLock second(folder, FileLock::Mode::Shared);
    EXPECT_THROW(OutputFolderLock(folder, FileLock::Mode::Exclusive), FolderBusyError);
  }
  const OutputFolderLock again(folder, FileLock::Mode::Exclusive);  // released with its holders

  // A file where the folder should be, and a link in place of the lock file.
  test::writeBytes(dir.file("file"), "x");
  EXPECT_THROW(OutputFolderLock(dir.file("file"), FileLock::Mode::Exclusive), FileWriteError);
  fs::create_directories(dir.path() / "linked");
  fs::create_symlink(dir.path() / "file", dir.path() / "linked" / kFolderLockName);
  EXPECT_THROW(OutputFolderLock(dir.file("linked"), FileLock::Mode::Exclusive), FileWriteError);
  EXPECT_EQ(test::readBytes(dir.file("file")), "x");
}

TEST(FolderLock, HolderTextReadsBackAndStaysOnItsLines) {
  const LockHolder holder{42, "node7", "torvex-batch sweep a\nb.toml", "2024-05-01T10:00:00Z"};
  const LockHolder again = parseLockHolder(lockHolderText(holder));
  EXPECT_EQ(again.pid, 42);
  EXPECT_EQ(again.host, "node7");
  EXPECT_EQ(again.command, "torvex-batch sweep a b.toml");
  EXPECT_EQ(describeHolder(again), "process 42 on node7 (torvex-batch sweep a b.toml, since 2024-05-01T10:00:00Z)");
  EXPECT_EQ(parseLockHolder("pid=-7\n").pid, 0);
  EXPECT_EQ(describeHolder(parseLockHolder("garbage")), "another process");
}

// Inputs may not lie in the output folder or below it, however the paths
// are spelled: through a link, with "..", or as the folder itself. A folder
// whose name merely begins like the output folder's is another folder.
TEST(OutputFolder, InputsInsideTheOutputFolderAreRefusedNamingBoth) {
  ScratchDirectory dir;
  const test::ScopedWorkingDirectory cwd(dir.path());
  fs::create_directories("runs/case");
  fs::create_directories("runs2");
  test::writeBytes("runs/case/couple.dat", "x");
  test::writeBytes("runs2/couple.dat", "x");
  fs::create_directory_symlink(dir.path() / "runs", "alias");

  InputsOutside inputs("runs", "The study's output folder");
  inputs.check("runs2/couple.dat");
  inputs.check("");
  const std::string refusal = test::messageOf<InputError>([&] { inputs.check("runs/case/couple.dat"); });
  EXPECT_TRUE(has(refusal, "The study's output folder runs holds the input runs/case/couple.dat")) << refusal;
  EXPECT_THROW(inputs.check("alias/case/couple.dat"), InputError);
  EXPECT_THROW(inputs.check("runs2/../runs/case/couple.dat"), InputError);
  EXPECT_THROW(InputsOutside(".", "The fit's output folder").check("runs2/couple.dat"), InputError);
  EXPECT_THROW(InputsOutside("alias/case", "The fit's output folder").check("runs/case/couple.dat"), InputError);
}

}  // namespace
}  // namespace torvex
