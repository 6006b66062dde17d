#pragma once
// The heat treatment a data file is run with in the desktop program, kept in
// a TOML file beside it (couple.dat: couple.treatment.toml); the data file
// itself stays as it is. Each setting is the text its torvex-batch option
// takes, so that a desktop run and a batch run with the same options are the
// same run and record the same heat treatment:
//
//   schedule = "anneal.csv"             # --schedule; a relative name is beside this file
//   cycles = "1000:3600@1373,600@300"   # --cycles
//   spall = "0.005,1"                   # --spall
//   oxide = "1.5,15.999"                # --oxide
//   critical = "N1<0.04"                # --critical
//   receding = true                     # a receding oxidising surface
//
// Every key is optional; a file without any is no heat treatment (D8 holds
// throughout).

#include <string>
#include <string_view>

#include "model/case.h"

namespace torvex {

struct TreatmentSettings {
  std::string schedule;  // the schedule file (a full path once read); empty: none
  std::string cycles;    // each as its option reads it; empty: none
  std::string spall;
  std::string oxide;
  std::string critical;
  bool receding = false;

  [[nodiscard]] bool empty() const {
    return schedule.empty() && cycles.empty() && spall.empty() && oxide.empty() && critical.empty() && !receding;
  }
  bool operator==(const TreatmentSettings&) const = default;
};

// Largest side file read; a heat treatment is a few lines.
inline constexpr std::size_t kMaxTreatmentFileBytes = 64u << 10;

// The side file of a data file: its name with the extension replaced by
// .treatment.toml (couple.dat: couple.treatment.toml).
std::string treatmentFileOf(const std::string& dataFile);

// Checks each text with the parser of its option, naming `places` in a
// refusal as "<prefix>cycles" and so on. Throws InputError naming the place,
// the text and what is wrong; an empty schedule name is none.
struct TreatmentPlaces {
  std::string schedule = "schedule";
  std::string cycles = "cycles";
  std::string spall = "spall";
  std::string oxide = "oxide";
  std::string critical = "critical";
};
void checkTreatmentTexts(const TreatmentSettings& settings, const TreatmentPlaces& places);

// The settings as the side file `path` holds them: a comment naming what the
// file is, then one key per setting given. A schedule file in the side
// file's folder or below it is written relative to that folder, so that the
// two may move together.
std::string treatmentText(const TreatmentSettings& settings, const std::string& path);

// Reads a side file's text; `path` names it in messages and gives the folder
// a relative schedule name is taken from. Throws InputError naming the file,
// the line, the key and the offending text for TOML that does not parse, an
// unknown key, a value of the wrong type, and a setting its option's parser
// refuses.
TreatmentSettings parseTreatment(std::string_view text, const std::string& path);

// parseTreatment of the file at `path` (at most kMaxTreatmentFileBytes, a
// regular file).
TreatmentSettings readTreatmentFile(const std::string& path);

// What a run of a case starting at `runStart` (s) follows: the schedule read
// from its file, the cycles after it and the life settings. Throws
// InputError as readScheduleFile and the options' parsers do, placed as
// `places` says; whether the settings suit the case is Case::validate's.
HeatTreatment heatTreatmentOf(const TreatmentSettings& settings, double runStart, const TreatmentPlaces& places);

}  // namespace torvex
