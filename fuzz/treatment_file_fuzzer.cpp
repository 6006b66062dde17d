// Fuzz target: the heat-treatment file kept beside a data file.
//
// Whatever the bytes, the reader either refuses them with an InputError or
// gives settings whose every text its option's reader accepts, with a
// schedule named in full; written back, those settings read again as the
// same settings.

#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "model/errors.h"
#include "study/treatment_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  const std::string path = "/fuzz/coat.treatment.toml";
  TreatmentSettings settings;
  try {
    settings = parseTreatment(fuzz::textOf(data, size), path);
  } catch (const InputError&) {
    return 0;
  }
  fuzz::require(settings.schedule.empty() || std::filesystem::path(settings.schedule).is_absolute());
  checkTreatmentTexts(settings, {});  // throws, and so stops the fuzzer, if a text slipped through
  fuzz::require(parseTreatment(treatmentText(settings, path), path) == settings);
  return 0;
}
