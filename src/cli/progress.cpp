#include "cli/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/number_format.h"

namespace torvex {

namespace {

constexpr std::chrono::milliseconds kBarInterval{200};
constexpr std::chrono::seconds kLineInterval{10};
constexpr int kBarWidth = 20;

std::string fixed(double value, int decimals) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return std::string(buffer, result.ptr);
}

std::string twoDigits(long long value) {
  return (value < 10 ? "0" : "") + formatInteger(value);
}

// Share of the simulated time span covered, 0 .. 1.
double fractionDone(const Case& c, const RunState& s) {
  const double span = c.endTime - c.startTime;
  if (!(span > 0)) return 1.0;
  const double done = (s.currentTime - c.startTime) / span;
  return std::isfinite(done) ? std::fmin(std::fmax(done, 0.0), 1.0) : 0.0;
}

// Columns of the terminal on standard error; a bar longer than that would
// wrap and could no longer be redrawn in place.
std::size_t terminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::string formatDuration(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return "?";
  if (seconds < 60) return fixed(seconds, 1) + " s";
  const auto whole = static_cast<long long>(seconds);
  if (whole < 3600) return formatInteger(whole / 60) + " min " + twoDigits(whole % 60) + " s";
  return formatInteger(whole / 3600) + " h " + twoDigits(whole / 60 % 60) + " min";
}

ProgressReporter::ProgressReporter(ProgressStyle style, std::FILE* out)
    : style_(style), out_(out), start_(std::chrono::steady_clock::now()), lastReport_(start_) {}

double ProgressReporter::elapsedSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string ProgressReporter::describe(const Case& c, const RunState& s, double elapsed) {
  const double done = fractionDone(c, s);
  const double remaining = done > 0 ? elapsed * (1 - done) / done : NAN;
  return fixed(100 * done, 1) + "%  t " + formatLabel(s.currentTime) + " s  dt " + formatLabel(s.timeStep) +
         " s  passes " + formatInteger(s.stepCount) + "  x_K " + formatLabel(s.kirkendallPosition) + " cm  elapsed " +
         formatDuration(elapsed) + "  remaining " + formatDuration(remaining);
}

void ProgressReporter::update(const Case& c, const RunState& s) {
  if (style_ == ProgressStyle::Quiet) return;
  const auto now = std::chrono::steady_clock::now();
  const auto interval = style_ == ProgressStyle::Bar
                            ? std::chrono::duration_cast<std::chrono::milliseconds>(kBarInterval)
                            : std::chrono::duration_cast<std::chrono::milliseconds>(kLineInterval);
  if (now - lastReport_ < interval) return;
  lastReport_ = now;
  const std::string text = describe(c, s, elapsedSeconds());
  if (style_ == ProgressStyle::Lines) {
    std::fprintf(out_, "%s\n", text.c_str());
  } else {
    const int filled = static_cast<int>(fractionDone(c, s) * kBarWidth);
    std::string line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] " + text;
    line.resize(std::min(line.size(), terminalColumns() - 1));
    std::fprintf(out_, "\r%s\033[K", line.c_str());
    barShown_ = true;
  }
  std::fflush(out_);
}

void ProgressReporter::finish() {
  if (barShown_) std::fprintf(out_, "\r\033[K");
  std::fflush(out_);
}

}  // namespace torvex
