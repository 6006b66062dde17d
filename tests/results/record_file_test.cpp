// How the records reach the disk: appended to while the file is the one the
// writer left, replaced whole otherwise, never holding anything but the
// record's text; and when saves wait for the disk.

#include "results/record_file.h"

#include <filesystem>
#include <set>
#include <string>

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
  }
  std::set<ino_t> inodes;
};

// A run's saves append to its records: the files stay the same files (no
// rewrite) and end as the records' text, byte for byte.
TEST_F(RecordsOfARun, SavesAppendToTheRecordsAndTheFilesEndAsTheRecords) {
  test::writeSampleVariant("oxidation.dat", {{DataKey::D1, "0   20"}, {DataKey::D17, "5   5"}}, "short.dat");
  Simulation sim;
  sim.load("short.dat");
  WatchingHost host(sim);
  const RunSummary summary = Execute(sim, host);
  ASSERT_FALSE(summary.failure);
  ASSERT_GT(summary.acceptedPasses, 20);
  EXPECT_EQ(host.inodes.size(), 1u) << "the Kirkendall record was rewritten rather than appended to";
  const auto text = [](const char* name) { return test::readBytes(resultsFilePath(kDefaultResultsFolder, name)); };
  EXPECT_EQ(text(kKirkendallRecordFile), sim.records.kirkendall.text());
  EXPECT_EQ(text(kBoundaryRecordFile), sim.records.boundary.text());
  EXPECT_EQ(text(kFluxComparisonFile), sim.records.fluxComparison.text());

  // The next run of the same simulation (the desktop program's next run)
  // adds to the Kirkendall record and starts the boundary record afresh:
  // the files follow.
  sim.prepare();
  ASSERT_FALSE(test::runToEnd(sim).failure);
  EXPECT_EQ(text(kKirkendallRecordFile), sim.records.kirkendall.text());
  EXPECT_EQ(text(kBoundaryRecordFile), sim.records.boundary.text());
  EXPECT_EQ(text(kFluxComparisonFile), sim.records.fluxComparison.text());
}

}  // namespace
}  // namespace torvex
