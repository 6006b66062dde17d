// How the records reach the disk: appended to while the file is the one the
// writer left, replaced whole otherwise, never holding anything but the
// record's text; and when saves wait for the disk.

#include "results/record_file.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "model/errors.h"
#include "model/text_list.h"
#include "results/records.h"
#include "results/results_files.h"
#include "run/refresh.h"
#include "run/simulation.h"
#include "support/load_fixture.h"
#include "support/sample_variant.h"
#include "support/test_files.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

ino_t inodeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return status.st_ino;
}

TextList grownList(int lines) {
  TextList list;
  list.keepText();
  for (int k = 0; k < lines; ++k) list.add("line " + std::to_string(k));
  return list;
}

TEST(RecordFile, AppendsWhileTheFileIsItsOwnAndReplacesItWholeOtherwise) {
  test::ScratchDirectory dir;
  const std::string path = dir.file("Kirk_plane.dat");
  RecordFile file;
  TextList list = grownList(3);
  file.write(path, list, FileSync::Now);
  EXPECT_EQ(test::readBytes(path), list.text());
  const ino_t first = inodeOf(path);

  // Lines added: appended to the same file (an atomic replace would give a
  // new inode).
  list.add("line 3");
  list.add("line 4");
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), list.text());
  EXPECT_EQ(inodeOf(path), first);
  file.write(path, list, FileSync::Later);  // nothing new: nothing changes
  EXPECT_EQ(test::readBytes(path), list.text());

  // Another program replaced the file: it is replaced whole, not appended to.
  test::writeBytes(path, "something else\r\n");
  list.add("line 5");
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), list.text());

  // The file was cut short (or grew) behind the writer's back: replaced whole.
  test::writeBytes(path, list.text().substr(0, 10));
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), list.text());
  test::writeBytes(path, list.text() + "torn");
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), list.text());

  // The record itself changed other than by adding lines: replaced whole.
  list[1] = "an edited line";
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), list.text());
  list.clear();
  list.add("a new record");
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), "a new record\r\n");

  // A copy of the list grows on its own: writing it is never an append of
  // what the original gained.
  TextList copy = list;
  list.add("original");
  copy.add("copy");
  copy.add("copy 2");
  file.write(path, list, FileSync::Later);
  file.write(path, copy, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), copy.text());

  // Another path is another file.
  const std::string other = dir.file("other.dat");
  file.write(other, copy, FileSync::Later);
  EXPECT_EQ(test::readBytes(other), copy.text());

  // A list that does not keep its text is written whole as well.
  TextList plain;
  plain.add("plain");
  file.write(path, plain, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), "plain\r\n");
}

TEST(RecordFile, AFailedWriteLeavesTheFileToBeReplacedWholeNextTime) {
  test::ScratchDirectory dir;
  const std::string folder = dir.file("results");
  fs::create_directories(folder);
  const std::string path = folder + "/boundary_flux.dat";
  RecordFile file;
  TextList list = grownList(2);
  file.write(path, list, FileSync::Later);
  // The file turns into a folder: the write fails and names the file.
  fs::remove(path);
  fs::create_directories(path);
  list.add("line 2");
  const std::string message = test::messageOf<FileWriteError>([&] { file.write(path, list, FileSync::Later); });
  EXPECT_NE(message.find(path), std::string::npos) << message;
  fs::remove(path);
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), list.text());
}

// Once released, the list holds only its opening and last lines; the file
// keeps every line, goes on by appends, and a file the writer did not leave
// is kept aside rather than replaced by the few lines the list still holds.
TEST(RecordFile, AReleasedListKeepsItsOpeningAndLastLinesAndNeverLosesTheFileWritten) {
  test::ScratchDirectory dir;
  const std::string path = dir.file("Kirk_plane.dat");
  RecordFile file;
  TextList list = grownList(2);
  TextList whole = list;
  file.write(path, list, FileSync::Now);
  const ino_t first = inodeOf(path);
  for (int save = 0; save < 50; ++save) {
    for (int k = 0; k < 4; ++k) {
      const std::string line = "pass " + std::to_string(4 * save + k);
      list.add(line);
      whole.add(line);
    }
    // Lines added since the last write are not in the file: not released.
    file.release(list, 1);
    file.write(path, list, FileSync::Later);
    file.release(list, 1);
    ASSERT_EQ(list.count(), 2u);
    EXPECT_EQ(std::as_const(list)[1], std::as_const(whole)[whole.count() - 1]);
  }
  EXPECT_EQ(std::as_const(list)[0], "line 0");
  EXPECT_EQ(list.text().size(), std::string("line 0\r\npass 199\r\n").size());
  EXPECT_EQ(test::readBytes(path), whole.text());
  EXPECT_EQ(inodeOf(path), first);
  EXPECT_TRUE(file.notices().empty());

  // Another program replaced the file: it is kept as .earlier, and the
  // record goes on in a new file with what the list holds.
  test::writeBytes(path, "edited by hand\r\n");
  list.add("pass 200");
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path + ".earlier"), "edited by hand\r\n");
  EXPECT_EQ(test::readBytes(path), "line 0\r\npass 199\r\npass 200\r\n");
  ASSERT_EQ(file.notices().size(), 1u);
  EXPECT_NE(file.notices()[0].find(path + ".earlier"), std::string::npos) << file.notices()[0];

  // The new file is the writer's own: appended to, released again.
  file.release(list, 1);
  list.add("pass 201");
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), "line 0\r\npass 199\r\npass 200\r\npass 201\r\n");

  // Removed: started again, said so, nothing set aside.
  file.release(list, 1);
  fs::remove(path);
  list.add("pass 202");
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), "line 0\r\npass 201\r\npass 202\r\n");
  EXPECT_FALSE(fs::exists(path + ".earlier2"));
  ASSERT_EQ(file.takeNotices().size(), 2u);
  EXPECT_TRUE(file.notices().empty());

  // A line changed in place: the file cannot be rewritten from the list.
  file.release(list, 1);
  list[0] = "line 0, edited";
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path + ".earlier2"), "line 0\r\npass 201\r\npass 202\r\n");
  EXPECT_EQ(test::readBytes(path), "line 0, edited\r\npass 202\r\n");
  EXPECT_EQ(file.takeNotices().size(), 1u);

  // Its owner started the record afresh: the list is the whole record, the
  // file is replaced by it without a word.
  file.release(list, 1);
  list.clear();
  list.add("a new record");
  file.write(path, list, FileSync::Later);
  EXPECT_EQ(test::readBytes(path), "a new record\r\n");
  EXPECT_TRUE(file.notices().empty());
}

TEST(RecordFile, AReleasedRecordWhoseFileTurnedIntoAFolderKeepsTheFolderAside) {
  test::ScratchDirectory dir;
  const std::string path = dir.file("fluxes_comparition.dat");
  RecordFile file;
  TextList list = grownList(5);
  file.write(path, list, FileSync::Later);
  file.release(list, 2);
  const std::string written = test::readBytes(path);
  // The file turns into a folder: it cannot be appended to, so it is kept
  // aside and a new file started.
  fs::remove(path);
  fs::create_directories(path);
  list.add("line 5");
  file.write(path, list, FileSync::Later);
  EXPECT_TRUE(fs::is_directory(path + ".earlier"));
  EXPECT_EQ(test::readBytes(path), "line 0\r\nline 1\r\nline 4\r\nline 5\r\n");
  EXPECT_EQ(file.notices().size(), 1u);
  EXPECT_EQ(written, grownList(5).text());
}

TEST(SyncSchedule, SyncsTheFirstAndFinalSavesAndOtherwiseAtMostOncePerInterval) {
  SyncSchedule every;
  every.setInterval(0);
  EXPECT_EQ(every.next(false), FileSync::Now);
  EXPECT_EQ(every.next(false), FileSync::Now);

  SyncSchedule rare;
  rare.setInterval(3600);
  EXPECT_EQ(rare.next(false), FileSync::Now);  // the first save
  EXPECT_EQ(rare.next(false), FileSync::Later);
  EXPECT_EQ(rare.next(false), FileSync::Later);
  EXPECT_EQ(rare.next(true), FileSync::Now);  // the end of the run
  EXPECT_EQ(rare.next(false), FileSync::Later);
}

using RecordsOfARun = test::LoadFixture;

// Notes the files of the results folder after every pass.
class WatchingHost : public DirectRunHost {
 public:
  explicit WatchingHost(Simulation& sim) : DirectRunHost(sim) {}
  void Refresh() override {
    DirectRunHost::Refresh();
    const std::string path = resultsFilePath(kDefaultResultsFolder, kKirkendallRecordFile);
    if (fs::exists(path)) inodes.insert(inodeOf(path));
    mostKirkendallLines = std::max(mostKirkendallLines, sim_.records.kirkendall.count());
  }
  std::set<ino_t> inodes;
  std::size_t mostKirkendallLines = 0;
};

// A run's saves append to its records: the files stay the same files (no
// rewrite) and end as the whole records that the same run without a results
// folder keeps in memory, byte for byte, while the run keeps in memory only
// their opening lines and the lines since its last save.
TEST_F(RecordsOfARun, SavesAppendToTheRecordsAndKeepOnlyTheirOpeningAndLatestLines) {
  test::writeSampleVariant("oxidation.dat", {{DataKey::D1, "0   20"}, {DataKey::D17, "5   5"}}, "short.dat");
  Simulation sim;
  sim.load("short.dat");
  Simulation inMemory;
  inMemory.resultsDirectory.reset();
  inMemory.load("short.dat");
  WatchingHost host(sim);
  const RunSummary summary = Execute(sim, host);
  ASSERT_FALSE(summary.failure);
  ASSERT_GT(summary.acceptedPasses, 40);
  ASSERT_FALSE(test::runToEnd(inMemory).failure);
  EXPECT_EQ(host.inodes.size(), 1u) << "the Kirkendall record was rewritten rather than appended to";
  EXPECT_LT(host.mostKirkendallLines, kKirkendallOpeningLines + 12) << "the records keep what their files hold";
  EXPECT_EQ(sim.records.kirkendall.count(), kKirkendallOpeningLines + 1);
  EXPECT_EQ(sim.records.boundary.count(), kBoundaryOpeningLines + 1);
  EXPECT_EQ(sim.records.fluxComparison.count(), kFluxComparisonOpeningLines + 1);
  EXPECT_EQ(sim.records.fluxComparison.lines().back(), inMemory.records.fluxComparison.lines().back());
  const auto text = [](const char* name) { return test::readBytes(resultsFilePath(kDefaultResultsFolder, name)); };
  EXPECT_EQ(text(kKirkendallRecordFile), inMemory.records.kirkendall.text());
  EXPECT_EQ(text(kBoundaryRecordFile), inMemory.records.boundary.text());
  EXPECT_EQ(text(kFluxComparisonFile), inMemory.records.fluxComparison.text());
  ASSERT_NE(sim.journal.lastReport(), nullptr);
  for (const RunCheck& check : sim.journal.lastReport()->checks) EXPECT_NE(check.id, "records.continuity");

  // The next run of the same simulation (the desktop program's next run)
  // adds to the Kirkendall record and starts the boundary record afresh:
  // the files follow.
  for (Simulation* each : {&sim, &inMemory}) {
    each->prepare();
    ASSERT_FALSE(test::runToEnd(*each).failure);
  }
  EXPECT_EQ(text(kKirkendallRecordFile), inMemory.records.kirkendall.text());
  EXPECT_EQ(text(kBoundaryRecordFile), inMemory.records.boundary.text());
  EXPECT_EQ(text(kFluxComparisonFile), inMemory.records.fluxComparison.text());
}

}  // namespace
}  // namespace torvex
