// torvex-batch sweep as a user meets it: the case folders it leaves, the
// summary, resuming after a stop, rerunning what a changed study changes, and
// cases that fail or hang without taking the others with them.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "model/number_format.h"
#include "support/batch_process.h"
#include "support/test_files.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;
using test::ScratchDirectory;

using test::contains;
using test::Outcome;

Outcome run(const std::string& directory, const std::string& arguments) {
  return test::runProgram(TORVEX_BATCH_PATH, directory, arguments);
}

// summary.csv read as a CSV reader reads it (RFC 4180 quoting).
std::vector<std::vector<std::string>> readCsv(const std::string& path) {
  const std::string text = test::readBytes(path);
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        rows.back().back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        rows.back().back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().emplace_back();
    } else if (c == '\n') {
      rows.emplace_back(1);
    } else {
      rows.back().back() += c;
    }
  }
  if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
  return rows;
}

// The cell of `column` in row `row` (1 = the first case).
std::string cell(const std::vector<std::vector<std::string>>& rows, std::size_t row, const std::string& column) {
  for (std::size_t c = 0; c < rows[0].size(); ++c)
    if (rows[0][c] == column) return rows.at(row).at(c);
  ADD_FAILURE() << "no column " << column;
  return {};
}

class Sweep : public ::testing::Test {
 protected:
  Sweep() { EXPECT_EQ(run(dir_.path(), "--write-samples .").status, 0); }

  void study(const std::string& text) { test::writeBytes(dir_.file("study.toml"), text); }
  std::string path(const std::string& name) const { return dir_.file(name); }
  std::vector<std::vector<std::string>> summary() const { return readCsv(dir_.file("runs/summary.csv")); }

  ScratchDirectory dir_;
};

constexpr const char* kGrid =
    "case = \"interdiffusion.dat\"\noutput = \"runs\"\n[parameters]\nT = [1273, 1373]\nend = [10, 20]\n"
    "[set]\nD8 = \"{{T}}\"\nD1 = \"0 {{end}}\"\n[summary]\nresults = [\"kirkendall_shift_cm\", \"N1_left\"]\n";

TEST_F(Sweep, RunsEveryCaseInAFolderOfItsOwnAndResumesOnlyWhatIsUnfinished) {
  study(kGrid);
  const Outcome first = run(dir_.path(), "sweep study.toml -j 2");
  ASSERT_EQ(first.status, 0) << first.output;
  auto rows = summary();
  ASSERT_EQ(rows.size(), 5u);
  for (const auto& row : rows) EXPECT_EQ(row.size(), rows[0].size());
  EXPECT_EQ(cell(rows, 3, "T"), "1373");
  EXPECT_EQ(cell(rows, 3, "end"), "10");
  for (std::size_t r = 1; r <= 4; ++r) {
    EXPECT_EQ(cell(rows, r, "status"), "completed");
    EXPECT_EQ(cell(rows, r, "exit_status"), "0");
    EXPECT_EQ(cell(rows, r, "N1_left"), "0.85");
    EXPECT_FALSE(cell(rows, r, "kirkendall_shift_cm").empty());
  }
  // A longer run moves the plane further.
  EXPECT_GT(parseReal(cell(rows, 2, "kirkendall_shift_cm")).value_or(0),
            parseReal(cell(rows, 1, "kirkendall_shift_cm")).value_or(1));

  // A case folder is a case of its own: run alone, it gives the same results.
  const Outcome alone = run(dir_.path(), "--quiet --results again runs/cases/0003/interdiffusion.dat");
  ASSERT_EQ(alone.status, 0) << alone.output;
  EXPECT_EQ(test::readBytes(path("again/at_out.dat")), test::readBytes(path("runs/cases/0003/results/at_out.dat")));

  // A case without its record (killed before it finished) and one whose run
  // report says it failed are run again; the others are not.
  fs::remove(path("runs/cases/0001/sweep-case.txt"));
  test::writeBytes(path("runs/cases/0002/results/run.json"), R"({"outcome": {"end": "failed"}, "checks": []})");
  const Outcome resumed = run(dir_.path(), "sweep study.toml -j 2");
  ASSERT_EQ(resumed.status, 0) << resumed.output;
  EXPECT_TRUE(contains(resumed.output, "2 to run (2 done already)")) << resumed.output;
  EXPECT_TRUE(contains(resumed.output, "case 0001 completed")) << resumed.output;
  EXPECT_TRUE(contains(resumed.output, "case 0002 completed")) << resumed.output;
  EXPECT_FALSE(contains(resumed.output, "case 0000")) << resumed.output;

  // A change of the study that changes the inputs of the second temperature
  // reruns those cases only; nothing changed, nothing runs.
  study(std::string(kGrid).replace(std::string(kGrid).find("1373"), 4, "1473"));
  const Outcome changed = run(dir_.path(), "sweep study.toml");
  ASSERT_EQ(changed.status, 0) << changed.output;
  EXPECT_TRUE(contains(changed.output, "2 to run (2 done already)")) << changed.output;
  EXPECT_TRUE(contains(changed.output, "case 0002 completed")) << changed.output;
  EXPECT_TRUE(contains(changed.output, "case 0003 completed")) << changed.output;
  EXPECT_EQ(cell(summary(), 3, "T"), "1473");
  const Outcome again = run(dir_.path(), "sweep study.toml");
  EXPECT_TRUE(contains(again.output, "0 to run (4 done already)")) << again.output;

  // --collect gives the same summary from the folders.
  const std::string before = test::readBytes(path("runs/summary.csv"));
  const Outcome collected = run(dir_.path(), "sweep study.toml --collect");
  EXPECT_EQ(collected.status, 0) << collected.output;
  EXPECT_EQ(test::readBytes(path("runs/summary.csv")), before);

  // The outcome and the checks of each case's run report go into the summary.
  const auto reported = summary();
  EXPECT_EQ(cell(reported, 1, "outcome"), "completed");
  EXPECT_EQ(cell(reported, 1, "check_bounds"), "pass");
}

TEST_F(Sweep, AFailingAndAHangingCaseAreRecordedAndTheOthersGoOn) {
  // The case table: the second names a side file that does not exist, the
  // third runs slowly (paced) past the time limit.
  test::writeBytes(path("cases.csv"),
                   "dfv,speed\ninter_diff.dfv,0\nmissing.dfv,0\ninter_diff.dfv,100\ninter_diff.dfv,0\n");
  study(
      "case = \"interdiffusion.dat\"\noutput = \"runs\"\ntable = \"cases.csv\"\n[set]\nD9 = \"0 {{dfv}}\"\n"
      "D18 = \"{{speed}}\"\nD1 = \"0 {{speed}}1\"\n[run]\noptions = [\"--pace\"]\ntime_limit = 1.5\n");
  const Outcome swept = run(dir_.path(), "sweep study.toml -j 2");
  EXPECT_EQ(swept.status, 3) << swept.output;
  const auto rows = summary();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(cell(rows, 1, "status"), "completed");
  EXPECT_EQ(cell(rows, 2, "status"), "failed");
  EXPECT_EQ(cell(rows, 2, "exit_status"), "1");
  EXPECT_TRUE(contains(cell(rows, 2, "message"), "missing.dfv")) << cell(rows, 2, "message");
  EXPECT_EQ(cell(rows, 3, "status"), "timed_out");
  EXPECT_TRUE(contains(cell(rows, 3, "message"), "time limit")) << cell(rows, 3, "message");
  // Stopped as by Ctrl-C: its results are written.
  EXPECT_TRUE(fs::exists(path("runs/cases/0002/results/at_out.dat")));
  EXPECT_EQ(cell(rows, 4, "status"), "completed");
}

TEST_F(Sweep, CtrlCStopsTheRunningCasesWithTheirResultsAndExits130) {
  study(
      "case = \"interdiffusion.dat\"\noutput = \"runs\"\n[parameters]\nT = [1273, 1373, 1473]\n"
      "[set]\nD8 = \"{{T}}\"\nD18 = \"100\"\n[run]\noptions = [\"--pace\"]\n");
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir_.path().c_str()) != 0) ::_exit(99);
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 2);
    ::execl(TORVEX_BATCH_PATH, TORVEX_BATCH_PATH, "sweep", "study.toml", "-j", "2", nullptr);
    ::_exit(98);
  }
  // Both slots busy: their stdout files exist.
  for (int i = 0; i < 200 && !(fs::exists(path("runs/cases/0001/stdout.txt"))); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const auto rows = summary();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(cell(rows, 1, "status"), "stopped");
  EXPECT_EQ(cell(rows, 1, "exit_status"), "130");
  EXPECT_EQ(cell(rows, 2, "status"), "stopped");
  EXPECT_EQ(cell(rows, 3, "status"), "missing");  // never started
  EXPECT_TRUE(fs::exists(path("runs/cases/0000/results/at_out.dat")));
}

// A study's heat treatment: each case follows its own schedule (the hold
// temperature is the parameter), writes its results at the output times, and
// its folder with schedule.csv reruns it alone; a Slurm task runs it alike.
TEST_F(Sweep, EachCaseFollowsItsScheduleAndWritesAtTheOutputTimes) {
  study(
      "case = \"interdiffusion.dat\"\noutput = \"runs\"\n"
      "schedule = [[0, 1273], [5, \"{{T}}\"], [20, \"{{T}}\"]]\noutput_times = [2.5, 7]\n"
      "[parameters]\nT = [1273, 1373]\n[set]\nD1 = \"0 20\"\n");
  const Outcome swept = run(dir_.path(), "sweep study.toml -j 2");
  ASSERT_EQ(swept.status, 0) << swept.output;
  EXPECT_EQ(test::readBytes(path("runs/cases/0001/schedule.csv")), "time_s,T_K\n0,1273\n5,1373\n20,1373\n");
  for (const char* name : {"0000", "0001"}) {
    const std::string history = test::readBytes(path("runs/cases/" + std::string(name) + "/results/history.csv"));
    EXPECT_TRUE(contains(history, "\n2.5,")) << name;
    EXPECT_TRUE(contains(history, "\n7,")) << name;
  }
  // The hotter hold moves the plane further.
  EXPECT_NE(test::readBytes(path("runs/cases/0000/results/at_out.dat")),
            test::readBytes(path("runs/cases/0001/results/at_out.dat")));
  const Outcome alone = run(dir_.path(),
                            "--quiet --schedule runs/cases/0001/schedule.csv --output-times 2.5,7 --results again "
                            "runs/cases/0001/interdiffusion.dat");
  ASSERT_EQ(alone.status, 0) << alone.output;
  for (const char* file : {"at_out.dat", "history.csv"})
    EXPECT_EQ(test::readBytes(path(std::string("again/") + file)),
              test::readBytes(path(std::string("runs/cases/0001/results/") + file)))
        << file;
  // Nothing changed: nothing runs again. A changed schedule reruns both.
  EXPECT_TRUE(contains(run(dir_.path(), "sweep study.toml").output, "0 to run (2 done already)"));
  study(
      "case = \"interdiffusion.dat\"\noutput = \"runs\"\n"
      "schedule = [[0, 1273], [6, \"{{T}}\"], [20, \"{{T}}\"]]\noutput_times = [2.5, 7]\n"
      "[parameters]\nT = [1273, 1373]\n[set]\nD1 = \"0 20\"\n");
  EXPECT_TRUE(contains(run(dir_.path(), "sweep study.toml --slurm").output, "sweep.sbatch"));
  ASSERT_EQ(run(dir_.path(), "sweep study.toml --task 1").status, 0);
  EXPECT_EQ(test::readBytes(path("runs/cases/0001/schedule.csv")), "time_s,T_K\n0,1273\n6,1373\n20,1373\n");
  EXPECT_TRUE(contains(test::readBytes(path("runs/cases/0001/results/history.csv")), "\n7,"));
}

// Cycles, spallation and a critical content as study settings, swept with a
// placeholder: every case runs with them, the summary gets each case's life,
// a case that reached its critical content counts as done, and a setting
// that cannot be read or run is refused before anything runs.
TEST_F(Sweep, LifeSettingsAreSweptAndTheSummaryGivesEachLife) {
  const std::string head =
      "case = \"oxidation.dat\"\noutput = \"runs\"\ncycles = \"2:{{H}}@1123,200@1123\"\nspall = 0.2\noxide = 1.5\n";
  const std::string tail = "[parameters]\nH = [300, 400]\n[set]\nD1 = \"0 1000\"\nD2 = \"20\"\n";
  study(head + "critical = \"N1<0.15\"\n" + tail);
  const Outcome swept = run(dir_.path(), "sweep study.toml -j 2");
  ASSERT_EQ(swept.status, 0) << swept.output;
  const auto rows = summary();
  ASSERT_EQ(rows.size(), 3u);
  for (std::size_t row = 1; row <= 2; ++row) {
    EXPECT_EQ(cell(rows, row, "outcome"), "critical_content");
    const std::optional<double> life = parseReal(cell(rows, row, "life_s"));
    ASSERT_TRUE(life) << cell(rows, row, "life_s");
    EXPECT_GT(*life, 0);
  }
  EXPECT_TRUE(contains(test::readBytes(path("runs/cases/0001/results/run.json")), "\"text\": \"2:400@1123,200@1123\""));
  EXPECT_TRUE(contains(run(dir_.path(), "sweep study.toml").output, "0 to run (2 done already)"));

  study(head + "critical = \"N3<0.1\"\n" + tail);
  const Outcome missing = run(dir_.path(), "sweep study.toml");
  EXPECT_EQ(missing.status, 1) << missing.output;
  EXPECT_TRUE(contains(missing.output, "--critical: 'N3<0.1': the case has 2 components")) << missing.output;
  study(head + "critical = \"N1 below 0.1\"\n" + tail);
  const Outcome unreadable = run(dir_.path(), "sweep study.toml");
  EXPECT_EQ(unreadable.status, 1) << unreadable.output;
  EXPECT_TRUE(contains(unreadable.output, "study.toml, line 6, critical: 'N1 below 0.1'")) << unreadable.output;
}

// A receding surface is a study setting like the others, and the summary
// gives how far each case's surface moved in: under a parabolic scale about
// twice as far in four times as long.
TEST_F(Sweep, RecedingSurfaceGivesEachCaseItsRecession) {
  study(
      "case = \"oxidation.dat\"\noutput = \"runs\"\nreceding = true\n[parameters]\nend = [1000, 4000]\n"
      "[set]\nD1 = \"0 {{end}}\"\nD2 = \"30\"\nD16 = \"3\"\n[summary]\nresults = [\"recession_cm\", "
      "\"oxide_thickness_cm\"]\n");
  const Outcome swept = run(dir_.path(), "sweep study.toml -j 2");
  ASSERT_EQ(swept.status, 0) << swept.output;
  const auto rows = summary();
  ASSERT_EQ(rows.size(), 3u);
  const std::optional<double> shorter = parseReal(cell(rows, 1, "recession_cm"));
  const std::optional<double> longer = parseReal(cell(rows, 2, "recession_cm"));
  ASSERT_TRUE(shorter && longer) << cell(rows, 1, "recession_cm") << " " << cell(rows, 2, "recession_cm");
  EXPECT_GT(*shorter, 0);
  // Parabolic growth: four times as long, about twice as deep.
  EXPECT_NEAR(*longer / *shorter, 2.0, 0.2);
  EXPECT_TRUE(contains(test::readBytes(path("runs/cases/0001/results/run.json")), "\"receding\": true"));

  study(
      "case = \"oxidation.dat\"\noutput = \"runs\"\n[set]\nD1 = \"0 10\"\n[summary]\nresults = "
      "[\"recession_cm\"]\n");
  ASSERT_EQ(run(dir_.path(), "sweep study.toml").status, 0);
  EXPECT_EQ(cell(summary(), 1, "recession_cm"), "") << "a fixed surface has no recession";
}

TEST_F(Sweep, BadStudiesAndOptionsRunNothing) {
  study("case = \"interdiffusion.dat\"\noutput = \"runs\"\n[parameters]\nT = [1273]\n[set]\nD8 = \"{{Temp}}\"\n");
  const Outcome bad = run(dir_.path(), "sweep study.toml");
  EXPECT_EQ(bad.status, 1);
  EXPECT_TRUE(contains(bad.output, "study.toml:6: the override of D8 uses the unknown parameter {{Temp}}"))
      << bad.output;
  EXPECT_FALSE(fs::exists(path("runs")));
  EXPECT_EQ(run(dir_.path(), "sweep").status, 2);
  EXPECT_EQ(run(dir_.path(), "sweep study.toml -j 0").status, 2);
  EXPECT_EQ(run(dir_.path(), "sweep study.toml --bogus").status, 2);
}

TEST_F(Sweep, SlurmScriptIsAJobArrayOfOneTaskPerCase) {
  study(std::string(kGrid) + "[slurm]\ntime = \"00:10:00\"\nmemory = \"500M\"\nthrottle = 3\n");
  const Outcome written = run(dir_.path(), "sweep study.toml --slurm --throttle 2");
  ASSERT_EQ(written.status, 0) << written.output;
  const std::string script = test::readBytes(path("runs/sweep.sbatch"));
  EXPECT_TRUE(contains(script, "#SBATCH --array=0-3%2\n")) << script;
  EXPECT_TRUE(contains(script, "#SBATCH --time=00:10:00\n")) << script;
  EXPECT_TRUE(contains(script, "#SBATCH --mem=500M\n")) << script;
  EXPECT_TRUE(contains(script, "--task \"$SLURM_ARRAY_TASK_ID\"")) << script;
  // The cases are rendered, none has run: collect names them all.
  EXPECT_TRUE(fs::exists(path("runs/cases/0003/interdiffusion.dat")));
  const Outcome collected = run(dir_.path(), "sweep study.toml --collect");
  EXPECT_EQ(collected.status, 3);
  EXPECT_TRUE(contains(collected.output, "Missing tasks (not run, or run with other inputs): 0 1 2 3"))
      << collected.output;
  // What task 2 does: that case alone.
  EXPECT_EQ(run(dir_.path(), "sweep study.toml --task 2").status, 0);
  run(dir_.path(), "sweep study.toml --collect");
  EXPECT_EQ(cell(summary(), 3, "status"), "completed");
  EXPECT_EQ(cell(summary(), 1, "status"), "missing");
  EXPECT_EQ(run(dir_.path(), "sweep study.toml --task 4").status, 2);
}

// A study over the temperature of a case whose data hold no temperature is
// told so once, before its cases run; a study over its Arrhenius variant is
// not.
TEST_F(Sweep, AStudyOverATemperatureThatCannotActWarnsOnce) {
  study(
      "case = \"oxidation.dat\"\noutput = \"runs\"\n[parameters]\nT = [1073, 1173]\n[set]\nD8 = \"{{T}}\"\n"
      "D1 = \"0 20\"\n[summary]\nresults = [\"oxide_thickness_cm\"]\n");
  const Outcome warned = run(dir_.path(), "sweep study.toml --quiet");
  EXPECT_EQ(warned.status, 0) << warned.output;
  const std::string warning =
      "\u26A0 study.toml: the study varies the temperature, but it cannot act on its case. "
      "The temperature changes nothing in this case";
  EXPECT_TRUE(contains(warned.output, warning)) << warned.output;
  EXPECT_EQ(warned.output.find(warning), warned.output.rfind(warning)) << "once for the study";
  // The same study over a key that is not the temperature says nothing.
  study("case = \"oxidation.dat\"\noutput = \"runs\"\n[parameters]\nend = [10, 20]\n[set]\nD1 = \"0 {{end}}\"\n");
  EXPECT_FALSE(contains(run(dir_.path(), "sweep study.toml --quiet").output, "varies the temperature"));

  const std::string arrhenius = TORVEX_SOURCE_DIR "/examples/arrhenius";
  for (const char* file : {"oxidation.dat", "oxid_diff.dfv", "oxid_flux.flx"})
    fs::copy_file(arrhenius + "/" + file, path(std::string("warm_") + file));
  std::string data = test::readBytes(path("warm_oxidation.dat"));
  for (const char* side : {"oxid_diff.dfv", "oxid_flux.flx"})
    data.replace(data.rfind(side), std::string(side).size(), std::string("warm_") + side);  // the key's line
  test::writeBytes(path("warm_oxidation.dat"), data);
  study(
      "case = \"warm_oxidation.dat\"\noutput = \"runs\"\n[parameters]\nT = [1073, 1173]\n[set]\n"
      "D8 = \"{{T}}\"\nD1 = \"0 20\"\n");
  const Outcome quiet = run(dir_.path(), "sweep study.toml --quiet");
  EXPECT_EQ(quiet.status, 0) << quiet.output;
  EXPECT_FALSE(contains(quiet.output, "varies the temperature")) << quiet.output;
}

// The script a cluster runs names the study and the logs relative to the
// folder it is submitted from (or --root), runs the study's setup lines
// first, and a --submit where Slurm is not installed says what to do.
TEST_F(Sweep, SlurmScriptRunsTheSetupLinesWithPathsRelativeToItsFolder) {
  study(std::string(kGrid) + "[slurm]\nsetup = [\"module load gcc/12\", \"export OMP_NUM_THREADS=1\"]\n");
  ASSERT_EQ(run(dir_.path(), "sweep study.toml --slurm").status, 0);
  std::string script = test::readBytes(path("runs/sweep.sbatch"));
  EXPECT_TRUE(contains(script, "#SBATCH --output=runs/slurm/%A_%a.out\n")) << script;
  EXPECT_TRUE(contains(script, "module load gcc/12\nexport OMP_NUM_THREADS=1\nexec ")) << script;
  EXPECT_TRUE(contains(script, " sweep 'study.toml' --task \"$SLURM_ARRAY_TASK_ID\"\n")) << script;
  EXPECT_FALSE(contains(script, dir_.path().string())) << "no path of this machine's folder\n" << script;

  const std::string folder = fs::path(dir_.path()).filename().string();
  ASSERT_EQ(run(dir_.path(), "sweep study.toml --slurm --root ..").status, 0);
  script = test::readBytes(path("runs/sweep.sbatch"));
  EXPECT_TRUE(contains(script, "#SBATCH --output=" + folder + "/runs/slurm/%A_%a.out\n")) << script;
  EXPECT_TRUE(contains(script, " sweep '" + folder + "/study.toml' --task")) << script;
  EXPECT_EQ(run(dir_.path(), "sweep study.toml --slurm --root no-such-folder").status, 2);

  study(std::string(kGrid) + "[slurm]\nsetup = [\"module load a\\nb\"]\n");
  const Outcome broken = run(dir_.path(), "sweep study.toml --slurm");
  EXPECT_EQ(broken.status, 1);
  EXPECT_TRUE(contains(broken.output, "a [slurm] setup line cannot hold a line break")) << broken.output;

  study(kGrid);
  const Outcome noSlurm =
      test::runProgram(TORVEX_BATCH_PATH, dir_.path(), "sweep study.toml --submit", "PATH=" + path("no-such-folder"));
  EXPECT_EQ(noSlurm.status, 1) << noSlurm.output;
  EXPECT_TRUE(contains(noSlurm.output,
                       "sbatch not found: is Slurm installed here? Use --slurm to write the script and submit it "
                       "on the cluster"))
      << noSlurm.output;
}

}  // namespace
}  // namespace torvex
