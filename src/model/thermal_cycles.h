#pragma once
// Thermal cycling as a furnace or burner-rig test runs it: COUNT cycles, each
// a heating ramp, a hot hold, a cooling ramp and a cold hold. The cycles are
// kept as their description, never as rows, so that 10 000 cycles cost what
// one does; T(t), the next corner and the cycle a time falls in are found in
// constant time.
//
//   1000:3600@1373,600@300                 1000 cycles of 3600 s at 1373 K and 600 s at 300 K (steps)
//   1000:3600@1373,600@300,ramp=300        the same with 300 s ramps up and down, in addition to the holds
//   1000:3600@1373,600@300,ramp=300/900    300 s heating, 900 s cooling
//
// A cycle begins with its heating ramp from the cold to the hot temperature
// (a step when the ramp takes 0 s). Before the first cycle the temperature is
// the cold one, after the last cycle it stays there.

#include <limits>
#include <string>
#include <string_view>

namespace torvex {

// Where in a cycle a time falls.
enum class CyclePhase { kBefore, kHeating, kHot, kCooling, kCold, kAfter };

struct CyclePosition {
  long long cycle = 0;  // 0-based cycle index; for kBefore 0, for kAfter the count
  CyclePhase phase = CyclePhase::kBefore;
  double sinceCycleStart = 0;  // s
};

class ThermalCycles {
 public:
  // The cycles as described, starting at `start` (s). Durations in s,
  // temperatures in K; checked by parseCycles, not here.
  ThermalCycles(long long count, double hotSeconds, double hotKelvin, double coldSeconds, double coldKelvin,
                double heatingSeconds = 0, double coolingSeconds = 0, double start = 0);

  [[nodiscard]] long long count() const { return count_; }
  [[nodiscard]] double hotSeconds() const { return hot_; }
  [[nodiscard]] double hotKelvin() const { return hotKelvin_; }
  [[nodiscard]] double coldSeconds() const { return cold_; }
  [[nodiscard]] double coldKelvin() const { return coldKelvin_; }
  [[nodiscard]] double heatingSeconds() const { return heating_; }
  [[nodiscard]] double coolingSeconds() const { return cooling_; }
  // The length of one cycle, the holds and the ramps (s).
  [[nodiscard]] double period() const { return heating_ + hot_ + cooling_ + cold_; }
  [[nodiscard]] double start() const { return start_; }
  // When the last cycle ends (s).
  [[nodiscard]] double end() const { return cycleStart(count_); }
  // The same cycles starting at another time.
  [[nodiscard]] ThermalCycles startingAt(double start) const;

  // T (K) at time t; at a step, the temperature after it.
  [[nodiscard]] double temperatureAt(double t) const;
  // T (K) just before time t (differs from temperatureAt only at a step).
  [[nodiscard]] double temperatureBefore(double t) const;
  // The earliest corner strictly after t: a cycle's start, the end of its
  // heating, the end of its hot hold, the end of its cooling, or the end of
  // the last cycle; +infinity when none is left.
  [[nodiscard]] double nextCorner(double t) const;
  [[nodiscard]] CyclePosition positionAt(double t) const;

  // The time at which cycle k (0-based) has cooled down: the end of its
  // cooling ramp, where a scale that spalls on cooling has spalled. With no
  // ramp it is the end of the hot hold. A pass that lands there lands on
  // exactly this value: nextCorner returns it.
  [[nodiscard]] double coolDownEnd(long long k) const { return corner(k, 3); }
  // The cycle that has cooled down exactly at t (t as nextCorner gave it),
  // or -1 when t is no such time.
  [[nodiscard]] long long cycleCooledDownAt(double t) const;
  // The number of cool-downs completed at or before t.
  [[nodiscard]] long long coolDownsUpTo(double t) const;

  // The time from which T stays constant up to `end`: the end of the last
  // ramp or step that began before `end`, but not before `start` (as
  // isothermalFrom says for a schedule's rows). The time laws of a run hold
  // only after it.
  [[nodiscard]] double constantFrom(double start, double end) const;

  // The description as parseCycles reads it (shortest round-trip numbers).
  [[nodiscard]] std::string text() const;

 private:
  [[nodiscard]] double cycleStart(long long k) const;
  // Corner j of cycle k: 0 the start, 1 the end of heating, 2 the end of the
  // hot hold, 3 the end of cooling, 4 the start of the next cycle. Every
  // caller forms corners here, so a time compared with one is compared with
  // the same double.
  [[nodiscard]] double corner(long long k, int j) const;
  // The cycle whose span [start, next start) holds t, clamped to the cycles.
  [[nodiscard]] long long cycleHolding(double t) const;
  // T in cycle k between its corners; `before`: the left limit at a corner.
  [[nodiscard]] double temperatureInCycle(long long k, double t, bool before) const;

  long long count_;
  double hot_, hotKelvin_, cold_, coldKelvin_, heating_, cooling_, start_;
};

// Most cycles a description may ask for: the cycle index times the period
// must stay exact in a double.
inline constexpr long long kMaxCycles = 1000000000;

// Reads COUNT:HOT_S@T_HOT,COLD_S@T_COLD[,ramp=UP_S[/DOWN_S]] (blanks around
// the pieces allowed). Throws InputError naming `place` ("--cycles", "study.toml,
// line 4"), the text and what is wrong: a count that is not a whole number
// from 1 to kMaxCycles, a hold that does not last longer than 0 s, a ramp
// shorter than 0 s, a duration or temperature that is not a finite number,
// a temperature not above 0 K, a hot temperature below the cold one, or
// cycles that would end beyond any time a run can reach.
ThermalCycles parseCycles(std::string_view text, const std::string& place, double start = 0);

}  // namespace torvex
