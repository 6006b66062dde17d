#include "model/sample_files.h"

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

// The references in tests/data/samples were checked line by line against the
// documented sample cases; any change to them must be deliberate.
TEST(SampleFiles, ContentMatchesTheReferencesByteForByte) {
  ScratchDirectory dir;
  WriteSampleFiles(dir.path().string());
  for (const SampleFile& file : sampleFiles()) {
    const std::string name(file.name);
    EXPECT_EQ(readBytes(dir.file(name)), readBytes(std::string(TORVEX_TEST_DATA_DIR "/samples/") + name)) << name;
  }
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
  {
    const std::string message = test::messageOf<InputError>([&] { WriteSampleFiles(dir.file("missing")); });
    EXPECT_NE(message.find("interdiffusion.dat"), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace torvex
