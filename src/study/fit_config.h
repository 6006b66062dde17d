#pragma once
// What a fit is asked to do, as read from its TOML file: the case template,
// its key overrides, the parameters to fit and the measured profiles to fit
// them to.
//
//   case = "couple.dat"            # the case template, beside this file
//   output = "fit"                 # the report folder (default "fit", in the working directory)
//   concentration_error = 1e-7     # the runs' concentration error (key D4), optional
//   step = 0.01                    # the finite-difference step (of log10 or of the value), optional
//   max_iterations = 50            # optional
//   schedule = "anneal.csv"        # a temperature schedule (time_s,T_K), or its rows inline:
//                                  #   [[0, 1073], [3600, 1273], [7200, 1273]]; optional
//   output_times = [3600]          # more times the best-fit case writes results at, optional
//   [set]                          # key overrides, as --set
//   D2 = "200"
//   [[parameter]]
//   name = "DNi"                   # fills {{DNi}}
//   initial = 1e-10
//   lower = 1e-14                  # optional bounds
//   upper = 1e-6
//   log = true                     # fitted as log10 of the value; the default
//   [[profile]]
//   file = "measured.csv"          # a measured-profile file (see measured_profile.h)
//   time = 36000                   # s, the anneal time it was measured after (a run
//                                  # writes its profile at exactly this time)
//   shift_um = 0                   # added to its positions (µm)
//   fit_shift = true               # fit that shift too
//   uncertainty = 0.3              # at.% (or wt.%) of one measured value, optional
//   weight = 1                     # optional, multiplies the squared residuals
//
// Relative file names are taken relative to the folder of the TOML file.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "study/case_template.h"
#include "study/heat_treatment_setting.h"

namespace torvex {

struct FitParameterSetting {
  std::string name;
  double initial = 0.0;
  std::optional<double> lower;
  std::optional<double> upper;
  bool logScale = true;
};

struct FitProfileSetting {
  std::string file;
  double timeS = 0.0;
  double shiftUm = 0.0;
  bool fitShift = false;
  std::optional<double> uncertainty;  // percent
  double weight = 1.0;
};

struct FitConfig {
  std::string fileName;  // the TOML file, for messages
  std::string casePath;
  std::string output = "fit";
  std::vector<KeyOverride> overrides;
  // The temperature schedule of every run, and the output times of the
  // best-fit case's runs; may use the parameters.
  HeatTreatmentSetting heatTreatment;
  std::optional<double> concentrationError;
  Integrator integrator = Integrator::RungeKutta;  // of every run
  double step = 0.01;
  int maxIterations = 50;
  std::vector<FitParameterSetting> parameters;
  std::vector<FitProfileSetting> profiles;
};

// Parses the text of a fit file; `fileName` names it in messages and its
// folder anchors relative paths. Throws InputError naming the file, the key
// (and line where known) and the offending value: malformed TOML, an unknown
// key, a value of the wrong type, a missing case, parameter or profile, a
// repeated parameter, a bound that excludes the initial value, a log-scale
// parameter that is not positive, a non-positive time, uncertainty or weight,
// an integrator other than "rk" and "bdf", a schedule or output times that
// are not of their form or use a placeholder
// that names no fitted parameter.
FitConfig parseFitConfig(std::string_view text, const std::string& fileName);

// Reads the file and parses it.
FitConfig readFitConfig(const std::string& path);

}  // namespace torvex
