// Fuzz target: reading a temperature schedule and a file of output times.
//
// The input holds two pieces separated by a NUL byte: the schedule CSV text
// and the text of an output-times file. Whatever the bytes, each is either
// read or refused with an InputError. A schedule read has rows of finite,
// never decreasing times (at most two at one time) and finite temperatures
// above 0 K, and its T(t) stays between the lowest and the highest row
// temperature; output times read are finite and increasing.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "fuzz_support.h"
#include "model/errors.h"
#include "model/heat_treatment.h"

namespace {

using namespace torvex;

void checkSchedule(const TemperatureSchedule& schedule) {
  const auto& rows = schedule.rows();
  if (rows.empty()) std::abort();
  double lowest = std::numeric_limits<double>::infinity();
  double highest = 0;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const ScheduleRow& row = rows[k];
    if (!std::isfinite(row.time) || !std::isfinite(row.temperature) || !(row.temperature > 0)) std::abort();
    if (k > 0 && rows[k - 1].time > row.time) std::abort();
    if (k > 1 && rows[k - 2].time == row.time) std::abort();
    lowest = std::min(lowest, row.temperature);
    highest = std::max(highest, row.temperature);
  }
  // Between and around the rows, and at each corner from both sides.
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const double t = rows[k].time;
    const double next = k + 1 < rows.size() ? rows[k + 1].time : t + 1;
    for (double at : {t, t - 1, t + (next - t) / 3})
      for (double T : {schedule.temperatureAt(at), schedule.temperatureBefore(at)})
        if (!(T >= lowest * (1 - 1e-12) && T <= highest * (1 + 1e-12))) std::abort();
    if (!(schedule.nextCorner(t) > t)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pieces = fuzz::splitInput(data, size, 2);
  try {
    checkSchedule(parseSchedule(pieces.empty() ? std::string_view() : pieces[0], "schedule.csv"));
  } catch (const InputError&) {
  }
  if (pieces.size() < 2) return 0;
  fuzz::WorkingDirectoryScope scope(fuzz::scratchDirectory());
  fuzz::writeFile("times.txt", pieces[1]);
  try {
    const std::vector<OutputTime> times = parseOutputTimes("times.txt");
    if (times.empty()) std::abort();
    for (std::size_t k = 0; k < times.size(); ++k) {
      if (!std::isfinite(times[k].time)) std::abort();
      if (k > 0 && !(times[k].time > times[k - 1].time)) std::abort();
    }
  } catch (const InputError&) {
  }
  return 0;
}
