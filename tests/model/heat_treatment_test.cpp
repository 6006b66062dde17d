// Temperature schedules and output times as the user writes them: the T(t)
// they stand for, and every way they can be wrong.

#include "model/heat_treatment.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "support/test_files.h"

namespace torvex {
namespace {

const char* const kRampHoldStep =
    "time_s,T_K\n"
    "0,1073\n"
    "3600,1273\n"
    "7200,1273\n"
    "7200,1073\n";

// Linear between rows, constant outside, and from a step on the second row
// of the step; the corners are the row times, each once.
TEST(TemperatureSchedule, IsPiecewiseLinearWithStepsAndConstantEnds) {
  const TemperatureSchedule schedule = parseSchedule(kRampHoldStep, "ramp.csv");
  ASSERT_EQ(schedule.rows().size(), 4u);
  struct Case {
    double t, T;
  };
  for (const Case& c : std::vector<Case>{{-100, 1073},
                                         {0, 1073},
                                         {900, 1123},
                                         {1800, 1173},
                                         {3600, 1273},
                                         {5000, 1273},
                                         {7199.999, 1273},
                                         {7200, 1073},
                                         {1e9, 1073}})
    EXPECT_DOUBLE_EQ(schedule.temperatureAt(c.t), c.T) << "t = " << c.t;
  // Just before a step, the first row of the step holds.
  EXPECT_EQ(schedule.temperatureBefore(7200), 1273);
  EXPECT_DOUBLE_EQ(schedule.temperatureBefore(1800), 1173);
  EXPECT_EQ(schedule.temperatureBefore(0), 1073);
  EXPECT_EQ(schedule.temperatureBefore(8000), 1073);
  EXPECT_EQ(schedule.nextCorner(-1), 0);
  EXPECT_EQ(schedule.nextCorner(0), 3600);
  EXPECT_EQ(schedule.nextCorner(3599), 3600);
  EXPECT_EQ(schedule.nextCorner(3600), 7200);
  EXPECT_TRUE(std::isinf(schedule.nextCorner(7200)));

  const TemperatureSchedule single = parseSchedule("\xEF\xBB\xBFtime_s, T_K\r\n\r\n 5 , 900 \r\n", "one.csv");
  EXPECT_EQ(single.temperatureAt(0), 900);
  EXPECT_EQ(single.temperatureAt(50), 900);
  EXPECT_EQ(single.rows()[0].line, 3);
}

// Each refusal names the file, the line and the text of the line.
TEST(TemperatureSchedule, RefusesBadInputNamingFileLineAndText) {
  struct Case {
    const char* text;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"", "bad.csv: the schedule file is empty"},
      {"\n  \n", "bad.csv: the schedule file is empty"},
      {"time_s,T_K\n", "bad.csv: the schedule holds no row"},
      {"time,T\n0,1000\n", "bad.csv, line 1: 'time,T': the header must be time_s,T_K"},
      {"time_s,T_K\n0,1000\n10,hot\n", "bad.csv, line 3: '10,hot': the temperature is not a number"},
      {"time_s,T_K\n0,1000\n10,1000,5\n", "bad.csv, line 3: '10,1000,5': a row holds a time"},
      {"time_s,T_K\n0,1000\n10\n", "bad.csv, line 3: '10': a row holds a time"},
      {"time_s,T_K\nsoon,1000\n", "bad.csv, line 2: 'soon,1000': the time is not a number"},
      {"time_s,T_K\n0,1000\n10,0\n", "bad.csv, line 3: '10,0': the temperature must be above 0 K"},
      {"time_s,T_K\n0,-5\n", "bad.csv, line 2: '0,-5': the temperature must be above 0 K"},
      {"time_s,T_K\n0,nan\n", "bad.csv, line 2: '0,nan': the temperature is not a number"},
      {"time_s,T_K\n0,1000\n20,1100\n10,1200\n", "bad.csv, line 4: '10,1200': the times must increase (line 3"},
      {"time_s,T_K\n0,1000\n5,1100\n5,900\n5,800\n", "bad.csv, line 5: '5,800': a third row at the same time"},
      {"time_s,T_K\n0,1,000\n", "bad.csv, line 2: '0,1,000': a row holds a time"},
  };
  for (const Case& c : cases) {
    try {
      parseSchedule(c.text, "bad.csv");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const InputError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << "for " << c.text << "\nmessage: " << error.what();
    }
  }
  EXPECT_THROW(readScheduleFile("no-such-schedule.csv"), InputError);
}

// Rows given inline are checked as a file's rows, each refusal naming the
// line it stands on; the digest is that of the equivalent file, so a run
// from the inline rows and a run from that file record the same schedule.
TEST(TemperatureSchedule, InlineRowsAreCheckedAndDigestedAsTheirFile) {
  const std::vector<ScheduleRowText> rows = {{"0", "1073", 7, "[0, 1073]"},
                                             {"3600", "1273", 8, "[3600, 1273]"},
                                             {"7200", "1273", 9, "[7200, 1273]"},
                                             {"7200", "1073", 10, "[7200, 1073]"}};
  const TemperatureSchedule inline_ = scheduleFromRows(rows, "study.toml");
  const TemperatureSchedule file = parseSchedule(kRampHoldStep, "ramp.csv");
  EXPECT_EQ(scheduleCsv(rows), kRampHoldStep);
  EXPECT_EQ(inline_.sha256(), file.sha256());
  EXPECT_EQ(inline_.sha256().size(), 64u);
  EXPECT_EQ(inline_.rows()[3].line, 10);
  EXPECT_EQ(inline_.temperatureAt(1800), file.temperatureAt(1800));
  EXPECT_NE(parseSchedule("time_s,T_K\n0,1073\n", "a.csv").sha256(), file.sha256());

  const auto refusal = [](std::vector<ScheduleRowText> given) {
    try {
      scheduleFromRows(given, "study.toml");
    } catch (const InputError& error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(refusal({}).rfind("study.toml: the schedule holds no row", 0), 0u);
  EXPECT_EQ(refusal({{"0", "1073", 4, "[0, 1073]"}, {"-5", "1100", 5, "[-5, 1100]"}}),
            "study.toml, line 5: '[-5, 1100]': the times must increase (line 4 is at 0 s)");
  EXPECT_NE(refusal({{"0", "warm", 3, "[0, \"warm\"]"}}).find("line 3: '[0, \"warm\"]': the temperature is not"),
            std::string::npos);
}

// The hold over which the time laws apply begins after the last change of
// temperature inside the run, and never outside it.
TEST(TemperatureSchedule, TheFinalHoldBeginsAfterTheLastChangeWithinTheRun) {
  const std::vector<double> t = {0, 3600, 7200, 7200};
  const std::vector<double> T = {1073, 1273, 1273, 1073};
  EXPECT_EQ(isothermalFrom(t, T, 0, 10000), 7200);              // the step down
  EXPECT_EQ(isothermalFrom(t, T, 0, 5000), 3600);               // ends during the hold
  EXPECT_EQ(isothermalFrom(t, T, 0, 2000), 2000);               // ends during the ramp
  EXPECT_EQ(isothermalFrom(t, T, 8000, 9000), 8000);            // starts after every change
  EXPECT_EQ(isothermalFrom({0, 100}, {1000, 1000}, 5, 50), 5);  // flat
  EXPECT_EQ(isothermalFrom({}, {}, 5, 50), 5);
}

std::vector<double> bare(const std::vector<OutputTime>& times) {
  std::vector<double> values;
  for (const OutputTime& time : times) values.push_back(time.time);
  return values;
}

// A list, an even spacing whose last time is the stop itself, and a file.
TEST(OutputTimes, ReadsListsSpacingsAndFiles) {
  EXPECT_EQ(bare(parseOutputTimes("600, 1800,3600")), (std::vector<double>{600, 1800, 3600}));
  EXPECT_EQ(bare(parseOutputTimes("1e3")), (std::vector<double>{1000}));
  EXPECT_EQ(bare(parseOutputTimes("0:3600:7")), (std::vector<double>{0, 600, 1200, 1800, 2400, 3000, 3600}));
  const std::vector<double> thirds = bare(parseOutputTimes("0.1:0.7:4"));
  ASSERT_EQ(thirds.size(), 4u);
  EXPECT_EQ(thirds.back(), 0.7) << "the last time is the stop, whatever the rounding of the spacing";
  EXPECT_EQ(bare(parseOutputTimes("5:9:1")), (std::vector<double>{5}));
  EXPECT_EQ(bare(parseOutputTimes("10,60:180:3,200")), (std::vector<double>{10, 60, 120, 180, 200}));

  test::ScratchDirectory dir;
  test::writeBytes(dir.file("times.txt"), "100\n200,300\r\n\n400\n");
  EXPECT_EQ(bare(parseOutputTimes(dir.file("times.txt"))), (std::vector<double>{100, 200, 300, 400}));
  EXPECT_EQ(outputTimesWithin(parseOutputTimes("1,100"), 0, 100), (std::vector<double>{1, 100}));
}

// A spacing written from the start:stop:step or start:step:stop habit is
// refused with what it would mean and the spelling of what was meant; even
// spacings a person would write stay accepted.
TEST(OutputTimes, RefusesAnAmbiguousSpacingSpellingOutItsMeaning) {
  const auto messageOf = [](const std::string& text) {
    try {
      parseOutputTimes(text);
    } catch (const InputError& error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  const std::string habit = messageOf("3600:39600:3600");
  EXPECT_NE(habit.find("'3600:39600:3600' is read as start:stop:count, 3600 times from 3600 to 39600 s, 10.0028 s "
                       "apart"),
            std::string::npos)
      << habit;
  EXPECT_NE(habit.find("For every 3600 s from 3600 to 39600 s write 3600:39600:11."), std::string::npos) << habit;
  const std::string stepFirst = messageOf("0:600:3600");
  EXPECT_NE(stepFirst.find("For every 600 s from 0 to 3600 s write 0:3600:7."), std::string::npos) << stepFirst;
  const std::string countIsStop = messageOf("0:100:100");
  EXPECT_NE(countIsStop.find("100 times from 0 to 100 s"), std::string::npos) << countIsStop;
  EXPECT_EQ(countIsStop.find("For every 100 s"), countIsStop.rfind("For every 100 s")) << "one suggestion, once";
  EXPECT_NE(messageOf("0:100:4").find("33.3333 s apart (not an even step)"), std::string::npos);
  EXPECT_NE(messageOf("5,0:100:4").find("list the times"), std::string::npos);

  EXPECT_EQ(bare(parseOutputTimes("600:3600:6")), (std::vector<double>{600, 1200, 1800, 2400, 3000, 3600}));
  EXPECT_EQ(bare(parseOutputTimes("0:1:3")), (std::vector<double>{0, 0.5, 1}));
  EXPECT_EQ(bare(parseOutputTimes("1e-3:2e-3:11")).size(), 11u) << "small spacings are even too";
}

TEST(OutputTimes, RefusesBadInputNamingWhereItStands) {
  test::ScratchDirectory dir;
  test::writeBytes(dir.file("times.txt"), "100\n200,150\n");
  test::writeBytes(dir.file("junk.txt"), "100\nlater\n");
  test::writeBytes(dir.file("empty.txt"), "\n\n");
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"600,300", "--output-times: '300': the output times must increase"},
      {"600,600", "--output-times: '600': the output times must increase"},
      {"100,0:300:4", "--output-times: '0:300:4': the output times must increase (the one before is 100)"},
      {"0:3:62222000", "--output-times: '0:3:62222000': more than 10000 output times"},
      {"5,0:3e5:10000", "--output-times: '0:3e5:10000': more than 10000 output times"},
      {"0:100:0", "the count of start:stop:count must be a whole number >= 1"},
      {"0:100:2.5", "the count of start:stop:count must be a whole number >= 1"},
      {"100:0:3", "the stop of start:stop:count must come after its start"},
      {"a:100:3", "start and stop of start:stop:count must be times"},
      {"", "neither a list of times"},
      {"no-such-file", "--output-times: 'no-such-file': neither a list of times"},
      {dir.file("times.txt"), dir.file("times.txt") + ", line 2: '150': the output times must increase"},
      {dir.file("junk.txt"), dir.file("junk.txt") + ", line 2: 'later': not a time in seconds"},
      {dir.file("empty.txt"), "the output times file holds no time"},
  };
  for (const Case& c : cases) {
    try {
      parseOutputTimes(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const InputError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << "for " << c.text << "\nmessage: " << error.what();
    }
  }
  // Outside the run: at its start no pass ends, after its end none begins.
  for (const char* text : {"0", "-5", "100.5", "50,3600"}) {
    try {
      outputTimesWithin(parseOutputTimes(text), 0, 100);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const InputError& error) {
      EXPECT_NE(std::string(error.what()).find("lies outside the run, which goes from 0 s (excluded) to 100 s"),
                std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
}  // namespace torvex
