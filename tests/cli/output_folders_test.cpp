// The output folders of sweeps and fits as an unattended weekend of studies
// meets them: one owner per folder, runs that end with their sweep, resume
// that trusts only results matching their record, templates that are never
// overwritten, and folders that cannot be written found before anything
// runs.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/batch_process.h"
#include "support/test_files.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::Outcome;

class OutputFolders : public ::testing::Test {
 protected:
  OutputFolders() { EXPECT_EQ(run("--write-samples .").status, 0); }

  Outcome run(const std::string& arguments, const std::string& prefix = "") const {
    return test::runProgram(TORVEX_BATCH_PATH, dir_.path(), arguments, prefix);
  }
  void write(const std::string& name, const std::string& text) const { test::writeBytes(path(name), text); }
  std::string path(const std::string& name) const { return dir_.file(name); }

  // Starts `torvex-batch ARGS...` in the scratch folder, its output dropped.
  pid_t start(const std::vector<const char*>& arguments) const {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(dir_.path().c_str()) != 0) ::_exit(99);
      const int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, 1);
      ::dup2(devnull, 2);
      std::vector<char*> argv{const_cast<char*>(TORVEX_BATCH_PATH)};
      for (const char* argument : arguments) argv.push_back(const_cast<char*>(argument));
      argv.push_back(nullptr);
      ::execv(TORVEX_BATCH_PATH, argv.data());
      ::_exit(98);
    }
    return pid;
  }

  // Whether some process holds the lock of the file (a case's run holds its
  // case's lock while it runs).
  bool held(const std::string& name) const {
    const int fd = ::open(path(name).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return busy;
  }

  // The superuser writes into read-only folders; without the capability
  // that allows it, the folder's permissions apply to it too. Empty when the
  // permissions apply as they are; nullopt when they cannot be made to.
  std::optional<std::string> withoutOverride() const {
    if (::geteuid() != 0) return std::string();
    const std::string prefix = "setpriv --bounding-set=-dac_override,-dac_read_search,-fowner";
    if (run("--help", prefix).status != 0) return std::nullopt;
    return prefix;
  }

  test::ScratchDirectory dir_;
};

constexpr const char* kQuick =
    "case = \"interdiffusion.dat\"\noutput = \"runs\"\n[parameters]\nT = [1273, 1373]\n[set]\nD8 = \"{{T}}\"\n"
    "D1 = \"0 10\"\n";

// Paced runs of some seconds each, one at a time.
constexpr const char* kSlow =
    "case = \"interdiffusion.dat\"\noutput = \"runs\"\n[parameters]\nT = [1273, 1373]\n[set]\nD8 = \"{{T}}\"\n"
    "D1 = \"0 10\"\nD18 = \"20\"\n[run]\noptions = [\"--pace\"]\njobs = 1\n";

TEST_F(OutputFolders, OneSweepOwnsTheFolderAndItsRunsEndWithIt) {
  write("slow.toml", kSlow);
  const pid_t first = start({"sweep", "slow.toml", "--quiet"});
  for (int i = 0; i < 400 && !held("runs/cases/0000/sweep-case.lock"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  ASSERT_TRUE(held("runs/cases/0000/sweep-case.lock")) << "the first case never started";

  const Outcome second = run("sweep slow.toml");
  EXPECT_EQ(second.status, 5) << second.output;
  EXPECT_TRUE(contains(second.output, "runs is in use by process " + std::to_string(first))) << second.output;
  EXPECT_TRUE(contains(second.output, "sweep slow.toml --quiet")) << second.output;
  EXPECT_EQ(run("sweep slow.toml --collect").status, 5);

  // Killed outright, the sweep takes its case's run along: nothing goes on
  // writing into the folder.
  ::kill(first, SIGKILL);
  ::waitpid(first, nullptr, 0);
  for (int i = 0; i < 200 && held("runs/cases/0000/sweep-case.lock"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(held("runs/cases/0000/sweep-case.lock")) << "the case's run outlived its sweep";

  write("quick.toml", kQuick);
  const Outcome rerun = run("sweep quick.toml");
  EXPECT_EQ(rerun.status, 0) << rerun.output;
  EXPECT_TRUE(contains(rerun.output, "2 to run")) << rerun.output;
}

// A case counts as done only while its results are those its record names,
// and while every input it read, wherever it lies, is unchanged.
TEST_F(OutputFolders, ResumeRerunsWhatNoLongerMatchesItsRecord) {
  test::ScratchDirectory elsewhere;
  fs::copy_file(path("inter_diff.dfv"), elsewhere.file("inter_diff.dfv"));
  write("study.toml", std::string(kQuick) + "D9 = \"0 " + elsewhere.file("inter_diff.dfv") + "\"\n");
  ASSERT_EQ(run("sweep study.toml").status, 0);

  fs::remove_all(path("runs/cases/0000/results"));
  test::writeBytes(path("runs/cases/0001/results/history.csv"),
                   test::readBytes(path("runs/cases/0001/results/history.csv")) + "9,9,9\n");
  const Outcome collected = run("sweep study.toml --collect");
  EXPECT_EQ(collected.status, 3) << collected.output;
  EXPECT_TRUE(contains(collected.output, "Missing tasks (not run, or run with other inputs): 0 1")) << collected.output;
  const Outcome repaired = run("sweep study.toml");
  ASSERT_EQ(repaired.status, 0) << repaired.output;
  EXPECT_TRUE(contains(repaired.output, "2 to run, ")) << repaired.output;
  EXPECT_TRUE(contains(run("sweep study.toml").output, "0 to run (2 done already)"));

  // The side file named by its absolute path, edited in place.
  test::writeBytes(elsewhere.file("inter_diff.dfv"), test::readBytes(elsewhere.file("inter_diff.dfv")) + "\n");
  const Outcome edited = run("sweep study.toml");
  EXPECT_EQ(edited.status, 0) << edited.output;
  EXPECT_TRUE(contains(edited.output, "2 to run, ")) << edited.output;
}

// The user's files are never written: an output folder that holds the
// template is refused before anything is made, and a case folder starts
// empty, its links removed, never written through.
TEST_F(OutputFolders, TemplatesAreNeverOverwrittenAndCaseFoldersStartEmpty) {
  write("here.toml", std::string(kQuick).replace(std::string(kQuick).find("\"runs\""), 6, "\".\""));
  const Outcome here = run("sweep here.toml");
  EXPECT_EQ(here.status, 1) << here.output;
  EXPECT_TRUE(contains(here.output, "The study's output folder . holds the input ")) << here.output;
  EXPECT_FALSE(fs::exists(path("cases")));

  write("victim.txt", "the user's own\n");
  fs::create_directories(path("runs/cases/0000"));
  fs::create_symlink(path("victim.txt"), path("runs/cases/0000/stdout.txt"));
  fs::create_symlink(path("victim.txt"), path("runs/cases/0000/interdiffusion.dat"));
  write("runs/cases/0000/stale.dat", "from another study\n");
  write("study.toml", kQuick);
  const Outcome swept = run("sweep study.toml");
  EXPECT_EQ(swept.status, 0) << swept.output;
  EXPECT_EQ(test::readBytes(path("victim.txt")), "the user's own\n");
  EXPECT_FALSE(fs::exists(path("runs/cases/0000/stale.dat")));
  EXPECT_FALSE(fs::is_symlink(path("runs/cases/0000/stdout.txt")));
}

// More processes than cores are clamped with a note; a time limit too short
// for any run is refused.
TEST_F(OutputFolders, BigAsksAreClampedOrRefusedWithAWord) {
  write("study.toml", std::string(kQuick) + "[run]\njobs = 100000\n");
  const Outcome clamped = run("sweep study.toml");
  EXPECT_EQ(clamped.status, 0) << clamped.output;
  EXPECT_TRUE(contains(clamped.output, "Note: jobs = 100000 is more than the ")) << clamped.output;
  EXPECT_TRUE(contains(run("sweep study.toml -j 5000").output, "Note: -j 5000 is more than the "));
  const Outcome short_ = run("sweep study.toml --time-limit 0.0001");
  EXPECT_EQ(short_.status, 2) << short_.output;
  EXPECT_TRUE(contains(short_.output, "at least 0.001 (1 ms)")) << short_.output;
}

// A sweep's or a fit's output folder that cannot be written is found, with
// the system's reason, before any case or run starts; a fit's folder owned by
// another process is refused, naming it.
TEST_F(OutputFolders, UnwritableOrTakenFoldersAreFoundBeforeAnyRun) {
  for (const char* name : {"couple.dat", "couple.dfv", "couple.toml", "line_scan.csv"})
    fs::copy_file(fs::path(TORVEX_EXAMPLES_DIR) / "fit" / name, path(name));
  fs::create_directories(path("runs"));
  fs::create_directories(path("fit"));
  fs::permissions(path("runs"), fs::perms::owner_write, fs::perm_options::remove);
  fs::permissions(path("fit"), fs::perms::owner_write, fs::perm_options::remove);
  const std::optional<std::string> prefix = withoutOverride();
  if (prefix) {
    write("study.toml", kQuick);
    const Outcome sweep = run("sweep study.toml", *prefix);
    EXPECT_EQ(sweep.status, 4) << sweep.output;
    EXPECT_TRUE(contains(sweep.output, "runs: cannot write into the folder (Permission denied)")) << sweep.output;
    EXPECT_FALSE(fs::exists(path("runs/cases")));
    const Outcome fit = run("fit --quiet couple.toml", *prefix);
    EXPECT_EQ(fit.status, 4) << fit.output;
    EXPECT_TRUE(contains(fit.output, "fit: cannot write into the folder (Permission denied)")) << fit.output;
    EXPECT_FALSE(contains(fit.output, "iteration")) << fit.output;
  }
  fs::permissions(path("fit"), fs::perms::owner_all, fs::perm_options::add);
  fs::permissions(path("runs"), fs::perms::owner_all, fs::perm_options::add);

  const int fd = ::open(path("fit/torvex.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const std::string holder = "pid=" + std::to_string(::getpid()) + "\ncommand=torvex-batch fit other.toml\n";
  ASSERT_EQ(::write(fd, holder.data(), holder.size()), static_cast<ssize_t>(holder.size()));
  const Outcome taken = run("fit --quiet couple.toml");
  ::close(fd);
  EXPECT_EQ(taken.status, 5) << taken.output;
  EXPECT_TRUE(contains(taken.output,
                       "fit is in use by process " + std::to_string(::getpid()) + " (torvex-batch fit other.toml)"))
      << taken.output;
}

}  // namespace
}  // namespace torvex
