#pragma once
// A case: everything a run reads from the input data file and the side files
// it names, and nothing a run changes. A case is a value: it can be copied,
// validated, rendered from a template in memory and run many times, in many
// threads at once (every cache and compiled formula belongs to the run that
// evaluates it, see formula_evaluator.h).
//
// Notation: r = componentCount, n = pointCount, P = initialPointCount;
// component i = 0 .. r-1 (component i+1 in files and formulas), grid point
// j = 0 .. n-1 with j = 0 the left end of the sample. Units: cm, s, K, mol, g.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/table.h"
#include "model/text_list.h"

namespace torvex {

class TemperatureSchedule;

// The physics a case chooses, one enum per key. Each holds the key's value as
// the data file gives it (truncated to 0 .. 255, as the loader always has),
// so a value no enumerator names is kept for the messages that refuse or
// describe it.

// D9: where the self-diffusion coefficients come from.
enum class DiffusivityModel : std::uint8_t {
  Formulas = 0,  // one formula per component (diffusivity file)
  Matrix = 1,    // a matrix of formulas, mixed log-linearly
  CuFeNi = 2,    // the built-in Cu-Fe-Ni fit
};
// D12: the thermodynamics of the alloy.
enum class ActivityModel : std::uint8_t {
  Ideal = 0,
  CuFeNi = 1,    // the built-in Cu-Fe-Ni fit
  FeNiCr = 2,    // the built-in Fe-Ni-Cr subregular solution
  Formulas = 3,  // dmu_q/dN_l as formulas (activities file)
};
// D13: the constitutive equations of the diffusion velocities.
enum class Constitutive : std::uint8_t {
  NernstPlanck = 0,  // v_i = -B_i dmu_i/dx (Fick with ideal activities)
  Onsager = 1,       // v_i = sum_j (L_ij / c_i) (-dmu_j/dx)
};
// D14: the frame the rates are written in.
enum class Frame : std::uint8_t {
  VolumeFixed = 0,
  Classic = 1,
};
// D16: how the divergences are differenced.
enum class DifferenceScheme : std::uint8_t {
  Central = 0,
  Forward = 1,
  Backward = 2,
  Conservative = 3,  // face fluxes balanced over cells (face_fluxes.h)
};
// D21: what crosses the ends of the sample.
enum class BoundaryFlux : std::uint8_t {
  None = 0,                // a closed sample
  Formulas = 1,            // a left and a right formula per component
  SelectiveOxidation = 2,  // component 1 into an oxide scale at the right end
};

// How a run integrates the profile in time. Not a key of the data file: the
// run chooses it (torvex-batch --integrator, a study's or fit's settings, the
// desktop program's Calculation menu).
enum class Integrator : std::uint8_t {
  // The explicit Cash-Karp loop: a pass keeps its error estimate within D4
  // (mol/cm^3) at every point; steps from D3, grown by D7 every D6 passes up
  // to D5.
  RungeKutta = 0,
  // Implicit variable-order BDF with a banded Jacobian: one pass is one step
  // of the integrator, held to the tolerances D4 maps to (bdf_integrator.h);
  // D3 is the first step and D5 the largest, D6 and D7 are not used.
  Bdf = 1,
};
// "rk", "bdf": the names the command line and the settings files use.
const char* integratorName(Integrator integrator);
// The integrator of that name, or none.
std::optional<Integrator> integratorNamed(std::string_view name);

// The value of a key as the data file gave it.
template <class Choice>
constexpr int keyValue(Choice choice) {
  return static_cast<int>(choice);
}

// A switch of the data file kept as its value (D15, D19): 0 off, any other on.
using Switch = std::uint8_t;

// An input file of a load, as read: its role ("data", "diffusivities",
// "activities", "boundary_flux"), its path as named, and the SHA-256 digest
// of its bytes.
struct InputFileDigest {
  std::string role;
  std::string path;
  std::string sha256;
};

// A side file: its name as the data file gives it (empty when the mode reads
// none) and its lines as read.
struct SideFile {
  std::string name;
  TextList lines;
};

// The profile a run starts from, on the grid of the case, and what the load
// derived from it.
struct InitialProfile {
  std::vector<std::string> lines;          // [P], the D23 value lines, trimmed
  Table2<double> weightPercent;            // [r][P], wt % beside each line
  std::vector<double> position;            // [n], cm
  double sampleWidth = 0.0;                // cm, last minus first declared position
  Table2<double> molarRatio;               // [r][n]
  Table2<double> concentration;            // [r][n], mol/cm^3
  std::vector<double> totalConcentration;  // [n], mol/cm^3
  std::vector<double> molarVolume;         // [n], cm^3/mol
  std::vector<double> darkenVelocity;      // [n], cm/s, as the profile lines give it
  std::vector<double> sigmaVelocity;       // [n], cm/s
  std::vector<double> pressure;            // [n]
};

// A heat treatment beyond the data file: a temperature schedule T(t) that
// replaces the temperature of D8 (null: D8 holds throughout), and times (s,
// increasing, inside the run) at which passes land exactly and the results
// are written, beside the saves every D17 passes.
struct HeatTreatment {
  std::shared_ptr<const TemperatureSchedule> schedule;
  std::vector<double> outputTimes;
};

class Case {
 public:
  // Largest inputs the program accepts; larger ones are refused at load with
  // a message instead of exhausting memory.
  static constexpr int kMaxComponents = 50;
  static constexpr int kMaxPoints = 1000000;
  static constexpr double kMaxArrayBytes = 2.0 * 1024 * 1024 * 1024;

  // Gives the case r components on n grid points: the per-component values
  // and formula lists get r entries, the initial profile n points, all zero
  // or empty. For cases built in memory; a load does it itself.
  void setShape(int r, int n);

  // True for a case with components (a successful load, or one built in
  // memory); false for an empty case and after a failed load.
  [[nodiscard]] bool loaded() const { return componentCount > 0; }

  // Refuses a case no run can work with, each with a message naming the data
  // file (or side file), the key and the value:
  //   - switches the solver has no equations for: D16 above 3, D13 other
  //     than 0 and 1, D12 above 3;
  //   - run settings the time loop cannot work with: a negative first step
  //     (D3), a largest step that is not positive (D5), fewer than one pass
  //     between refreshes or saves (D17), and, for cases not built by a load
  //     (which corrects them), fewer than one pass between step increases
  //     (D6) or a step multiplier of 1 or less (D7);
  //   - values that describe no physical case (see the list below);
  //   - output times that do not increase or lie outside the run;
  //   - with the BDF integrator, a case whose banded Jacobian would not fit
  //     in memory, or whose molar volumes are all 0 (the profile could not
  //     be normalised).
  // Throws InputError. The front ends, --check and every run call it once,
  // before anything runs; the solver does not check again.
  //
  // The physical values refused:
  //   D4   a concentration error that is not positive (no pass could pass);
  //   D8   a temperature that is not above 0 K;
  //   D9   a self-diffusion coefficient below 0, or a diffusivity matrix entry
  //        on or above the diagonal below 0, where given as a plain number;
  //   D9a  a correlation factor that is not positive;
  //   D10  a molar mass that is not positive;
  //   D11  a negative partial molar volume;
  //   D20  a declared Kirkendall plane outside the sample;
  //   D21  in flux modes 1 and 2, a minimal molar fraction below 0, or one that
  //        no composition of the r components can keep for all of them (r
  //        times it reaching 1); in mode 2, a plain-number oxide constant that
  //        makes no scale: diffusivity or molar concentration not positive,
  //        a negative pressure or flux multiplier;
  //   D23  an initial content below 0 or above 100 %, or contents of one line
  //        that sum above 100 % (the last component would be negative). A line
  //        that sums to exactly 100 % as typed may leave the last component a
  //        few units in the last place below zero; that is accepted.
  void validate() const;

  // ---- Sizes ----
  int componentCount = 0;     // r
  int pointCount = 0;         // n
  int initialPointCount = 0;  // P

  // ---- Time and its steps (D1, D3 .. D7) ----
  double startTime = 0.0;           // s
  double endTime = 0.0;             // s
  double timeStep = 0.0;            // s, the first step of a run
  double concentrationError = 0.0;  // largest error estimate a pass may keep, mol/cm^3
  double maxTimeStep = 0.0;         // s
  int timeStepChangeInterval = 0;   // passes between step increases
  double timeStepMultiplier = 0.0;  // factor of an increase, and divisor of a rejected step

  // ---- Material (D8 .. D11) ----
  double temperature = 0.0;                // K
  double correlationFactor = 0.0;          // f, B = D / (f R T)
  std::vector<double> molarMass;           // [r], g/mol
  std::vector<double> partialMolarVolume;  // [r], cm^3/mol, Omega_i

  // ---- The physics chosen (D9, D12 .. D16, D21) ----
  DiffusivityModel diffusivityModel = DiffusivityModel::Formulas;
  ActivityModel activityModel = ActivityModel::Ideal;
  Constitutive constitutive = Constitutive::NernstPlanck;
  Frame frame = Frame::VolumeFixed;
  Switch darkenVelocityOn = 0;  // D15
  DifferenceScheme differenceScheme = DifferenceScheme::Central;
  BoundaryFlux boundaryFlux = BoundaryFlux::None;
  double minimalMolarFraction = 0.0;  // lower bound of the molar ratios (flux modes 1, 2)

  // ---- Formulas of the side files ----
  std::vector<std::string> diffusivityFormulas;   // [r]
  std::vector<std::string> activityFormulas;      // [r*r], row * r + column
  std::vector<std::string> boundaryFluxFormulas;  // [r]

  // ---- Display and saving (D17 .. D20) ----
  int refreshInterval = 0;   // passes between refreshes of the graphs
  int saveInterval = 0;      // passes between saves of the results
  int calculationDelay = 0;  // ms after each pass (the desktop program's pacing)
  Switch kirkendallPlaneVisible = 0;
  double initialKirkendallPosition = 0.0;  // cm, x_K0

  // ---- The initial profile (D22, D23) ----
  InitialProfile initial;

  // ---- The files read ----
  std::string dataFileName;   // the data file as named, for messages
  TextList dataFileLines;     // its lines, tabs replaced by blanks
  SideFile diffusivityFile;   // D9 modes 0 and 1
  SideFile activityFile;      // D12 mode 3
  SideFile boundaryFluxFile;  // D21 modes 1 and 2
  // The data file and the side files with the digests of their bytes.
  std::vector<InputFileDigest> inputFiles;

  // ---- Beyond the data file ----
  HeatTreatment heatTreatment;
  Integrator integrator = Integrator::RungeKutta;
};

// The gas constant of the solver, J/(mol K). Exactly 8, not 8.314: results
// are compared with earlier runs of the same input, which used this value.
constexpr double kSolverGasConstant = 8.0;

// Where a load reads its files: the disk, and in front of it texts held in
// memory under the paths a load from disk would read (a rendered case that
// was never written). A load through it names the same files in its messages
// as a load of those files from disk.
class CaseFiles {
 public:
  // Holds text as the file at path (a later text replaces an earlier one).
  void add(const std::string& path, std::string text);
  // Whether path names a text held here or a regular file on disk.
  [[nodiscard]] bool exists(const std::string& path) const;
  // The lines of the file at path, as TextList::loadFromFile reads them
  // (the text held here, or else the file on disk); its InputError otherwise.
  void read(const std::string& path, TextList& lines) const;
  [[nodiscard]] bool empty() const { return texts_.empty(); }

 private:
  std::map<std::string, std::string> texts_;
};

struct CaseLoadOptions {
  // Where a relative side-file name is looked for first; when the file is not
  // there (or this is empty) the name is taken as it stands, relative to the
  // working directory.
  std::string sideFileDirectory;
  // Largest memory (bytes) the arrays of a run of the case may take; a
  // larger case is refused at key D8. Callers that must stay small (a fuzzer)
  // lower it.
  double arrayByteLimit = Case::kMaxArrayBytes;
  // Texts read instead of the files of those paths; null: the disk only.
  const CaseFiles* files = nullptr;
};

// Reads the input data file at path and the side files it names, builds the
// grid and the initial profile and computes what follows from them. Throws
// InputError for invalid input, naming the file, the key or line and the
// offending text; FatalModelError with "ERROR 2. Check input files.
// (diffusivities function error)" when the diffusivity file has fewer than r
// formula lines.
Case loadCase(const std::string& path, const CaseLoadOptions& options = {});

// The path a side file named `name` in a data file is read from: beside the
// data file (in `directory`) when it exists there, else `name` itself.
std::string resolveSideFile(const std::string& name, const std::string& directory, const CaseFiles* files = nullptr);

}  // namespace torvex
