#include "model/thermal_cycles.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "model/errors.h"
#include "model/formula.h"
#include "model/number_format.h"

namespace torvex {
namespace {

constexpr std::size_t kQuotedLength = 80;  // longest piece of a text quoted in a message
constexpr const char* kForm = "COUNT:HOT_S@T_HOT,COLD_S@T_COLD[,ramp=UP_S[/DOWN_S]]";

class Refusal {
 public:
  Refusal(const std::string& place, std::string_view text) : place_(place) {
    shown_ = std::string(text.substr(0, kQuotedLength));
    if (text.size() > kQuotedLength) shown_ += "...";
  }
  [[noreturn]] void operator()(const std::string& why) const {
    throw InputError(place_ + ": '" + shown_ + "': " + why);
  }

 private:
  const std::string& place_;
  std::string shown_;
};

// A duration in seconds: finite, above 0 s for a hold, at least 0 s for a ramp.
double duration(std::string_view text, const char* what, bool hold, const Refusal& refuse) {
  const std::optional<double> value = parseReal(text);
  if (!value || !std::isfinite(*value))
    refuse(std::string("the ") + what + " '" + std::string(text) + "' is not a number of seconds");
  if (hold && !(*value > 0)) refuse(std::string("the ") + what + " must last longer than 0 s");
  if (!hold && *value < 0) refuse(std::string("the ") + what + " cannot take less than 0 s");
  return *value;
}

double kelvins(std::string_view text, const char* what, const Refusal& refuse) {
  const std::optional<double> value = parseReal(text);
  if (!value || !std::isfinite(*value))
    refuse(std::string("the ") + what + " '" + std::string(text) + "' is not a number of kelvins");
  if (!(*value > 0)) refuse(std::string("the ") + what + " must be above 0 K");
  return *value;
}

// A hold "SECONDS@KELVINS".
std::pair<double, double> hold(std::string_view piece, const char* period, const char* temperature,
                               const Refusal& refuse) {
  const std::vector<std::string_view> parts = splitTrimmed(piece, '@');
  if (parts.size() != 2)
    refuse(std::string("the ") + period + " '" + std::string(piece) + "' must read SECONDS@KELVINS; the cycles read " +
           kForm);
  return {duration(parts[0], period, true, refuse), kelvins(parts[1], temperature, refuse)};
}

}  // namespace

ThermalCycles::ThermalCycles(long long count, double hotSeconds, double hotKelvin, double coldSeconds,
                             double coldKelvin, double heatingSeconds, double coolingSeconds, double start)
    : count_(count),
      hot_(hotSeconds),
      hotKelvin_(hotKelvin),
      cold_(coldSeconds),
      coldKelvin_(coldKelvin),
      heating_(heatingSeconds),
      cooling_(coolingSeconds),
      start_(start) {}

ThermalCycles ThermalCycles::startingAt(double start) const {
  return ThermalCycles(count_, hot_, hotKelvin_, cold_, coldKelvin_, heating_, cooling_, start);
}

double ThermalCycles::cycleStart(long long k) const {
  return start_ + static_cast<double>(k) * period();
}

double ThermalCycles::corner(long long k, int j) const {
  const double begin = cycleStart(k);
  const double next = cycleStart(k + 1);
  switch (j) {
    case 0: return begin;
    case 1: return std::min(begin + heating_, next);
    case 2: return std::min(begin + (heating_ + hot_), next);
    case 3: return std::min(begin + (heating_ + hot_ + cooling_), next);
    default: return next;
  }
}

long long ThermalCycles::cycleHolding(double t) const {
  const double cycles = (t - start_) / period();
  long long k = 0;
  if (cycles >= static_cast<double>(count_))
    k = count_ - 1;
  else if (cycles > 0)
    k = static_cast<long long>(cycles);
  // The quotient may round across a cycle's start; the starts decide.
  if (k > 0 && t < cycleStart(k))
    --k;
  else if (k + 1 < count_ && t >= cycleStart(k + 1))
    ++k;
  return k;
}

double ThermalCycles::temperatureInCycle(long long k, double t, bool before) const {
  const std::array<double, 5> at = {corner(k, 0), corner(k, 1), corner(k, 2), corner(k, 3), corner(k, 4)};
  const std::array<double, 5> T = {coldKelvin_, hotKelvin_, hotKelvin_, coldKelvin_, coldKelvin_};
  // The last corner at (or, for the left limit, strictly before) t begins the
  // segment t lies in; a ramp of 0 s is skipped, which makes it a step.
  int j = -1;
  for (int c = 0; c < 4; ++c)
    if (before ? at[c] < t : at[c] <= t) j = c;
  if (j < 0) return coldKelvin_;  // the left limit at a cycle's start: the cold hold before it
  const double span = at[j + 1] - at[j];
  if (!(span > 0)) return T[j + 1];
  // Weighted, not T0 + (T1 - T0) f: the difference of a huge and a small
  // temperature loses the small one, and the end of a ramp would come out at 0 K.
  const double f = std::clamp((t - at[j]) / span, 0.0, 1.0);
  return T[j] * (1 - f) + T[j + 1] * f;
}

double ThermalCycles::temperatureAt(double t) const {
  if (t < start_ || t >= end()) return coldKelvin_;
  return temperatureInCycle(cycleHolding(t), t, false);
}

double ThermalCycles::temperatureBefore(double t) const {
  if (t <= start_ || t > end()) return coldKelvin_;
  return temperatureInCycle(cycleHolding(t), t, true);
}

double ThermalCycles::nextCorner(double t) const {
  if (t < start_) return start_;
  if (!(t < end())) return std::numeric_limits<double>::infinity();
  const long long k = cycleHolding(t);
  for (int j = 1; j <= 4; ++j) {
    const double at = corner(k, j);
    if (at > t) return at;
  }
  return end();  // not reached: t lies before the next cycle's start
}

CyclePosition ThermalCycles::positionAt(double t) const {
  if (t < start_) return {0, CyclePhase::kBefore, t - start_};
  if (!(t < end())) return {count_, CyclePhase::kAfter, t - cycleStart(count_)};
  const long long k = cycleHolding(t);
  const double since = t - cycleStart(k);
  if (t < corner(k, 1)) return {k, CyclePhase::kHeating, since};
  if (t < corner(k, 2)) return {k, CyclePhase::kHot, since};
  if (t < corner(k, 3)) return {k, CyclePhase::kCooling, since};
  return {k, CyclePhase::kCold, since};
}

long long ThermalCycles::cycleCooledDownAt(double t) const {
  if (t < start_ || t > end()) return -1;
  const long long k = cycleHolding(t);
  if (corner(k, 3) == t) return k;
  if (k > 0 && corner(k - 1, 3) == t) return k - 1;  // a cooling that ends where the next cycle starts
  return -1;
}

long long ThermalCycles::coolDownsUpTo(double t) const {
  if (t < start_) return 0;
  if (!(t < end())) return count_;
  const long long k = cycleHolding(t);
  return corner(k, 3) <= t ? k + 1 : k;
}

double ThermalCycles::constantFrom(double start, double end) const {
  if (hotKelvin_ == coldKelvin_ || !(end > start_)) return start;
  // The changing segments (cooling, then heating) from the latest back: the
  // first that began before `end` is the last change.
  const long long k = cycleHolding(end);
  for (long long c = k; c >= 0 && c >= k - 1; --c)
    for (int j : {2, 0}) {
      const double from = corner(c, j);
      const double to = corner(c, j + 1);
      if (from < end) return to > start ? std::max(start, std::min(to, end)) : start;
    }
  return start;
}

std::string ThermalCycles::text() const {
  std::string text = formatInteger(count_) + ":" + formatShortest(hot_) + "@" + formatShortest(hotKelvin_) + "," +
                     formatShortest(cold_) + "@" + formatShortest(coldKelvin_);
  if (heating_ != 0 || cooling_ != 0) {
    text += ",ramp=" + formatShortest(heating_);
    if (cooling_ != heating_) text += "/" + formatShortest(cooling_);
  }
  return text;
}

ThermalCycles parseCycles(std::string_view text, const std::string& place, double start) {
  const Refusal refuse(place, text);
  const std::string_view trimmed = trimmedView(text);
  const auto colon = trimmed.find(':');
  if (colon == std::string_view::npos) refuse(std::string("the cycles read ") + kForm);
  const std::string_view countText = trimmedView(trimmed.substr(0, colon));
  const std::optional<int> count = parseInteger(countText);
  if (!count || *count < 1 || *count > kMaxCycles)
    refuse("the count '" + std::string(countText) + "' is not a whole number of cycles from 1 to " +
           formatInteger(kMaxCycles));

  const std::vector<std::string_view> pieces = splitTrimmed(trimmed.substr(colon + 1), ',');
  if (pieces.size() != 2 && pieces.size() != 3) refuse(std::string("the cycles read ") + kForm);
  const auto [hot, hotKelvin] = hold(pieces[0], "hot hold", "hot temperature", refuse);
  const auto [cold, coldKelvin] = hold(pieces[1], "cold hold", "cold temperature", refuse);
  if (hotKelvin < coldKelvin)
    refuse("the hot temperature (" + formatGeneral(hotKelvin) + " K) is below the cold one (" +
           formatGeneral(coldKelvin) + " K): the hot hold comes first");
  double heating = 0;
  double cooling = 0;
  if (pieces.size() == 3) {
    const std::string_view ramp = pieces[2];
    const std::vector<std::string_view> keyAndTimes = splitTrimmed(ramp, '=');
    const std::vector<std::string_view> times =
        keyAndTimes.size() == 2 ? splitTrimmed(keyAndTimes[1], '/') : std::vector<std::string_view>{};
    if (keyAndTimes.size() != 2 || keyAndTimes[0] != "ramp" || times.size() > 2)
      refuse("'" + std::string(ramp) + "' is not ramp=UP_S or ramp=UP_S/DOWN_S");
    heating = duration(times[0], "heating ramp", false, refuse);
    cooling = times.size() == 2 ? duration(times[1], "cooling ramp", false, refuse) : heating;
  }

  const ThermalCycles cycles(*count, hot, hotKelvin, cold, coldKelvin, heating, cooling, start);
  // The last cycle's holds must still be told apart from its corners in a
  // double: a run lands on every corner and spalls the scale at each cool-down.
  if (!std::isfinite(cycles.end())) refuse("the cycles would last longer than any run can");
  const double last = cycles.end() - cycles.period();
  if (!(last + (heating + hot) > last + heating) || !(cycles.end() > last + (heating + hot + cooling)))
    refuse("the cycles end at " + formatGeneral(cycles.end()) + " s, where their holds can no longer be told apart");
  return cycles;
}

}  // namespace torvex
