// What every program says alike on its command line: --version, --help on
// every subcommand, and a suggestion after a typo.

#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "results/run_report.h"
#include "support/batch_process.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::contains;
using test::ScratchDirectory;

test::Outcome runBatch(const std::string& directory, const std::string& arguments, const std::string& prefix = "") {
  return test::runProgram(TORVEX_BATCH_PATH, directory, arguments, prefix);
}

TEST(CommandLine, ATypoIsMatchedToTheOptionMeantAndNothingElse) {
  const std::vector<std::string_view> known = {"--quiet", "--check", "--set", "--schedule", "--results", "-j"};
  EXPECT_EQ(closestOption("--qiuet", known), "--quiet") << "two neighbours swapped: one edit";
  EXPECT_EQ(closestOption("--quite", known), "--quiet");
  EXPECT_EQ(closestOption("--chek", known), "--check");
  EXPECT_EQ(closestOption("--schedlue", known), "--schedule");
  EXPECT_EQ(closestOption("--sets", known), "--set");
  EXPECT_EQ(closestOption("--frobnicate", known), "") << "nothing near";
  EXPECT_EQ(closestOption("-k", known), "") << "one edit in two letters is another option";
  EXPECT_EQ(closestOption("--xyz", known), "");
  EXPECT_EQ(closestOption("--result", {"--results", "--resulte"}), "") << "a tie names neither";
  EXPECT_EQ(unknownOptionMessage("--qiuet", known), "unknown option '--qiuet' (did you mean '--quiet'?)");
  EXPECT_EQ(unknownOptionMessage("--bogus", known), "unknown option '--bogus'");
}

// The version names the revision, the build and the vector path, and says
// how to cite; CITATION.cff carries the same version.
TEST(CommandLine, EveryProgramAnswersVersionAndCitationFileAgrees) {
  const std::string text = versionText("torvex-batch");
  EXPECT_EQ(text.rfind(std::string("torvex-batch ") + programVersion() + "\n", 0), 0u) << text;
  EXPECT_TRUE(contains(text, std::string("  revision     ") + sourceRevision() + "\n")) << text;
  EXPECT_TRUE(std::regex_search(text, std::regex("  build        [A-Za-z ]+\n"))) << text;
  EXPECT_TRUE(std::regex_search(text, std::regex("  vector path  (128|256|512) bits\n"))) << text;
  EXPECT_TRUE(contains(text, "How to cite: ")) << text;

  const std::string citation = test::readBytes(TORVEX_SOURCE_DIR "/CITATION.cff");
  EXPECT_TRUE(contains(citation, std::string("\nversion: \"") + programVersion() + "\"\n"))
      << "CITATION.cff and the program disagree on the version";

  ScratchDirectory dir;
  const test::Outcome batch = runBatch(dir.path(), "--version");
  EXPECT_EQ(batch.status, 0);
  EXPECT_EQ(batch.output, text);
#ifdef TORVEX_PLOT_PATH
  const test::Outcome plot = test::runProgram(TORVEX_PLOT_PATH, dir.path(), "--version");
  EXPECT_EQ(plot.status, 0);
  EXPECT_EQ(plot.output, versionText("torvex-plot"));
  EXPECT_EQ(test::runProgram(TORVEX_PLOT_PATH, dir.path(), "--wtt results").status, 2);
  EXPECT_TRUE(contains(test::runProgram(TORVEX_PLOT_PATH, dir.path(), "--wtt results").output, "did you mean '--wt'"));
#endif
#ifdef TORVEX_DESKTOP_PATH
  // Answered without a display.
  const test::Outcome desktop = test::runProgram(TORVEX_DESKTOP_PATH, dir.path(), "--version", "env -u DISPLAY");
  EXPECT_EQ(desktop.status, 0) << desktop.output;
  EXPECT_EQ(desktop.output, versionText("torvex"));
  EXPECT_EQ(test::runProgram(TORVEX_DESKTOP_PATH, dir.path(), "--help", "env -u DISPLAY").status, 0);
#endif
}

TEST(CommandLine, EverySubcommandHasHelpAndSuggestsTheOptionMeant) {
  ScratchDirectory dir;
  for (const char* command : {"--help", "sweep --help", "fit --help", "sweep -h", "fit -h"}) {
    const test::Outcome help = runBatch(dir.path(), command);
    EXPECT_EQ(help.status, 0) << command << "\n" << help.output;
    EXPECT_TRUE(contains(help.output, "Usage: torvex-batch")) << command << "\n" << help.output;
  }
  EXPECT_TRUE(contains(runBatch(dir.path(), "sweep --help").output, "--slurm")) << "the sweep's own help";

  struct Typo {
    std::string arguments, suggestion;
  };
  for (const Typo& typo : std::vector<Typo>{{"--qiuet case.dat", "unknown option '--qiuet' (did you mean '--quiet'?)"},
                                            {"--chekc case.dat", "(did you mean '--check'?)"},
                                            {"sweep s.toml --slrum", "(did you mean '--slurm'?)"},
                                            {"sweep s.toml --colect", "(did you mean '--collect'?)"},
                                            {"fit --ouptut x f.toml", "(did you mean '--output'?)"}}) {
    const test::Outcome refused = runBatch(dir.path(), typo.arguments);
    EXPECT_EQ(refused.status, 2) << typo.arguments;
    EXPECT_TRUE(contains(refused.output, typo.suggestion)) << typo.arguments << "\n" << refused.output;
  }
  EXPECT_TRUE(contains(runBatch(dir.path(), "sweep s.toml --slrum").output, "Try 'torvex-batch sweep --help'"));
  // A command given among a run's options is named as such, not as unknown.
  const test::Outcome mixed = runBatch(dir.path(), "--quiet --version case.dat");
  EXPECT_EQ(mixed.status, 2);
  EXPECT_TRUE(contains(mixed.output, "'--version' is a command of its own: torvex-batch --version")) << mixed.output;
}

}  // namespace
}  // namespace torvex
