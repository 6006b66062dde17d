// Values the load reads as numbers but that describe no physical case. Each
// is refused before a run opens, by the run-settings check that the desktop
// program's START, the batch runner and its --check share, with a message
// that names the file, the key, the value and what is accepted. Cases at the
// edge of what is accepted must keep running.

#include <cctype>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "run/integrator.h"
#include "support/load_fixture.h"

namespace torvex {
namespace {

using test::CaseFile;
using test::writeLines;

// The ternary counterpart of CaseFile's binary case (built-in Cu-Fe-Ni
// diffusivities), with the two profile lines given.
void ternary(CaseFile& f, const std::string& left, const std::string& right) {
  f.value("D0") = "3";
  f.value("D10") = "63.546 55.847 58.71";
  f.value("D11") = "7.11 7.09 6.59";
  f.profile = {left, right};
}

// Selective oxidation with the five constants of the flux file given.
void oxidation(CaseFile& f, const std::string& constants) {
  writeLines("ox.flx", {"# D_ox c_ox p' p'' multiplier", constants});
  f.value("D21") = "2 ox.flx 1e-6";
}

struct MeaninglessCase {
  const char* name;
  void (*change)(CaseFile&);
  std::vector<std::string> messageParts;  // besides "bad.dat, key D.."
};

const std::vector<MeaninglessCase> kMeaningless = {
    // ---- Process constants ----
    {"temperature below zero", [](CaseFile& f) { f.value("D8") = "-5"; }, {"key D8", "-5 K", "above 0 K"}},
    {"temperature zero", [](CaseFile& f) { f.value("D8") = "0"; }, {"key D8", "temperature 0 K"}},
    {"correlation factor zero", [](CaseFile& f) { f.value("D9a") = "0"; }, {"key D9a", "factor 0 must be positive"}},
    {"correlation factor negative",
     [](CaseFile& f) { f.value("D9a") = "-1"; },
     {"key D9a", "factor -1 must be positive"}},
    {"concentration error negative",
     [](CaseFile& f) { f.value("D4") = "-1"; },
     {"key D4", "error -1 must be positive"}},
    {"concentration error zero", [](CaseFile& f) { f.value("D4") = "0"; }, {"key D4", "error 0 must be positive"}},

    // ---- Component constants ----
    {"negative self-diffusion coefficient",
     [](CaseFile& f) {
       writeLines("neg.dfv", {"# 1", "1e-10", "# 2", "-1e-10"});
       f.value("D9") = "0 neg.dfv";
     },
     {"key D9, diffusivity file neg.dfv", "component 2 is -1E-10 cm^2/s", "must not be negative"}},
    {"negative diffusivity matrix entry",
     [](CaseFile& f) {
       writeLines("neg.dfv", {"# matrix", "1e-10 -1e-11", "0 1e-10"});
       f.value("D9") = "1 neg.dfv";
     },
     {"key D9, diffusivity file neg.dfv", "row 1, column 2 is -1E-11 cm^2/s"}},
    {"molar mass zero",
     [](CaseFile& f) { f.value("D10") = "58.69 0"; },
     {"key D10", "component 2 is 0 g/mol", "must be positive"}},
    {"molar mass negative",
     [](CaseFile& f) { f.value("D10") = "-58.69 195.08"; },
     {"key D10", "component 1 is -58.69 g/mol"}},
    {"molar volume negative",
     [](CaseFile& f) { f.value("D11") = "6.587 -0.1"; },
     {"key D11", "component 2 is -0.1 cm^3/mol", "must not be negative"}},

    // ---- Initial contents ----
    {"content negative",
     [](CaseFile& f) { f.profile[0] = "-0.1 -5 0 0 0"; },
     {"key D23", "component 1", "line 1 (\"-0.1 -5 0 0 0\")", "is -5 %", "from 0 to 100 %"}},
    {"content above 100",
     [](CaseFile& f) { f.profile[1] = "0.002 100.5 0 0 0"; },
     {"key D23", "line 2 (\"0.002 100.5 0 0 0\")", "is 100.5 %"}},
    {"negative content of a ternary",
     [](CaseFile& f) { ternary(f, "-0.1 85 -5 0 0 0", "0.1 0.5 25 0 0 0"); },
     {"key D23", "component 2", "\"-0.1 85 -5 0 0 0\"", "is -5 %"}},
    {"contents summing above 100",
     [](CaseFile& f) { ternary(f, "-0.1 85 35 0 0 0", "0.1 0.5 25 0 0 0"); },
     {"key D23", "\"-0.1 85 35 0 0 0\"", "sum to 120 %", "leaves -20 % to component 3", "at most 100 %"}},
    {"contents just above 100",
     [](CaseFile& f) { ternary(f, "0 0.1 99.9001 0 0 0", "0.1 0.5 25 0 0 0"); },
     {"key D23", "sum to 100.0001 %"}},
    {"continuation content negative",
     [](CaseFile& f) {
       f.value("D2") = "3";
       f.value("D22") = "3";
       f.profile = {"0 20", "0.001 -1e-3", "0.002 30"};
     },
     {"key D23", "line 2 (\"0.001 -1e-3\")", "is -0.001 %"}},

    // ---- Kirkendall plane, minimal molar fraction, oxide constants ----
    {"kirkendall plane right of the sample",
     [](CaseFile& f) { f.value("D20") = "1 0.5"; },
     {"key D20", "position 0.5 cm", "from 0 to 0.002 cm"}},
    {"kirkendall plane left of the sample",
     [](CaseFile& f) {
       f.profile = {"0.001 20 0 0 0", "0.003 30 0 0 0"};
       f.value("D20") = "1 0.0005";
     },
     {"key D20", "position 0.0005 cm", "from 0.001 to 0.003 cm"}},
    {"minimal molar fraction negative",
     [](CaseFile& f) {
       writeLines("f.flx", {"0   0", "0   0"});
       f.value("D21") = "1 f.flx -0.001";
     },
     {"key D21", "fraction -0.001", "at least 0 and below 1/2"}},
    {"minimal molar fraction no composition can keep",
     [](CaseFile& f) {
       writeLines("f.flx", {"0   0", "0   0"});
       f.value("D21") = "1 f.flx 0.5";
     },
     {"key D21", "fraction 0.5", "below 1/2"}},
    {"oxide diffusivity zero",
     [](CaseFile& f) { oxidation(f, "0 8.97e-2 9.1e-14 0.21 1"); },
     {"key D21, boundary flux file ox.flx", "oxide diffusivity 0 cm^2/s must be positive"}},
    {"oxide molar concentration negative",
     [](CaseFile& f) { oxidation(f, "4.578e-14 -8.97e-2 9.1e-14 0.21 1"); },
     {"ox.flx", "oxide molar concentration -0.0897 mol/cm^3 must be positive"}},
    {"oxide pressure negative",
     [](CaseFile& f) { oxidation(f, "4.578e-14 8.97e-2 -9.1e-14 0.21 1"); },
     {"ox.flx", "oxide pressure p' -9.1", "at least 0"}},
    {"external pressure negative",
     [](CaseFile& f) { oxidation(f, "4.578e-14 8.97e-2 9.1e-14 -0.21 1"); },
     {"ox.flx", "external pressure p'' -0.21"}},
    {"flux multiplier negative",
     [](CaseFile& f) { oxidation(f, "4.578e-14 8.97e-2 9.1e-14 0.21 -1"); },
     {"ox.flx", "flux multiplier -1 must be at least 0"}},
};

void PrintTo(const MeaninglessCase& c, std::ostream* out) {
  *out << c.name;
}

class MeaninglessInput : public test::LoadFixture, public ::testing::WithParamInterface<MeaninglessCase> {};

TEST_P(MeaninglessInput, LoadsButIsRefusedBeforeTheRunWithTheKeyAndValue) {
  const MeaninglessCase& c = GetParam();
  CaseFile file;
  c.change(file);
  loadCase(file, "bad.dat");
  const std::string message = test::messageOf<InputError>([&] { model_.input.validate(); });
  EXPECT_EQ(message.rfind("bad.dat, key D", 0), 0u) << message;
  for (const auto& part : c.messageParts)
    EXPECT_NE(message.find(part), std::string::npos) << message << "\nmissing: " << part;
}

INSTANTIATE_TEST_SUITE_P(InputFiles, MeaninglessInput, ::testing::ValuesIn(kMeaningless), [](const auto& info) {
  std::string name;
  for (const char* c = info.param.name; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
});

using AcceptedInput = test::LoadFixture;

// The edges of what is accepted: nothing valid today may be refused.
TEST_F(AcceptedInput, EdgesOfTheAcceptedRangesAndBothSamplesPass) {
  const auto accepted = [&](void (*change)(CaseFile&)) {
    CaseFile file;
    change(file);
    loadCase(file, "edge.dat");
    try {
      model_.input.validate();
    } catch (const InputError& error) {
      return std::string(error.what());
    }
    return std::string();
  };
  // 0.1 % + 99.9 % leaves the last component -1.1e-16 after rounding.
  EXPECT_EQ(accepted([](CaseFile& f) { ternary(f, "0 0.1 99.9 0 0 0", "0.1 0.5 25 0 0 0"); }), "");
  EXPECT_EQ(accepted([](CaseFile& f) { f.profile = {"0 0 0 0 0", "0.002 100 0 0 0"}; }), "");
  EXPECT_EQ(accepted([](CaseFile& f) { f.value("D20") = "1 0.002"; }), "") << "at the declared right end";
  EXPECT_EQ(accepted([](CaseFile& f) { f.value("D11") = "6.587 0"; }), "") << "a component without volume";
  // A closed sample does not use the minimal molar fraction.
  EXPECT_EQ(accepted([](CaseFile& f) { f.value("D21") = "0 none.flx -1"; }), "");
  // An oxide constant given as a formula is evaluated during the run.
  EXPECT_EQ(accepted([](CaseFile& f) { oxidation(f, "4.578e-14*T/T 8.97e-2 9.1e-14 0.21 1"); }), "");
  EXPECT_EQ(accepted([](CaseFile& f) { f.value("D4") = "1e-300"; }), "");
  // Below the diagonal of a diffusivity matrix nothing is read; 0 above it
  // means no interaction; a formula may be negative somewhere only in the run.
  EXPECT_EQ(accepted([](CaseFile& f) {
              writeLines("m.dfv", {"# matrix", "1e-10 0", "-5 1e-10"});
              f.value("D9") = "1 m.dfv";
            }),
            "");
  EXPECT_EQ(accepted([](CaseFile& f) {
              writeLines("z.dfv", {"# 1", "0", "# 2", "-1e-10*N1/N1"});
              f.value("D9") = "0 z.dfv";
            }),
            "");
  for (const char* sample : {"interdiffusion.dat", "oxidation.dat"}) {
    model_.load(sample);
    EXPECT_NO_THROW(model_.input.validate()) << sample;
  }
}

}  // namespace
}  // namespace torvex
