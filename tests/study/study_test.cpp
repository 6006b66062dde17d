// Study files: how parameters combine into cases (grid, zip, table), the
// values of ranges, the rendered files of each case, and the studies that are
// refused before anything runs, with the line that is wrong.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "study/study.h"
#include "support/case_file.h"
#include "support/test_files.h"

namespace torvex {
namespace {

class StudyFile : public ::testing::Test {
 protected:
  StudyFile() : cwd_(dir_.path()) {
    file_.value("D9") = "0 couple.dfv";
    file_.value("D8") = "{{T}}";
    file_.write("case.dat");
    test::writeLines("couple.dfv", {"# component 1", "{{D}}", "# component 2", "1e-9"});
  }

  Study load(const std::string& text) {
    test::writeBytes("study.toml", text);
    return loadStudy("study.toml");
  }

  std::string refusal(const std::string& text) {
    return test::messageOf<InputError>([&] {
      const Study study = load(text);
      validateStudy(study);
    });
  }

  test::ScratchDirectory dir_;
  test::ScopedWorkingDirectory cwd_;
  test::CaseFile file_;
};

using Rows = std::vector<std::vector<std::string>>;

TEST_F(StudyFile, GridZipAndTableGiveTheCasesInOrder) {
  const Study grid = load(
      "case = \"case.dat\"\n[parameters]\nT = [1273, 1373]\nD = { from = 1e-12, to = 1e-10, count = 3, scale = \"log\" "
      "}\n");
  ASSERT_EQ(grid.parameters.size(), 2u);
  EXPECT_EQ(grid.parameters[0].name, "T");  // the file's order, not the alphabet's
  EXPECT_EQ(grid.values, (Rows{{"1273", "1E-12"},
                               {"1273", "1E-11"},
                               {"1273", "1E-10"},
                               {"1373", "1E-12"},
                               {"1373", "1E-11"},
                               {"1373", "1E-10"}}));
  EXPECT_EQ(grid.outputDirectory, "study");

  const Study zip = load(
      "case = \"case.dat\"\ncombine = \"zip\"\noutput = \"runs\"\n[parameters]\nT = { from = 1200, to = 1300, count = "
      "3 "
      "}\nD = [1e-9, 2e-9, \"3e-9\"]\n");
  EXPECT_EQ(zip.values, (Rows{{"1200", "1E-9"}, {"1250", "2E-9"}, {"1300", "3e-9"}}));
  EXPECT_EQ(zip.outputDirectory, "runs");

  test::writeBytes("cases.csv", "T, D\n# a comment\n1273,1e-9\r\n\"1373\" , 4e-9\n");
  const Study table = load("case = \"case.dat\"\ntable = \"cases.csv\"\n");
  EXPECT_EQ(table.values, (Rows{{"1273", "1e-9"}, {"1373", "4e-9"}}));

  const Study single = load("case = \"case.dat\"\n[parameters]\nT = 1300\nD = 1e-9\n");
  EXPECT_EQ(single.caseCount(), 1u);
}

TEST_F(StudyFile, EachCaseRendersItsValuesIntoTheOverridesAndSideFiles) {
  const Study study =
      load("case = \"case.dat\"\n[parameters]\nT = [1273, 1373]\nD = [1e-9]\nend = [50]\n[set]\nD1 = \"0 {{end}}\"\n");
  validateStudy(study);
  const RenderedCase second = renderStudyCase(study, 1);
  const auto& lines = second.dataFile.lines;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "   1373"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "   0 50"), lines.end());
  ASSERT_EQ(second.sideFiles.size(), 1u);
  EXPECT_EQ(second.sideFiles[0].lines[1], "1E-9");  // a number is written in the program's own format

  // The fingerprint follows the inputs and the run options, nothing else.
  const RenderedCase first = renderStudyCase(study, 0);
  EXPECT_NE(inputFingerprint(first, {}), inputFingerprint(second, {}));
  EXPECT_EQ(inputFingerprint(second, {}), inputFingerprint(renderStudyCase(study, 1), {}));
  EXPECT_NE(inputFingerprint(second, {}), inputFingerprint(second, {"--max-passes", "10"}));
}

// The names of a study reach every case as --names, and only with names does
// the option appear (the fingerprints of studies without names stay).
TEST_F(StudyFile, NamesGoToEveryRunAsAnOption) {
  const Study named =
      load("case = \"case.dat\"\nnames = [\"Ni\", \"Pt\"]\n[parameters]\nT = [1273, 1373]\nD = [1e-9]\n");
  validateStudy(named);
  EXPECT_EQ(named.componentNames, (std::vector<std::string>{"Ni", "Pt"}));
  EXPECT_EQ(named.runOptions, (std::vector<std::string>{"--names", "Ni,Pt"}));
  const Study plain = load("case = \"case.dat\"\n[parameters]\nT = [1273, 1373]\nD = [1e-9]\n");
  EXPECT_TRUE(plain.runOptions.empty());
}

TEST_F(StudyFile, MalformedStudiesAreRefusedNamingTheLine) {
  const std::string head = "case = \"case.dat\"\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {head + "[parameters]\nT = [1273]\nD = { from = 1, to = 2, count = 0 }\n",
       "study.toml:4: the range of D is empty"},
      {head + "[parameters]\nT = []\nD = [1]\n", "study.toml:3: the parameter T has no values"},
      {head + "combine = \"zip\"\n[parameters]\nT = [1, 2]\nD = [1]\n", "study.toml:5: zipped parameters"},
      {head + "[parameters]\nT = [1273]\nD = [1e-9]\n[set]\nD99 = \"1\"\n", "study.toml:6: there is no key \"D99\""},
      {head + "[parameters]\nT = [1273]\nD = [1e-9]\n[set]\nD1 = \"0 {{tend}}\"\n",
       "study.toml:6: the override of D1 uses the unknown parameter {{tend}}"},
      {head + "[parameters]\nT = [1273]\nD = [1e-9]\nQ = [1]\n", "no {{Q}} stands in"},
      {head + "[parameters]\nT = [1273]\n", "the placeholder {{D}} has no value"},
      {head + "[parameters]\nT = [1273]\nD = [1e-9]\n[set]\nD1 = \"0 x\"\n", "case 0 (T = 1273, D = 1E-9)"},
      {head + "[parameters]\nT = [-5]\nD = [1e-9]\n", "study.toml: the first case does not load"},
      {head + "[parameters]\nT = [1273]\nD = [1e-9]\n[summary]\nresults = [\"N1_middle\"]\n",
       "study.toml:6: there is no result \"N1_middle\""},
      {head + "[parameters]\nT = [1273]\nD = [1e-9]\n[run]\noptions = [\"--results\", \"x\"]\n",
       "options cannot hold --results"},
      {head + "frobnicate = 1\n", "study.toml:2: the study has no entry \"frobnicate\""},
      {head + "[parameters\n", "study.toml:2:"},
      {"[parameters]\nT = [1]\n", "the study names no case"},
      {head + "table = \"missing.csv\"\n", "missing.csv: the table of cases cannot be read"},
      {head + "names = [\"Ni\", \"N1\"]\n[parameters]\nT = [1273]\nD = [1e-9]\n",
       "study.toml:2: names: the name of component 2, 'N1', reads as the number of a component"},
      {head + "names = [\"Ni\", \"Pt\", \"Cr\"]\n[parameters]\nT = [1273]\nD = [1e-9]\n",
       "the first case does not load: case.dat, component names: 3 names for 2 components"},
      {head +
           "names = [\"Ni\", \"Pt\"]\n[parameters]\nT = [1273]\nD = [1e-9]\n[run]\noptions = [\"--names\", \"a,b\"]\n",
       "give the names once"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_NE(refusal(text).find(expected), std::string::npos) << text << "\n-> " << refusal(text);

  test::writeBytes("bad.csv", "T,D\n1273\n");
  EXPECT_NE(refusal(head + "table = \"bad.csv\"\n").find("bad.csv:2: the row has 1 values for 2 parameters"),
            std::string::npos);
}

// A heat treatment of the study: the schedule rows take the case's values
// and go into the case folder as its schedule file, and the options that run
// it go with the case (and into its fingerprint). A study without one keeps
// the fingerprint it always had.
TEST_F(StudyFile, AScheduleAndOutputTimesFollowEachCase) {
  const std::string head = "case = \"case.dat\"\n[parameters]\nT = [1273, 1373]\nD = [1e-9]\n";
  const Study plain = load(head);
  const RenderedCase plainCase = renderStudyCase(plain, 1);
  EXPECT_TRUE(plainCase.runOptions.empty());
  EXPECT_EQ(plainCase.sideFiles.size(), 1u);

  const Study study =
      load("schedule = [[0, 1073], [50, \"{{T}}\"], [100, \"{{T}}\"]]\noutput_times = [25, 50]\n" + head);
  validateStudy(study);
  const RenderedCase second = renderStudyCase(study, 1);
  ASSERT_EQ(second.sideFiles.size(), 2u);
  EXPECT_EQ(second.sideFiles[1].name, "schedule.csv");
  EXPECT_EQ(second.sideFiles[1].lines, (std::vector<std::string>{"time_s,T_K", "0,1073", "50,1373", "100,1373"}));
  EXPECT_EQ(second.runOptions, (std::vector<std::string>{"--schedule", "schedule.csv", "--output-times", "25,50"}));
  EXPECT_NE(inputFingerprint(second, {}), inputFingerprint(renderStudyCase(study, 0), {}));
  EXPECT_NE(inputFingerprint(second, {}), inputFingerprint(plainCase, {}));
  // Without the heat treatment the same case has the same files as before.
  EXPECT_EQ(plainCase.dataFile.lines, second.dataFile.lines);

  // A schedule file beside the study, with a placeholder of its own.
  test::writeBytes("anneal.csv", "time_s,T_K\n0,1073\n60,{{T}}\n");
  const Study fromFile = load("schedule = \"anneal.csv\"\noutput_times = \"20:60:3\"\n" + head);
  validateStudy(fromFile);
  const RenderedCase first = renderStudyCase(fromFile, 0);
  EXPECT_EQ(first.sideFiles.back().lines, (std::vector<std::string>{"time_s,T_K", "0,1073", "60,1273"}));
  EXPECT_EQ(first.runOptions.back(), "20:60:3");
}

// The life settings take each case's values and run it with the options of
// the same names; a text that cannot be read, a placeholder that names no
// parameter, and an option the study gives twice are refused before any run,
// naming the study's line.
TEST_F(StudyFile, LifeSettingsFollowEachCaseOrAreRefused) {
  const std::string head = "case = \"case.dat\"\n[parameters]\nT = [1273, 1373]\nD = [1e-9]\n";
  const Study study = load("cycles = \"3:10@{{T}},5@300\"\noxide = 1.5\n" + head);
  EXPECT_TRUE(study.heatTreatment.hasLife());
  EXPECT_EQ(renderStudyCase(study, 1).runOptions,
            (std::vector<std::string>{"--cycles", "3:10@1373,5@300", "--oxide", "1.5"}));
  EXPECT_NE(inputFingerprint(renderStudyCase(study, 1), {}), inputFingerprint(renderStudyCase(study, 0), {}));
  const Study receding = load("receding = true\n" + head);
  EXPECT_TRUE(receding.heatTreatment.hasLife());
  EXPECT_EQ(renderStudyCase(receding, 0).runOptions, (std::vector<std::string>{"--receding"}));
  EXPECT_TRUE(load("receding = false\n" + head).heatTreatment.empty());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"receding = \"yes\"\n" + head, "study.toml:1: needs true or false"},
      {"receding = true\n" + head + "[run]\noptions = [\"--receding\"]\n",
       "options cannot hold --receding: the study gives it in receding"},
      {"cycles = \"3:0@{{T}},5@300\"\n" + head, "study.toml, line 1, cycles: '3:0@1273,5@300': the hot hold"},
      {"spall = \"-1\"\n" + head, "study.toml, line 1, spall: '-1'"},
      {"critical = \"N1<{{X}}\"\n" + head, "study.toml, line 1: the placeholder {{X}} is no parameter"},
      {"critical = true\n" + head, "study.toml:1: needs a text as --critical takes it"},
      {"cycles = \"3:10@1273,5@300\"\n" + head + "[run]\noptions = [\"--cycles\", \"1:1@1,1@1\"]\n",
       "options cannot hold --cycles: the study gives it in cycles"},
  };
  for (const auto& [text, expected] : cases) {
    try {
      validateStudy(load(text));
      ADD_FAILURE() << "accepted:\n" << text;
    } catch (const InputError& error) {
      EXPECT_NE(std::string(error.what()).find(expected), std::string::npos)
          << "message: " << error.what() << "\nexpected: " << expected;
    }
  }
}

// Each refusal names the file and line of the heat treatment, and for a
// value that only a case makes wrong, the case.
TEST_F(StudyFile, AMalformedHeatTreatmentIsRefusedBeforeAnyRun) {
  const std::string head = "case = \"case.dat\"\n[parameters]\nT = [1273, -5]\nD = [1e-9]\n";
  test::writeBytes("down.csv", "time_s,T_K\n0,1073\n60,1000\n30,900\n");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"schedule = [[0, 1073], [10, \"{{T}}\"]]\n" + head,
       "case 1 (T = -5, D = 1E-9): study.toml, line 1: '[10, -5]': the temperature must be above 0 K"},
      {"schedule = [[0, \"{{Tx}}\"]]\n" + head, "study.toml, line 1: the placeholder {{Tx}} is no parameter"},
      {"schedule = [[0, 1073], [1]]\n" + head, "study.toml:1: a row is [time_s, T_K]"},
      {"schedule = 1073\n" + head, "study.toml:1: needs a file name"},
      {"schedule = \"absent.csv\"\n" + head, "the schedule file absent.csv cannot be read"},
      {"schedule = \"down.csv\"\n" + head, "down.csv, line 4: '30,900': the times must increase"},
      {"output_times = [50, 20]\n" + head, "study.toml, line 1, output_times: '20': the output times must increase"},
      {"output_times = [500]\n" + head, "the output time 500 s lies outside the run"},
      {"output_times = []\n" + head, "study.toml:1: holds no time"},
      {"schedule = [[0, 1073]]\n" + head + "[run]\noptions = [\"--schedule\", \"x.csv\"]\n",
       "options cannot hold --schedule: the study gives it in schedule"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_NE(refusal(text).find(expected), std::string::npos) << text << "\n-> " << refusal(text);
}

// Every value a study puts into a case file is held to the rule of --param
// (one line, no control characters, not empty, no {{), whichever way it is
// given, with the file and line of the value; so is a parameter handed to
// the rendering directly.
TEST_F(StudyFile, EveryValueStaysOnItsLine) {
  const std::string head = "case = \"case.dat\"\n";
  test::writeBytes("cells.csv",
                   "T,D\n1273,1e-9\n13\x01"
                   "73,1e-9\n");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {head + "[parameters]\nT = [\"1273\\n   5\"]\nD = [1e-9]\n",
       "study.toml:3: a value of T: a value cannot hold a line break"},
      {head + "[parameters]\nT = \"12\\t73\"\nD = [1e-9]\n",
       "study.toml:3: the value of T: a value cannot hold a control character (0x09)"},
      {head + "[parameters]\nT = [\"\"]\nD = [1e-9]\n", "study.toml:3: a value of T: a value cannot be empty"},
      {head + "[parameters]\nT = [\"{{D}}\"]\nD = [1e-9]\n", "study.toml:3: a value of T: a value cannot hold {{"},
      {head + "[parameters]\nT = [1273]\nD = [1e-9]\n[set]\nD1 = \"0 1\\n2\"\n",
       "study.toml:6: the override of D1: a value cannot hold a line break"},
      {head + "table = \"cells.csv\"\n", "cells.csv:3: the value of T: a value cannot hold a control character (0x01)"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_NE(refusal(text).find(expected), std::string::npos) << text << "\n-> " << refusal(text);
  EXPECT_THROW(parseCaseParameter("T=12\t73"), InputError);
  const std::string direct = test::messageOf<InputError>([] {
    renderCase("case.dat", {}, {{"T", "1273\n   5"}, {"D", "1e-9"}});
  });
  EXPECT_NE(direct.find("the parameter T"), std::string::npos) << direct;
  EXPECT_THROW(renderCase("case.dat", {{DataKey::D1, "0 1\r2"}}, {{"T", "1273"}, {"D", "1e-9"}}), InputError);
}

// Work beyond reason is refused with the line that asks for it: more than a
// million cases however given, a time limit under a millisecond. Asking for
// more processes than cores is not wrong: the sweep runs as many as it can.
TEST_F(StudyFile, WorkBeyondReasonIsRefused) {
  const std::string head = "case = \"case.dat\"\n";
  std::string table = "T,D\n";
  for (int k = 0; k <= 1000000; ++k) table += "1273,1e-9\n";
  test::writeBytes("huge.csv", table);
  EXPECT_NE(refusal(head + "table = \"huge.csv\"\n").find("huge.csv:1000002: the table has more than a million cases"),
            std::string::npos);
  const std::string study = head + "[parameters]\nT = [1273]\nD = [1e-9]\n[run]\n";
  EXPECT_NE(refusal(study + "time_limit = 1e-300\n")
                .find("study.toml:6: time_limit must be a number of seconds, at "
                      "least 0.001 (1 ms), not 1E-300"),
            std::string::npos)
      << refusal(study + "time_limit = 1e-300\n");
  EXPECT_EQ(load(study + "time_limit = 0.001\n").timeLimitSeconds, 0.001);
  EXPECT_EQ(load(study + "jobs = 100000\n").jobs, 100000);
}

// The fingerprint follows what the run reads wherever it lies: a side file
// named by an absolute path (read in place, not copied), and a file named by
// a run option.
TEST_F(StudyFile, TheFingerprintCoversFilesOutsideTheCaseFolder) {
  test::ScratchDirectory elsewhere;
  const std::string dfv = elsewhere.file("couple.dfv");
  test::writeLines(dfv, {"# component 1", "1e-9", "# component 2", "1e-9"});
  test::writeBytes("anneal.csv", "time_s,T_K\n0,1273\n");
  const Study study = load("case = \"case.dat\"\n[parameters]\nT = [1273]\n[set]\nD9 = \"0 " + dfv +
                           "\"\n[run]\noptions = [\"--schedule\", \"anneal.csv\"]\n");
  validateStudy(study);
  const auto fingerprint = [&] { return inputFingerprint(renderStudyCase(study, 0), study.runOptions); };
  const std::string before = fingerprint();
  EXPECT_EQ(fingerprint(), before);
  test::writeLines(dfv, {"# component 1", "2e-9", "# component 2", "1e-9"});
  const std::string edited = fingerprint();
  EXPECT_NE(edited, before);
  test::writeBytes("anneal.csv", "time_s,T_K\n0,1373\n");
  EXPECT_NE(fingerprint(), edited);
}

// Case folders are cleared before their case runs: an output folder that
// holds the template or a side file is refused, naming both, before
// anything is written.
TEST_F(StudyFile, AnOutputFolderHoldingAnInputIsRefused) {
  const std::string params = "[parameters]\nT = [1273]\nD = [1e-9]\n";
  const std::string here = refusal("case = \"case.dat\"\noutput = \".\"\n" + params);
  EXPECT_NE(here.find("The study's output folder . holds the input case.dat"), std::string::npos) << here;
  std::filesystem::create_directories("runs/cases/0000");
  test::writeLines("runs/cases/0000/couple.dfv", {"# component 1", "{{D}}", "# component 2", "1e-9"});
  const std::string side =
      refusal("case = \"case.dat\"\noutput = \"runs\"\n" + params + "[set]\nD9 = \"0 runs/cases/0000/couple.dfv\"\n");
  EXPECT_NE(side.find("runs holds the input runs/cases/0000/couple.dfv"), std::string::npos) << side;
  EXPECT_TRUE(std::filesystem::exists("runs/cases/0000/couple.dfv"));
}

TEST(StudyResults, NamesParseIntoWhatTheyMeasure) {
  const auto below = parseStudyResult("time_N1_left_below_0.15");
  ASSERT_TRUE(below);
  EXPECT_EQ(below->kind, StudyResult::Kind::FirstTimeBelow);
  EXPECT_EQ(below->component, 1);
  EXPECT_TRUE(below->left);
  EXPECT_DOUBLE_EQ(below->threshold, 0.15);
  const auto ratio = parseStudyResult("N3_right");
  ASSERT_TRUE(ratio);
  EXPECT_EQ(ratio->kind, StudyResult::Kind::MolarRatio);
  EXPECT_EQ(ratio->component, 3);
  EXPECT_FALSE(ratio->left);
  for (const char* wrong : {"N0_left", "N1", "N1_up", "time_N1_left", "time_N1_left_below_x", "Nx_left", ""})
    EXPECT_FALSE(parseStudyResult(wrong)) << wrong;
}

}  // namespace
}  // namespace torvex

namespace torvex {
namespace {

// The README's worked example stays a study that runs.
TEST(StudyExample, TheAnnealStudyOfTheExamplesIsValid) {
  const Study study = loadStudy(TORVEX_TEST_DATA_DIR "/../../examples/sweep/anneal-study.toml");
  EXPECT_EQ(study.caseCount(), 3u);
  validateStudy(study);
  const RenderedCase last = renderStudyCase(study, 2);
  EXPECT_EQ(last.sideFiles.back().lines.at(2), "1800,1173");
}

TEST(StudyExample, TheOxidationStudyOfTheExamplesIsValid) {
  const Study study = loadStudy(TORVEX_TEST_DATA_DIR "/../../examples/sweep/oxidation-study.toml");
  EXPECT_EQ(study.caseCount(), 9u);
  EXPECT_EQ(study.results.size(), 3u);
  validateStudy(study);
  const RenderedCase last = renderStudyCase(study, 8);
  EXPECT_NE(std::find(last.dataFile.lines.begin(), last.dataFile.lines.end(), "   0.002 25 0.0 0.0 0.0"),
            last.dataFile.lines.end());
}

}  // namespace
}  // namespace torvex
