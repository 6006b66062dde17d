#pragma once
// A bounded record of a run's accepted passes for the checks made at its end:
// the clock, the shift of the Kirkendall plane and the scale thickness. It
// holds every pass until it is full, then every second pass, then every
// fourth, and so on, so that its samples stay evenly spaced in pass count (as
// a fit over "the second half of the record" needs) and a run of any length
// keeps at most `capacity` of them; the latest pass is always held.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace torvex {

class PassSamples {
 public:
  // Enough for a log-log or a linear fit to settle to a few digits; a run of
  // fewer passes keeps each one.
  static constexpr std::size_t kDefaultCapacity = 4096;

  // capacity is rounded up to an even number of at least 2.
  explicit PassSamples(std::size_t capacity = kDefaultCapacity);

  void add(double time, double shift, double thickness);
  void clear();

  // The samples in pass order, the latest pass last.
  [[nodiscard]] std::vector<double> times() const;
  [[nodiscard]] std::vector<double> shifts() const;
  [[nodiscard]] std::vector<double> thickness() const;
  [[nodiscard]] std::size_t size() const { return kept_.size() + (latest_ ? 1 : 0); }
  [[nodiscard]] bool empty() const { return size() == 0; }
  // The passes added since the last clear.
  [[nodiscard]] std::uint64_t passes() const { return passes_; }
  // The time of the first pass held; NaN when empty.
  [[nodiscard]] double firstTime() const;
  // Whether the scale thickness grew from the first pass held to the latest
  // (by more than rounding): false for fewer than two passes.
  [[nodiscard]] bool thicknessGrew() const;

 private:
  struct Sample {
    double time;
    double shift;
    double thickness;
  };
  template <class Field>
  [[nodiscard]] std::vector<double> column(Field field) const;

  std::size_t capacity_;
  std::uint64_t stride_ = 1;  // kept_ holds the passes whose number is a multiple of it
  std::uint64_t passes_ = 0;
  std::vector<Sample> kept_;
  std::optional<Sample> latest_;  // the latest pass when kept_ does not hold it
};

}  // namespace torvex
