// Rendering a case template: key overrides replace whole value lines, {{NAME}}
// placeholders take parameter values in the data file and its side files, and
// everything that cannot mean what the user meant is refused before a run.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/tform1.h"
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
  TForm1 model;
  model.sideFileDirectory = "out/case";
  model.load(path);
  EXPECT_EQ(model.temperature, 1373);
  EXPECT_EQ(model.endTime, 3600);
  EXPECT_DOUBLE_EQ(
      model.position[static_cast<std::size_t>(model.pointCount) - 1] + model.sampleWidth / model.pointCount, 0.004);
  EXPECT_DOUBLE_EQ(model.molarRatio[0][0], 0.1);
  EXPECT_EQ(model.diffusivityFormulas[0], "1e-9");
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

}  // namespace
}  // namespace torvex
