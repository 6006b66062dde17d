// Rendering a case template: key overrides replace whole value lines, {{NAME}}
// placeholders take parameter values in the data file and its side files, and
// everything that cannot mean what the user meant is refused before a run.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "run/simulation.h"
#include "study/case_template.h"
#include "support/case_file.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::CaseFile;

class CaseTemplate : public ::testing::Test {
 protected:
  CaseTemplate() : cwd_(dir_.path()) {
    file_.value("D9") = "0 couple.dfv";
    test::writeLines("couple.dfv", {"# component 1", "{{D1}}", "# component 2", "{{ D2 }}*exp(-{{Q}}/(8.314*T))"});
  }

  RenderedCase render(const std::vector<KeyOverride>& overrides, const std::vector<CaseParameter>& parameters) {
    file_.write("case.dat");
    return renderCase("case.dat", overrides, parameters);
  }

  std::string refusal(const std::vector<KeyOverride>& overrides, const std::vector<CaseParameter>& parameters) {
    return test::messageOf<InputError>([&] { render(overrides, parameters); });
  }

  const std::vector<CaseParameter> all_ = {{"D1", "1e-9"}, {"D2", "2e-3"}, {"Q", "150000"}};
  test::ScratchDirectory dir_;
  test::ScopedWorkingDirectory cwd_;
  CaseFile file_;
};

TEST_F(CaseTemplate, OverridesAndParametersRenderTheCaseThatLoads) {
  file_.value("D8") = "{{T}}";
  auto parameters = all_;
  parameters.push_back({"T", "1373"});
  const RenderedCase rendered =
      render({{DataKey::D1, "0 3600"}, {DataKey::D23, "0 10 0 0 0; 0.004 90 0 0 0"}}, parameters);
  ASSERT_EQ(rendered.sideFiles.size(), 1u);
  EXPECT_EQ(rendered.sideFiles[0].lines[1], "1e-9");
  EXPECT_EQ(rendered.sideFiles[0].lines[3], "2e-3*exp(-150000/(8.314*T))");

  const std::string path = writeRenderedCase(rendered, "out/case");
  const Case model = loadCase(path, {.sideFileDirectory = "out/case"});
  EXPECT_EQ(model.temperature, 1373);
  EXPECT_EQ(model.endTime, 3600);
  EXPECT_DOUBLE_EQ(model.initial.position[static_cast<std::size_t>(model.pointCount) - 1] +
                       model.initial.sampleWidth / model.pointCount,
                   0.004);
  EXPECT_DOUBLE_EQ(model.initial.molarRatio[0][0], 0.1);
  EXPECT_EQ(model.diffusivityFormulas[0], "1e-9");

  // Held in memory, the rendered case loads as the written one: the same
  // values from the same bytes, named as the written files.
  const Case inMemory = loadRenderedCase(rendered, "out/case");
  EXPECT_EQ(inMemory.dataFileName, path);
  ASSERT_EQ(inMemory.inputFiles.size(), model.inputFiles.size());
  for (std::size_t f = 0; f < model.inputFiles.size(); ++f) {
    EXPECT_EQ(inMemory.inputFiles[f].path, model.inputFiles[f].path);
    EXPECT_EQ(inMemory.inputFiles[f].sha256, model.inputFiles[f].sha256);
  }
  EXPECT_EQ(inMemory.diffusivityFile.lines.lines(), model.diffusivityFile.lines.lines());
  EXPECT_EQ(inMemory.initial.position, model.initial.position);
  // The user's files are left as they were.
  EXPECT_NE(test::readBytes("couple.dfv").find("{{D1}}"), std::string::npos);
  EXPECT_NE(test::readBytes("case.dat").find("{{T}}"), std::string::npos);
}

TEST_F(CaseTemplate, ACaseWithoutPlaceholdersRendersUnchanged) {
  file_.value("D9") = "2";
  const RenderedCase rendered = render({}, {});
  EXPECT_FALSE(rendered.dataFile.changed);
  EXPECT_EQ(rendered.dataFile.lines, file_.lines());
  EXPECT_TRUE(rendered.sideFiles.empty());
}

TEST_F(CaseTemplate, RefusesWhatCannotMeanAnything) {
  EXPECT_NE(refusal({}, {{"D1", "1e-9"}, {"D2", "1"}}).find("the placeholder {{Q}} has no value"), std::string::npos);
  EXPECT_NE(refusal({}, {{"D1", "1e-9"}, {"D2", "1"}}).find("couple.dfv, line 4"), std::string::npos);
  auto extra = all_;
  extra.push_back({"T", "1000"});
  EXPECT_NE(refusal({}, extra).find("--param T=1000: no {{T}} stands in case.dat"), std::string::npos);
  EXPECT_NE(refusal({{DataKey::D8, "hot"}}, all_).find("--set D8=hot: \"hot\" is not a real number"),
            std::string::npos);
  EXPECT_NE(refusal({{DataKey::D10, "58.69"}}, all_).find("one per component needs 2"), std::string::npos);
  EXPECT_NE(refusal({{DataKey::D8, "1"}, {DataKey::D8, "2"}}, all_).find("--set D8 is given twice"), std::string::npos);
  EXPECT_NE(refusal({}, {{"Q", "1"}, {"Q", "2"}}).find("--param Q is given twice"), std::string::npos);

  file_.value("D3") = "{{dt";
  EXPECT_NE(refusal({}, all_).find("case.dat, line 9: a placeholder opened with {{ is not closed"), std::string::npos);
}

TEST_F(CaseTemplate, APlaceholderInASideFileOutsideTheCaseFolderIsRefused) {
  std::filesystem::create_directories("inner");
  test::writeLines("outside.dfv", {"{{D1}}", "{{D1}}"});
  file_.value("D9") = "0 ../outside.dfv";
  file_.write("inner/case.dat");
  const std::string message = test::messageOf<InputError>([&] { renderCase("inner/case.dat", {}, {{"D1", "1e-9"}}); });
  EXPECT_NE(message.find("must lie in the data file's folder"), std::string::npos) << message;
}

TEST(CaseTemplateArguments, ParsesSetAndParamAndNamesWhatIsWrong) {
  const KeyOverride set = parseKeyOverride("d9a = 0.78");
  EXPECT_EQ(set.key, DataKey::D9a);
  EXPECT_EQ(set.value, "0.78");
  EXPECT_EQ(parseKeyOverride("D1=0 3600").value, "0 3600");
  const CaseParameter param = parseCaseParameter("D_Ni=1e-10");
  EXPECT_EQ(param.name, "D_Ni");
  EXPECT_EQ(param.value, "1e-10");
  EXPECT_NE(test::messageOf<InputError>([] { parseKeyOverride("D99=1"); }).find("there is no key \"D99\""),
            std::string::npos);
  EXPECT_NE(test::messageOf<InputError>([] { parseKeyOverride("D8"); }).find("expected KEY=VALUE"), std::string::npos);
  EXPECT_NE(test::messageOf<InputError>([] { parseCaseParameter("2x=1"); }).find("expected NAME=VALUE"),
            std::string::npos);
  EXPECT_NE(test::messageOf<InputError>([] { parseCaseParameter("x="); }).find("must be one line"), std::string::npos);
}

// A rendered case held in memory is refused with the very message a load of
// its written files gives: the same file, line and text.
TEST_F(CaseTemplate, ARenderedCaseInMemoryIsRefusedAsItsWrittenFilesAre) {
  file_.value("D8") = "{{T}}";
  auto parameters = all_;
  parameters.push_back({"T", "hot"});
  const RenderedCase rendered = render({}, parameters);
  writeRenderedCase(rendered, "out/case");
  const std::string fromDisk =
      test::messageOf<InputError>([] { loadCase("out/case/case.dat", {.sideFileDirectory = "out/case"}); });
  EXPECT_NE(fromDisk.find("out/case/case.dat, line"), std::string::npos) << fromDisk;
  EXPECT_NE(fromDisk.find("\"hot\" is not a real number"), std::string::npos) << fromDisk;
  EXPECT_EQ(test::messageOf<InputError>([&] { loadRenderedCase(rendered, "out/case"); }), fromDisk);

  // A side file with too few formulas: the same fatal text and detail.
  test::writeLines("couple.dfv", {"# component 1", "{{D1}}"});
  const RenderedCase shortSide = render({}, {{"D1", "1e-9"}, {"T", "1373"}});
  writeRenderedCase(shortSide, "short/case");
  const auto detailOf = [](auto load) {
    try {
      load();
    } catch (const FatalModelError& error) {
      return std::string(error.what()) + " | " + error.detail();
    }
    return std::string("loaded");
  };
  const std::string fatal = detailOf([] { loadCase("short/case/case.dat", {.sideFileDirectory = "short/case"}); });
  EXPECT_NE(fatal.find("holds only 1 of the 2 formula lines"), std::string::npos) << fatal;
  EXPECT_EQ(detailOf([&] { loadRenderedCase(shortSide, "short/case"); }), fatal);
}

// A template reads its files once: every later rendering (a fit renders one
// per trial point) is made from what it read, whatever the disk holds now.
TEST_F(CaseTemplate, ATemplateReadsItsFilesOnce) {
  file_.write("case.dat");
  const torvex::CaseTemplate caseTemplate("case.dat");
  const RenderedCase first = caseTemplate.render({}, all_);
  test::writeLines("couple.dfv", {"# changed", "1", "# on disk", "2"});
  std::filesystem::remove("case.dat");
  const RenderedCase second = caseTemplate.render({}, all_);
  EXPECT_EQ(second.dataFile.lines, first.dataFile.lines);
  ASSERT_EQ(second.sideFiles.size(), 1u);
  EXPECT_EQ(second.sideFiles[0].lines, first.sideFiles[0].lines);
  EXPECT_EQ(second.sideFiles[0].lines[1], "1e-9");
}

}  // namespace
}  // namespace torvex
