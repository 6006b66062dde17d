// Thermal cycles as the user writes them: the T(t) they stand for, the
// corners a run must land on, the cool-downs at which a scale spalls, the
// schedule they follow, and every way the description can be wrong.

#include "model/thermal_cycles.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/heat_treatment.h"

namespace torvex {
namespace {

// Two cycles with steps: hot 0 .. 100 s, cold 100 .. 130 s; hot 130 .. 230 s, cold 230 .. 260 s.
TEST(ThermalCycles, StepsBetweenHotAndColdHolds) {
  const ThermalCycles cycles = parseCycles("2:100@1373,30@300", "--cycles");
  EXPECT_EQ(cycles.period(), 130);
  EXPECT_EQ(cycles.end(), 260);
  struct Case {
    double t, at, before;
  };
  for (const Case& c : std::vector<Case>{{-5, 300, 300},
                                         {0, 1373, 300},  // the first heating is a step
                                         {50, 1373, 1373},
                                         {100, 300, 1373},  // the cool-down step
                                         {129.9, 300, 300},
                                         {130, 1373, 300},
                                         {230, 300, 1373},
                                         {260, 300, 300},
                                         {1e6, 300, 300}}) {
    EXPECT_EQ(cycles.temperatureAt(c.t), c.at) << "t = " << c.t;
    EXPECT_EQ(cycles.temperatureBefore(c.t), c.before) << "t = " << c.t;
  }
  // Every corner once, each strictly after the time asked about.
  std::vector<double> corners;
  for (double t = -1; !std::isinf(t); t = cycles.nextCorner(t)) corners.push_back(t);
  EXPECT_EQ(corners, (std::vector<double>{-1, 0, 100, 130, 230, 260}));
}

// Ramps come in addition to the holds: 10 s up, 100 s hot, 20 s down, 30 s cold.
TEST(ThermalCycles, RampsAreLinearAndAddToThePeriod) {
  const ThermalCycles cycles = parseCycles(" 3 : 100 @ 1300 , 30 @ 300 , ramp = 10 / 20 ", "--cycles", 1000);
  EXPECT_EQ(cycles.period(), 160);
  EXPECT_EQ(cycles.start(), 1000);
  EXPECT_EQ(cycles.temperatureAt(1000), 300);
  EXPECT_DOUBLE_EQ(cycles.temperatureAt(1005), 800);
  EXPECT_EQ(cycles.temperatureAt(1010), 1300);
  EXPECT_EQ(cycles.temperatureAt(1110), 1300);
  EXPECT_DOUBLE_EQ(cycles.temperatureAt(1115), 1050);
  EXPECT_EQ(cycles.temperatureAt(1130), 300);
  EXPECT_DOUBLE_EQ(cycles.temperatureBefore(1165), 800) << "continuous: the left limit is the value";
  std::vector<double> corners;
  for (double t = 1000; t < 1400; t = cycles.nextCorner(t)) corners.push_back(t);
  EXPECT_EQ(corners, (std::vector<double>{1000, 1010, 1110, 1130, 1160, 1170, 1270, 1290, 1320, 1330}));

  EXPECT_EQ(cycles.positionAt(999).phase, CyclePhase::kBefore);
  EXPECT_EQ(cycles.positionAt(1001).phase, CyclePhase::kHeating);
  EXPECT_EQ(cycles.positionAt(1170).phase, CyclePhase::kHot);
  const CyclePosition cooling = cycles.positionAt(1180 + 100);
  EXPECT_EQ(cooling.cycle, 1);
  EXPECT_EQ(cooling.phase, CyclePhase::kCooling);
  EXPECT_DOUBLE_EQ(cooling.sinceCycleStart, 120);
  EXPECT_EQ(cycles.positionAt(1300).phase, CyclePhase::kCold);
  EXPECT_EQ(cycles.positionAt(1480).phase, CyclePhase::kAfter);
  EXPECT_EQ(cycles.positionAt(1480).cycle, 3);
}

// The scale spalls where a cycle has cooled down: the end of the cooling ramp,
// or of the hot hold without one. A pass lands there on the very double
// nextCorner gave, and only there is a cool-down recognised.
TEST(ThermalCycles, CoolDownsAreRecognisedExactlyWhereRunsLand) {
  const ThermalCycles ramped = parseCycles("3:100@1300,30@300,ramp=10/20", "--cycles", 1000);
  EXPECT_EQ(ramped.coolDownEnd(0), 1130);
  EXPECT_EQ(ramped.cycleCooledDownAt(1130), 0);
  EXPECT_EQ(ramped.cycleCooledDownAt(1290), 1);
  EXPECT_EQ(ramped.cycleCooledDownAt(1110), -1) << "the end of the hot hold is not yet cool";
  EXPECT_EQ(ramped.cycleCooledDownAt(1130.000001), -1);
  EXPECT_EQ(ramped.coolDownsUpTo(1129), 0);
  EXPECT_EQ(ramped.coolDownsUpTo(1130), 1);
  EXPECT_EQ(ramped.coolDownsUpTo(5000), 3);

  // 10 000 one-hour cycles with odd durations: walking corner to corner
  // meets each cool-down once, in order, and the description stays small.
  const ThermalCycles burnerRig = parseCycles("10000:3600.1@1373.15,599.7@300,ramp=0.3/120.9", "--cycles", 17.1);
  EXPECT_LE(sizeof(burnerRig), 96u);
  long long expected = 0;
  for (double t = burnerRig.start(); !std::isinf(t); t = burnerRig.nextCorner(t)) {
    const long long k = burnerRig.cycleCooledDownAt(t);
    if (k < 0) continue;
    ASSERT_EQ(k, expected) << "at t = " << t;
    ++expected;
  }
  EXPECT_EQ(expected, 10000);
  // Far into the cycles, T(t) is the same as in the first.
  const double late = burnerRig.coolDownEnd(9876) - 60;
  EXPECT_NEAR(burnerRig.temperatureAt(late), burnerRig.temperatureAt(burnerRig.coolDownEnd(0) - 60), 1e-6);
}

// Every refusal names the option, the text and what is wrong.
TEST(ThermalCycles, RefusesBadDescriptions) {
  struct Case {
    const char* text;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"", "the cycles read COUNT:HOT_S@T_HOT,COLD_S@T_COLD"},
      {"3600@1373,600@300", "the cycles read COUNT:"},
      {"0:3600@1373,600@300", "the count '0' is not a whole number of cycles from 1 to 1000000000"},
      {"2.5:3600@1373,600@300", "the count '2.5'"},
      {"1000:3600@1373", "the cycles read COUNT:"},
      {"1000:3600@1373,600@300,ramp=1,2", "the cycles read COUNT:"},
      {"1000:0@1373,600@300", "the hot hold must last longer than 0 s"},
      {"1000:3600@1373,-600@300", "the cold hold must last longer than 0 s"},
      {"1000:3600@1373,600@300,ramp=-5", "the heating ramp cannot take less than 0 s"},
      {"1000:3600@1373,600@300,ramp=5/-1", "the cooling ramp cannot take less than 0 s"},
      {"1000:3600@1373,600@300,ramp=5/6/7", "is not ramp=UP_S or ramp=UP_S/DOWN_S"},
      {"1000:3600@1373,600@300,slope=5", "'slope=5' is not ramp=UP_S"},
      {"1000:1h@1373,600@300", "the hot hold '1h' is not a number of seconds"},
      {"1000:3600@hot,600@300", "the hot temperature 'hot' is not a number of kelvins"},
      {"1000:3600,600@300", "the hot hold '3600' must read SECONDS@KELVINS"},
      {"1000:3600@1373,600@0", "the cold temperature must be above 0 K"},
      {"1000:3600@300,600@1373", "the hot temperature (300 K) is below the cold one (1373 K)"},
      {"1000:inf@1373,600@300", "is not a number of seconds"},
      {"1000:1e306@1373,1e306@300", "the cycles would last longer than any run can"},
      {"1000000000:1e-9@1373,1@300", "where their holds can no longer be told apart"},
  };
  for (const Case& c : cases) {
    try {
      parseCycles(c.text, "--cycles");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const InputError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind(std::string("--cycles: '") + c.text, 0), 0u) << message;
      EXPECT_NE(message.find(c.message), std::string::npos) << "for " << c.text << "\nmessage: " << message;
    }
  }
}

// A pre-oxidation schedule, then the cycles from its last row on: the run
// asks the combined schedule the same three questions as a plain one.
TEST(ThermalCycles, FollowALeadingSchedule) {
  const TemperatureSchedule preOxidation = parseSchedule("time_s,T_K\n0,300\n100,1273\n1100,1273\n", "pre.csv");
  const TemperatureSchedule schedule =
      TemperatureSchedule::withCycles(&preOxidation, parseCycles("2:50@1373,20@400", "--cycles"), 0);
  ASSERT_TRUE(schedule.cycles().has_value());
  EXPECT_EQ(schedule.cycles()->start(), 1100);
  EXPECT_EQ(schedule.rows().size(), 3u);
  EXPECT_EQ(schedule.source(), "pre.csv");
  EXPECT_DOUBLE_EQ(schedule.temperatureAt(50), 786.5);
  EXPECT_EQ(schedule.temperatureAt(1099), 1273);
  EXPECT_EQ(schedule.temperatureBefore(1100), 1273) << "the pre-oxidation up to the cycles' start";
  EXPECT_EQ(schedule.temperatureAt(1100), 1373);
  EXPECT_EQ(schedule.temperatureAt(1160), 400);
  EXPECT_EQ(schedule.temperatureAt(5000), 400);
  std::vector<double> corners;
  for (double t = -1; !std::isinf(t); t = schedule.nextCorner(t)) corners.push_back(t);
  EXPECT_EQ(corners, (std::vector<double>{-1, 0, 100, 1100, 1150, 1170, 1220, 1240}));

  // The time laws of a run hold from the last change of temperature on.
  EXPECT_EQ(schedule.constantFrom(0, 1000), 100) << "the pre-oxidation's hold";
  EXPECT_EQ(schedule.constantFrom(0, 1120), 1100) << "the step onto the cycles";
  EXPECT_EQ(schedule.constantFrom(0, 1160), 1150) << "the cold hold after the first cool-down";
  EXPECT_EQ(schedule.constantFrom(0, 1200), 1170) << "the second hot hold";
  EXPECT_EQ(schedule.constantFrom(0, 9000), 1220) << "after the last cool-down";
  EXPECT_EQ(schedule.constantFrom(1230, 9000), 1230) << "no change within the run";
  const ThermalCycles ramped = parseCycles("3:100@1300,30@300,ramp=10/20", "--cycles", 1000);
  EXPECT_EQ(ramped.constantFrom(0, 1120), 1120) << "while cooling, T changes up to the end";
  EXPECT_EQ(ramped.constantFrom(0, 1140), 1130);
  EXPECT_EQ(ramped.constantFrom(0, 1165), 1165) << "while heating";
  EXPECT_EQ(ramped.constantFrom(0, 999), 0) << "before the cycles";

  // Cycles alone start at the run's start.
  const TemperatureSchedule alone =
      TemperatureSchedule::withCycles(nullptr, parseCycles("1:50@1373,20@400", "--cycles"), 30);
  EXPECT_TRUE(alone.rows().empty());
  EXPECT_EQ(alone.temperatureBefore(30), 400);
  EXPECT_EQ(alone.temperatureAt(30), 1373);
  EXPECT_EQ(alone.nextCorner(30), 80);
  EXPECT_EQ(alone.temperatureAt(0), 400);
}

}  // namespace
}  // namespace torvex
