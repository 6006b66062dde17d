// Malformed input files: each must be refused with a message that lets the
// user find the fault (the file, the key or line, the offending text), and
// must leave no half-read case behind. One table holds the malformed data
// files and side files; each row states what its message must quote.

#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "support/load_fixture.h"

namespace torvex {
namespace {

using test::CaseFile;
using test::writeBytes;
using test::writeLines;

struct MalformedCase {
  const char* name;
  // Changes the valid binary case; may also write side files into the
  // working directory, where the load finds them.
  void (*change)(CaseFile&);
  // Pieces the message must hold: the key or line and the offending text.
  std::vector<std::string> messageParts;
  // Refused with the fixed text of a fatal model error; its detail then
  // holds the message parts.
  const char* fatalText = nullptr;
};

constexpr const char* kDiffusivityLinesMissing = "ERROR 2. Check input files. (diffusivities function error)";

void dropProfile(CaseFile& f) {
  f.profile.clear();
}

// The value lines of keys D9, D12, D21 and D22 in the files CaseFile writes.
const std::string kD9Line = "line 21, key D9";
const std::string kD12Line = "line 29, key D12";
const std::string kD21Line = "line 47, key D21";

const std::vector<MalformedCase> kMalformed = {
    // ---- The data file ----
    {"start without end",
     [](CaseFile& f) { f.value("D1") = "100"; },
     {"line 5, key D1", "the start time is missing", "\"100\""}},
    {"comma decimal", [](CaseFile& f) { f.value("D3") = "0,1"; }, {"key D3", "\"0,1\" is not a real number"}},
    {"word for a real", [](CaseFile& f) { f.value("D8") = "hot"; }, {"key D8", "\"hot\""}},
    {"missing molar mass",
     [](CaseFile& f) { f.value("D10") = "58.69"; },
     {"key D10", "component 1 is missing", "\"58.69\""}},
    {"extra molar volume", [](CaseFile& f) { f.value("D11") = "6.587 9.09 1"; }, {"key D11", "\"9.09 1\""}},
    {"kirkendall selector word", [](CaseFile& f) { f.value("D20") = "half"; }, {"key D20", "\"half\""}},
    {"kirkendall position missing", [](CaseFile& f) { f.value("D20") = "1   x"; }, {"key D20", "\"x\""}},
    {"minimal fraction not a real",
     [](CaseFile& f) { f.value("D21") = "0 none.flx abc"; },
     {kD21Line, "\"abc\" is not a real number"}},
    {"three initial points",
     [](CaseFile& f) { f.value("D22") = "3"; },
     {"line 49, key D22", "is 3", "must be 2", "\"3\""}},
    {"no initial points", [](CaseFile& f) { f.value("D22") = "none"; }, {"key D22", "is 0", "\"none\""}},
    {"profile ends early", [](CaseFile& f) { f.profile.resize(1); }, {"key D23", "\"#end of data file\""}},
    {"profile letter", [](CaseFile& f) { f.profile[1] = "0.002 3O 0 0 0"; }, {"line 52, key D23", "\"3O\""}},
    {"profile missing pressure",
     [](CaseFile& f) { f.profile[0] = "0 20 0 0"; },
     {"key D23", "is missing", "\"0 20 0 0\""}},
    {"zero width", [](CaseFile& f) { f.profile[1] = "0.0 30 0 0 0"; }, {"key D23", "positive width", "\"0.0 30"}},
    {"reversed sample",
     [](CaseFile& f) {
       f.profile = {"1 20 0 0 0", "0 30 0 0 0"};
     },
     {"key D23", "positive width", "\"0 30 0 0 0\""}},
    {"zero molar volumes",
     [](CaseFile& f) { f.value("D11") = "0 0"; },
     {"keys D11 and D23", "molar volume", "x = 0", "\"0 0\""}},
    {"zero molar masses", [](CaseFile& f) { f.value("D10") = "0 0"; }, {"keys D10 and D23", "density", "\"0 0\""}},
    {"too many components",
     [](CaseFile& f) { f.value("D0") = "1000000"; },
     {"key D0", "1000000 components", "at most 50"}},
    {"too many points", [](CaseFile& f) { f.value("D2") = "2000000000"; }, {"key D2", "2000000000 grid points"}},
    {"arrays too large",
     [](CaseFile& f) {
       f.value("D0") = "50";
       f.value("D2") = "1000000";
     },
     {"keys D0 and D2", "50 components on 1000000 grid points", "MiB of arrays"}},
    {"ends before D8",
     [](CaseFile& f) {
       for (std::size_t k = 6; k < f.values.size(); ++k) f.values[k] = "#";
       dropProfile(f);
     },
     {"ends before key D6"}},
    {"ends before profile",
     [](CaseFile& f) {
       f.values[23] = "#";
       dropProfile(f);
     },
     {"ends before key D22"}},
    {"continuation too short", [](CaseFile& f) { f.value("D22") = "10"; }, {"key D23", "ends after"}},
    {"continuation not increasing",
     [](CaseFile& f) {
       f.value("D2") = "3";
       f.value("D22") = "3";
       f.profile = {"0 1", "0.2 1", "0.1 1"};
     },
     {"line 53, key D23", "must increase", "\"0.1 1\""}},
    {"continuation content word",
     [](CaseFile& f) {
       f.value("D2") = "3";
       f.value("D22") = "3";
       f.profile = {"0 1", "0.1 one", "0.2 1"};
     },
     {"line 52, key D23", "\"one\""}},
    {"flux file without fraction",
     [](CaseFile& f) { f.value("D21") = "2 oxid_flux.flx"; },
     {kD21Line, "followed by the minimal molar fraction", "\"2 oxid_flux.flx\""}},

    // ---- The diffusivity file (D9) ----
    {"missing diffusivity file",
     [](CaseFile& f) { f.value("D9") = "0 nowhere.dfv"; },
     {kD9Line, "diffusivity file nowhere.dfv: cannot open the file for reading ("}},
    {"diffusivity file name with a blank",
     [](CaseFile& f) { f.value("D9") = "1 no where.dfv"; },
     {kD9Line, "diffusivity file no where.dfv: cannot open"}},
    {"diffusivity mode without a file",
     [](CaseFile& f) { f.value("D9") = "0"; },
     {kD9Line, "diffusivity file 0: cannot open"}},
    {"diffusivity file is a folder",
     [](CaseFile& f) {
       std::filesystem::create_directory("folder.dfv");
       f.value("D9") = "1 folder.dfv";
     },
     {kD9Line, "folder.dfv: cannot open the file for reading (it is a directory)"}},
    {"diffusivity file is a pipe",
     [](CaseFile& f) {
       ::mkfifo("pipe.dfv", 0600);  // opening it would wait for a writer
       f.value("D9") = "0 pipe.dfv";
     },
     {kD9Line, "pipe.dfv: cannot open the file for reading (it is not a regular file)"}},
    {"diffusivity file with a control byte",
     [](CaseFile& f) {
       writeBytes("control.dfv", "1e-10\r\n1e-10\x01\r\n");
       f.value("D9") = "0 control.dfv";
     },
     {kD9Line, "control.dfv: not a text file (byte 0x01 in line 2, column 6)"}},
    {"diffusivity file in UTF-16",
     [](CaseFile& f) {
       writeBytes("wide.dfv", std::string("\xFF\xFE"
                                          "1\0e\0",
                                          6));
       f.value("D9") = "0 wide.dfv";
     },
     {kD9Line, "wide.dfv: the file is saved as UTF-16"}},
    {"too few diffusivity formulas",
     [](CaseFile& f) {
       writeLines("one.dfv", {"# component 1", "1e-10", "# component 2"});
       f.value("D9") = "0 one.dfv";
     },
     {kD9Line, "one.dfv holds only 1 of the 2 formula lines"},
     kDiffusivityLinesMissing},
    {"too few diffusivity matrix rows",
     [](CaseFile& f) {
       writeLines("row.dfv", {"# matrix", "1e-10 0"});
       f.value("D9") = "1 row.dfv";
     },
     {kD9Line, "row.dfv holds only 1 of the 2 formula lines"},
     kDiffusivityLinesMissing},

    // ---- The activities file (D12 = 3) ----
    {"missing activities file",
     [](CaseFile& f) { f.value("D12") = "3   nowhere.act"; },
     {kD12Line, "activities file nowhere.act: cannot open"}},
    {"activities mode without a file",
     [](CaseFile& f) { f.value("D12") = "3"; },
     {kD12Line, "activities file 3: cannot open"}},
    {"activities file is a folder",
     [](CaseFile& f) {
       std::filesystem::create_directory("folder.act");
       f.value("D12") = "3   folder.act";
     },
     {kD12Line, "folder.act: cannot open the file for reading (it is a directory)"}},
    {"activities file with a NUL byte",
     [](CaseFile& f) {
       writeBytes("nul.act", std::string("0\r\n0\0\r\n", 6));
       f.value("D12") = "3   nul.act";
     },
     {kD12Line, "nul.act: not a text file (byte 0x00 in line 2, column 2)"}},
    {"activities file in UTF-16",
     [](CaseFile& f) {
       writeBytes("wide.act", std::string("\xFE\xFF\0"
                                          "0",
                                          4));
       f.value("D12") = "3   wide.act";
     },
     {kD12Line, "wide.act: the file is saved as UTF-16"}},

    // ---- The boundary flux file (D21 = 1 or 2) ----
    {"missing flux file",
     [](CaseFile& f) { f.value("D21") = "1 nowhere.flx 0"; },
     {kD21Line, "boundary flux file nowhere.flx: cannot open"}},
    {"flux file is a folder",
     [](CaseFile& f) {
       std::filesystem::create_directory("folder.flx");
       f.value("D21") = "1 folder.flx 0.001";
     },
     {kD21Line, "folder.flx: cannot open the file for reading (it is a directory)"}},
    {"flux file with an escape sequence",
     [](CaseFile& f) {
       writeBytes("colour.flx", "0   0\r\n\x1b[1m0   0\r\n");
       f.value("D21") = "1 colour.flx 0.001";
     },
     {kD21Line, "colour.flx: not a text file (byte 0x1B in line 2, column 1)"}},
    {"flux fraction not a real after a file",
     [](CaseFile& f) {
       writeLines("f.flx", {"0   0", "0   0"});
       f.value("D21") = "1 f.flx 1e-3x";
     },
     {kD21Line, "\"1e-3x\" is not a real number", "(value line \"1 f.flx 1e-3x\")"}},
};

// Readable test names in failure reports instead of a byte dump.
void PrintTo(const MalformedCase& c, std::ostream* out) {
  *out << c.name;
}

class MalformedInput : public test::LoadFixture, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedInput, IsRefusedWithAMessageThatLocatesTheFault) {
  const MalformedCase& c = GetParam();
  model_.load("interdiffusion.dat");  // a complete earlier load
  CaseFile file;
  c.change(file);
  std::string message;
  if (c.fatalText != nullptr) {
    // The fixed text is what the desktop program shows; the detail says where.
    try {
      loadCase(file, "bad.dat");
      ADD_FAILURE() << "no error";
    } catch (const FatalModelError& error) {
      EXPECT_STREQ(error.what(), c.fatalText);
      message = error.detail();
    }
  } else {
    message = test::messageOf<InputError>([&] { loadCase(file, "bad.dat"); });
  }
  EXPECT_EQ(message.rfind("bad.dat", 0), 0u) << message;
  const bool namesAKey = message.find("key D") != std::string::npos || message.find("keys D") != std::string::npos;
  EXPECT_TRUE(namesAKey) << message;
  for (const auto& part : c.messageParts)
    EXPECT_NE(message.find(part), std::string::npos) << message << "\nmissing: " << part;
  // Nothing of the half-read case remains to be run or drawn.
  EXPECT_FALSE(model_.input.loaded());
  EXPECT_EQ(model_.input.componentCount, 0);
  EXPECT_EQ(model_.input.pointCount, 0);
  EXPECT_TRUE(model_.state.concentration.empty());
  EXPECT_TRUE(model_.state.position.empty());
}

INSTANTIATE_TEST_SUITE_P(InputFiles, MalformedInput, ::testing::ValuesIn(kMalformed), [](const auto& info) {
  std::string name;
  for (const char* c = info.param.name; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
});

using RawFiles = test::LoadFixture;

TEST_F(RawFiles, MissingBinaryAndEmptyFilesAreRefused) {
  EXPECT_THROW(model_.load("no-such-file.dat"), InputError);
  writeBytes("garbage.dat", std::string("\x7f"
                                        "ELF\x02\x01\x01\0\0\0",
                                        10));
  {
    const std::string message = test::messageOf<InputError>([&] { model_.load("garbage.dat"); });
    EXPECT_NE(message.find("garbage.dat: not a text file"), std::string::npos) << message;
  }
  writeBytes("utf16.dat", std::string("\xFF\xFE#\0#\0", 6));
  {
    const std::string message = test::messageOf<InputError>([&] { model_.load("utf16.dat"); });
    EXPECT_NE(message.find("utf16.dat: the file is saved as UTF-16"), std::string::npos);
  }
  writeBytes("empty.dat", "");
  {
    const std::string message = test::messageOf<InputError>([&] { model_.load("empty.dat"); });
    EXPECT_EQ(message, "empty.dat: the file ends before key D0 (0 of the 25 value lines found)");
  }
}

TEST_F(RawFiles, EveryTruncationOfASampleIsRefusedCleanly) {
  const std::string whole = test::readBytes("oxidation.dat");
  // Cut after every line end: the file must either fail with a message or,
  // once the profile is complete, load.
  int loaded = 0;
  for (std::size_t at = whole.find('\n'); at != std::string::npos; at = whole.find('\n', at + 1)) {
    writeBytes("cut.dat", whole.substr(0, at + 1));
    try {
      model_.load("cut.dat");
      ++loaded;
    } catch (const InputError&) {
      EXPECT_FALSE(model_.input.loaded());
    }
  }
  EXPECT_EQ(loaded, 2);  // with and without the final comment line
}

}  // namespace
}  // namespace torvex

namespace torvex {
namespace {

// Random damage to a valid case (bytes changed, lines dropped or repeated,
// the file cut short): the load either succeeds or refuses the file with an
// input error; it never crashes, hangs or leaves a half-read case. Under the
// sanitizers this also catches out-of-bounds reads on odd input.
TEST_F(RawFiles, RandomlyDamagedFilesNeverCrashTheLoad) {
  const std::string original = test::readBytes("interdiffusion.dat");
  std::mt19937 random(2026);
  const std::string alphabet = " \t\r\n#.-+eE0123456789aN";
  int refused = 0;
  for (int trial = 0; trial < 1500; ++trial) {
    std::string bytes = original;
    const int damages = 1 + static_cast<int>(random() % 4);
    for (int d = 0; d < damages && !bytes.empty(); ++d) {
      const std::size_t at = random() % bytes.size();
      switch (random() % 4) {
        case 0: bytes[at] = alphabet[random() % alphabet.size()]; break;
        case 1: bytes.erase(at, 1 + random() % 40); break;
        case 2: bytes.insert(at, bytes.substr(at, random() % 60)); break;
        default: bytes.resize(at); break;
      }
    }
    writeBytes("damaged.dat", bytes);
    try {
      model_.load("damaged.dat");
      ASSERT_TRUE(model_.input.loaded());
      ASSERT_EQ(model_.state.concentration.rows(), model_.input.componentCount);
      ASSERT_EQ(model_.state.concentration.columns(), model_.input.pointCount);
    } catch (const InputError&) {
      ++refused;
      ASSERT_FALSE(model_.input.loaded());
    } catch (const FatalModelError&) {
      ++refused;
      ASSERT_FALSE(model_.input.loaded());
    }
  }
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace torvex
