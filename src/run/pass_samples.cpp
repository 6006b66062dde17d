#include "run/pass_samples.h"

#include <cmath>
#include <limits>

namespace torvex {

PassSamples::PassSamples(std::size_t capacity) : capacity_(capacity < 2 ? 2 : capacity + capacity % 2) {
  kept_.reserve(capacity_);
}

void PassSamples::add(double time, double shift, double thickness) {
  const Sample sample{time, shift, thickness};
  const std::uint64_t number = passes_++;
  if (number % stride_ != 0) {
    latest_ = sample;
    return;
  }
  latest_.reset();
  kept_.push_back(sample);
  if (kept_.size() < capacity_) return;
  // Full: every second sample goes, the first stays, so the samples are
  // again the passes at multiples of the (doubled) stride.
  for (std::size_t k = 0; 2 * k < kept_.size(); ++k) kept_[k] = kept_[2 * k];
  kept_.resize(kept_.size() / 2);
  stride_ *= 2;
  // The pass just added sat at an odd place and went; it is the latest.
  latest_ = sample;
}

void PassSamples::clear() {
  stride_ = 1;
  passes_ = 0;
  kept_.clear();
  latest_.reset();
}

template <class Field>
std::vector<double> PassSamples::column(Field field) const {
  std::vector<double> values;
  values.reserve(size());
  for (const Sample& sample : kept_) values.push_back(sample.*field);
  if (latest_) values.push_back((*latest_).*field);
  return values;
}

std::vector<double> PassSamples::times() const {
  return column(&Sample::time);
}

std::vector<double> PassSamples::shifts() const {
  return column(&Sample::shift);
}

std::vector<double> PassSamples::thickness() const {
  return column(&Sample::thickness);
}

double PassSamples::firstTime() const {
  if (!kept_.empty()) return kept_.front().time;
  return latest_ ? latest_->time : std::numeric_limits<double>::quiet_NaN();
}

bool PassSamples::thicknessGrew() const {
  if (size() < 2) return false;
  const double first = kept_.front().thickness;
  const double last = latest_ ? latest_->thickness : kept_.back().thickness;
  return last - first > 1e-9 * std::fabs(last);
}

}  // namespace torvex
