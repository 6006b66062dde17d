#include "run/sample_files.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::readBytes;
using test::ScratchDirectory;

TEST(SampleFiles, SevenFilesEveryLineEndingInCarriageReturnLineFeed) {
  ScratchDirectory dir;
  WriteSampleFiles(dir.path().string());
  const std::vector<std::pair<const char*, std::size_t>> expected = {
      {"interdiffusion.dat", 53}, {"oxidation.dat", 53},    {"oxid_diff.dfv", 10}, {"inter_diff.dfv", 10},
      {"activities.act", 25},     {"fluxes_funct.flx", 11}, {"oxid_flux.flx", 6}};
  for (const auto& [name, lineCount] : expected) {
    const std::string bytes = readBytes(dir.file(name));
    EXPECT_EQ(bytes.rfind("###Torvex_v2.3###\r\n", 0), 0u) << name;
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = bytes.find('\n', at)) != std::string::npos; ++at, ++lines)
      EXPECT_EQ(bytes[at - 1], '\r') << name;
    EXPECT_EQ(lines, lineCount) << name;
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << name;
  }
}

TEST(SampleFiles, ContentIsExact) {
  ScratchDirectory dir;
  WriteSampleFiles(dir.path().string());
  const std::string interdiffusion = readBytes(dir.file("interdiffusion.dat"));
  EXPECT_NE(interdiffusion.find("#|D20|-initial position of Kirkendall plane (initial contact interace) [cm]: {0} - "
                                "the half width of the sample, {1} - not known {2} - declare:\r\n   0\r\n"),
            std::string::npos);
  EXPECT_NE(interdiffusion.find("\r\n   0 fluxes_2.flx 6.58e-7\r\n#|D22|"), std::string::npos);
  EXPECT_TRUE(
      interdiffusion.ends_with("\r\n   -0.1 85 0.5 0.0 0.0 0.0\r\n   0.1 0.5 25 0.0 0.0 0.0\r\n#end of data file\r\n"));
  const std::string oxidation = readBytes(dir.file("oxidation.dat"));
  EXPECT_NE(oxidation.find("\r\n   58.69  195.08\r\n"), std::string::npos);
  EXPECT_EQ(readBytes(dir.file("oxid_flux.flx")),
            "###Torvex_v2.3###\r\n# Initial boundary flux file (selective oxidation)\r\n"
            "# constant parameters to the calculations:\r\n#oxide diffusion coeff., oxide molar concentration, oxide "
            "pressure (p'), external pressure (p''), flux multiplicator\r\n4.578e-14 8.97e-2 9.1e-14 0.21 1\r\n"
            "#End of initial flux file\r\n");
}

TEST(SampleFiles, GeneratingTwiceReplacesWithTheSameContent) {
  ScratchDirectory dir;
  test::writeBytes(dir.file("oxidation.dat"), "something the user wrote");
  WriteSampleFiles(dir.path().string());
  const std::string first = readBytes(dir.file("oxidation.dat"));
  WriteSampleFiles(dir.path().string() + "/");
  EXPECT_EQ(readBytes(dir.file("oxidation.dat")), first);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 7);
}

TEST(SampleFiles, UnwritableDirectoryNamesTheFile) {
  ScratchDirectory dir;
  try {
    WriteSampleFiles(dir.file("missing"));
    FAIL() << "wrote into a missing directory";
  } catch (const InputError& error) {
    EXPECT_NE(std::string(error.what()).find("interdiffusion.dat"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace torvex
