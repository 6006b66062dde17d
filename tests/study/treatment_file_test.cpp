// The heat treatment kept beside a data file: what is written reads back as
// the same settings, what cannot be read is refused with the file, the line,
// the key and the text, and the settings give the run what the same
// torvex-batch options give it.

#include "study/treatment_file.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/heat_treatment.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::messageOf;
using test::ScratchDirectory;
using test::writeBytes;

TreatmentSettings everySetting(const std::string& schedule) {
  TreatmentSettings s;
  s.schedule = schedule;
  s.cycles = "100:3600@1373,600@300,ramp=300/900";
  s.spall = "0.005,1";
  s.oxide = "1.5,15.999";
  s.critical = "min(N1)<0.04";
  s.receding = true;
  return s;
}

TEST(TreatmentFile, SideFileIsNamedAfterTheDataFile) {
  EXPECT_EQ(treatmentFileOf("datafil.dat"), "datafil.treatment.toml");
  EXPECT_EQ(treatmentFileOf("/w/runs/a.b.dat"), "/w/runs/a.b.treatment.toml");
  EXPECT_EQ(treatmentFileOf("couple"), "couple.treatment.toml");
}

// A schedule beside the side file (or below it) is written relative, so
// the folder can move; one elsewhere keeps its full path. Names with quotes,
// backslashes and non-ASCII letters survive the TOML escaping.
TEST(TreatmentFile, WhatIsWrittenReadsBackAsTheSameSettings) {
  ScratchDirectory dir;
  const std::string side = dir.file("couple.treatment.toml");
  for (const std::string& schedule :
       {dir.file("anneal.csv"), dir.file("sched/ramp \"fast\" \\ Glühen.csv"), std::string("/elsewhere/anneal.csv")}) {
    const TreatmentSettings written = everySetting(schedule);
    const std::string text = treatmentText(written, side);
    EXPECT_EQ(parseTreatment(text, side), written) << text;
  }
  EXPECT_NE(treatmentText(everySetting(dir.file("anneal.csv")), side).find("schedule = \"anneal.csv\"\n"),
            std::string::npos);
  EXPECT_NE(treatmentText(everySetting("/elsewhere/anneal.csv"), side).find("schedule = \"/elsewhere/anneal.csv\""),
            std::string::npos);

  // Only what is given is written; nothing given reads back as none.
  TreatmentSettings cyclesOnly;
  cyclesOnly.cycles = "10:3600@1373,600@300";
  EXPECT_EQ(parseTreatment(treatmentText(cyclesOnly, side), side), cyclesOnly);
  EXPECT_EQ(treatmentText(cyclesOnly, side).find("receding ="), std::string::npos);
  EXPECT_TRUE(parseTreatment(treatmentText(TreatmentSettings{}, side), side).empty());

  // A file written by hand: a relative name is beside the side file, a
  // number stands for its text as in the study files.
  const TreatmentSettings byHand =
      parseTreatment("schedule = \"pre.csv\"\r\noxide = 1.5\nspall = 0\nreceding = false\n", side);
  EXPECT_EQ(byHand.schedule, dir.file("pre.csv"));
  EXPECT_EQ(byHand.oxide, "1.5");
  EXPECT_EQ(byHand.spall, "0");
  EXPECT_FALSE(byHand.receding);
}

TEST(TreatmentFile, RefusalsNameTheFileTheLineTheKeyAndTheText) {
  const std::string side = "/w/couple.treatment.toml";
  const auto refusal = [&](const std::string& text) {
    return messageOf<InputError>([&] { parseTreatment(text, side); });
  };
  // Each setting is checked by its option's parser, at its own line.
  EXPECT_EQ(refusal("# cycling\ncycles = \"0:3600@1373,600@300\"\n")
                .rfind("/w/couple.treatment.toml, line 2, cycles: '0:3600@1373,600@300': ", 0),
            0u);
  EXPECT_EQ(refusal("\n\ncritical = \"N1<4\"\n"),
            "/w/couple.treatment.toml, line 3, critical: 'N1<4': the value must be a molar fraction between 0 and 1, "
            "both excluded (a fraction, not a percentage)");
  EXPECT_EQ(refusal("spall = \"-0.1\"").rfind("/w/couple.treatment.toml, line 1, spall: '-0.1': ", 0), 0u);
  EXPECT_EQ(refusal("oxide = \"0\"").rfind("/w/couple.treatment.toml, line 1, oxide: '0': ", 0), 0u);
  // TOML that does not parse: the line and its text.
  const std::string broken = refusal("cycles = \"10:3600@1373,600@300\"\nspall = 0.005,1\n");
  EXPECT_EQ(broken.rfind("/w/couple.treatment.toml, line 2: 'spall = 0.005,1': ", 0), 0u) << broken;
  EXPECT_EQ(refusal("cycles = \"10:3600@1373").rfind("/w/couple.treatment.toml, line 1: 'cycles = \"10:3600@1373'", 0),
            0u);
  // Keys and types.
  EXPECT_EQ(refusal("cycle = \"10:3600@1373,600@300\""),
            "/w/couple.treatment.toml, line 1, 'cycle': not a heat-treatment setting (schedule, cycles, spall, oxide, "
            "critical, receding)");
  EXPECT_EQ(refusal("receding = 1"), "/w/couple.treatment.toml, line 1, receding: needs true or false");
  EXPECT_EQ(refusal("critical = [\"N1<0.04\"]"),
            "/w/couple.treatment.toml, line 1, critical: needs a text as the option --critical takes it");
  EXPECT_EQ(refusal("schedule = \"pre\\u0000.csv\""),
            "/w/couple.treatment.toml, line 1, schedule: a file name holds no control characters");
  EXPECT_EQ(refusal("schedule = 5"), "/w/couple.treatment.toml, line 1, schedule: needs the name of a schedule file");
  EXPECT_EQ(refusal("schedule = \"  \""),
            "/w/couple.treatment.toml, line 1, schedule: is empty; leave the key out for none");
}

TEST(TreatmentFile, ReaderRefusesWhatIsNoSideFile) {
  ScratchDirectory dir;
  EXPECT_NE(messageOf<InputError>([&] { readTreatmentFile(dir.file("none.treatment.toml")); }).find("none.treatment"),
            std::string::npos);
  EXPECT_NE(messageOf<InputError>([&] { readTreatmentFile(dir.path().string()); }), "");
  writeBytes(dir.file("big.treatment.toml"), "# " + std::string(kMaxTreatmentFileBytes, 'x') + "\n");
  EXPECT_NE(messageOf<InputError>([&] { readTreatmentFile(dir.file("big.treatment.toml")); }).find("big.treatment"),
            std::string::npos);
}

// The run follows the schedule rows, then the cycles, with the life settings
// as the options give them.
TEST(TreatmentFile, RunGetsTheScheduleTheCyclesAndTheLifeSettings) {
  ScratchDirectory dir;
  writeBytes(dir.file("pre.csv"), "time_s,T_K\n0,900\n3600,1373\n");
  const TreatmentSettings settings = everySetting(dir.file("pre.csv"));
  const HeatTreatment heat = heatTreatmentOf(settings, 0, {});
  ASSERT_NE(heat.schedule, nullptr);
  EXPECT_EQ(heat.schedule->rows().size(), 2u);
  ASSERT_TRUE(heat.schedule->cycles().has_value());
  EXPECT_EQ(heat.schedule->cycles()->start(), 3600) << "the cycles follow the schedule's last row";
  EXPECT_EQ(heat.schedule->cycles()->text(), settings.cycles);
  EXPECT_EQ(heat.schedule->temperatureAt(1800), 1136.5);
  EXPECT_TRUE(heat.life.hasCycles && heat.life.hasSpall && heat.life.hasOxide && heat.life.hasCritical);
  EXPECT_EQ(heat.life.spall.text(), "0.005,1");
  EXPECT_EQ(heat.life.critical.text(), "min(N1)<0.04");
  EXPECT_TRUE(heat.life.receding);

  // Without a schedule the cycles start with the run; no settings, no heat
  // treatment at all.
  TreatmentSettings cycles;
  cycles.cycles = "3:60@1373,60@300";
  EXPECT_EQ(heatTreatmentOf(cycles, 50, {}).schedule->cycles()->start(), 50);
  const HeatTreatment none = heatTreatmentOf(TreatmentSettings{}, 0, {});
  EXPECT_EQ(none.schedule, nullptr);
  EXPECT_FALSE(none.life.hasCycles || none.life.hasSpall || none.life.hasOxide || none.life.hasCritical ||
               none.life.receding);

  // A schedule file that went missing is named when the run starts.
  EXPECT_NE(messageOf<InputError>([&] { heatTreatmentOf(everySetting(dir.file("gone.csv")), 0, {}); }).find("gone.csv"),
            std::string::npos);
}

}  // namespace
}  // namespace torvex
