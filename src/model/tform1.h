#pragma once
// The simulation model: the one owner of every parameter read from the input
// data file, the formula texts of the side files and their caches, every
// per-component and per-point array, the run clock and counters, the run
// records and the stop flag. Solver, run and front ends read and write the
// fields directly.
//
// Notation: r = componentCount, n = pointCount, P = initialPointCount;
// component i = 0 .. r-1 (component i+1 in files and formulas), grid point
// j = 0 .. n-1 with j = 0 the left end of the sample. Units: cm, s, K, mol, g.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/table.h"
#include "model/text_list.h"

namespace torvex {

// The value of a formula without variables, computed once per load.
struct CachedValue {
  double value = 0.0;
  bool valid = false;
};

class TemperatureSchedule;

using Switch = std::uint8_t;

class CompiledFormulas;
class RunJournal;

// An input file of the last load, as read: its role ("data",
// "diffusivities", "activities", "boundary_flux"), its path as named, and
// the SHA-256 digest of its bytes.
struct InputFileDigest {
  std::string role;
  std::string path;
  std::string sha256;
};

class TForm1 {
 public:
  // Largest inputs the program accepts; larger ones are refused at load with
  // a message instead of exhausting memory.
  static constexpr int kMaxComponents = 50;
  static constexpr int kMaxPoints = 1000000;
  static constexpr double kMaxArrayBytes = 2.0 * 1024 * 1024 * 1024;

  TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Creates every array whose size depends on r and n (and the formula text
  // arrays), replacing those of a previous load.
  void allocateArrays(int r, int n);
  // Sets every number of those arrays to 0 and invalidates the five caches.
  void clearArrays();
  // Destroys everything allocateArrays and load created, including the
  // initial-profile lines and the initial weight profile. Safe without arrays.
  void releaseArrays();

  // Reads the input data file at path and the side files it names (relative
  // paths resolve against the working directory), builds the grid and the
  // initial profile and computes the derived quantities. Does not reset the
  // run clock and counters. Throws InputError for invalid input, naming the
  // file, the key or line and the offending text; FatalModelError with
  // "ERROR 2. Check input files. (diffusivities function error)" when the
  // diffusivity file has fewer than r formula lines. After any failure the
  // model holds no arrays (r = n = P = 0) and loadComplete is false, so a
  // half-read case can never be run or drawn.
  void load(const std::string& path);

  // Evaluates one side-file formula at grid point `point` and leaves the
  // result in formulaValue (0 when the parser rejects the text; its message
  // then goes to standard output). N1..Nr are replaced by the molar ratios
  // at that point, T by the temperature, t by the current time. A formula
  // without variables is stored in the cache entry of `mode`:
  //   1 diffusivityFormulaCache[first]          (diffusivity formula)
  //   2 diffusivityMatrixCache[first][second]    (diffusivity matrix entry)
  //   3 oxidationConstantCache[second]           (selective-oxidation constant)
  //   4 boundaryFluxCache[second][first]         (boundary flux; second 0 left, 1 right)
  //   5 activityFormulaCache[first][second]      (chemical-potential derivative)
  // Callers look at the cache first. Throws std::out_of_range for indices
  // outside the current arrays (a programming error, not an input error).
  void evaluateFormula(int mode, int first, std::string_view formula, int point, int second);

  // True once a load has finished without error; false before the first
  // load and after a failed one.
  [[nodiscard]] bool isLoaded() const { return loadComplete; }

  // ---- Fields, in the order of the model's field table ----
  TextList kirkendallRecordLines;        // results//Kirk_plane.dat
  TextList dataFileLines;                // the input data file, tabs replaced by blanks
  TextList boundaryFluxLines;            // boundary flux file at load; boundary records during a run
  TextList atomicProfileLines;           // results//at_out.dat
  TextList weightProfileLines;           // results//wt_out.dat
  TextList continuationLines;            // results//continue.dat
  TextList diffusivityFileLines;         // the diffusivity file (D9)
  TextList activityFileLines;            // the activities file (D12 = 3)
  TextList diffusivityProfileLines;      // results//diffusivities.dat
  TextList fluxComparisonLines;          // results//fluxes_comparition.dat
  std::string applicationDirectory;      // program directory, ending in '/'
  double stageTimeStep = 0.0;            // s, stage time of the current Runge-Kutta step
  double minimalMolarFraction = 0.0;     // lower bound of the molar ratios (flux modes 1, 2)
  double parabolicRateConstant = 0.0;    // cm^2/s, kp of the oxide scale
  double oxideDiffusivity = 0.0;         // cm^2/s
  double oxideMolarConcentration = 0.0;  // mol/cm^3
  double oxidePressure = 0.0;            // p'
  double externalPressure = 0.0;         // p''
  double fluxMultiplier = 0.0;
  double oxideThickness = 0.0;                       // cm
  double formulaValue = 0.0;                         // result of the last evaluateFormula
  std::vector<CachedValue> diffusivityFormulaCache;  // [r]
  Table2<CachedValue> diffusivityMatrixCache;        // [r][r]
  std::array<CachedValue, 5> oxidationConstantCache{};
  Table2<CachedValue> boundaryFluxCache;     // [2][r], 0 left, 1 right
  Table2<CachedValue> activityFormulaCache;  // [r][r]
  Table2<double> activityDerivative;         // [r][r], J/mol, dmu_i/dN_k at the current point
  int componentCount = 0;                    // r
  int pointCount = 0;                        // n
  double endTime = 0.0;                      // s
  double startTime = 0.0;                    // s
  double sampleWidth = 0.0;                  // cm, last minus first declared position
  double largestTimeStep = 0.0;              // s
  double temperature = 0.0;                  // K
  double timeStep = 0.0;                     // s
  Switch darkenVelocityOn = 0;
  Switch differenceScheme = 0;    // 0 central, 1 forward, 2 backward, 3 conservative (face fluxes)
  Switch diffusivityMode = 0;     // 0 formulas, 1 matrix, 2 built-in Cu-Fe-Ni
  Switch activityMode = 0;        // 0 ideal, 1 Cu-Fe-Ni, 2 Fe-Ni-Cr, 3 formulas
  Switch constitutiveMode = 0;    // 0 Nernst-Planck, 1 Onsager
  Switch referenceFrameMode = 0;  // 0 volume-fixed, 1 classic
  Switch kirkendallPlaneVisible = 0;
  Switch boundaryFluxMode = 0;  // 0 none, 1 formulas, 2 selective oxidation
  std::string boundaryFluxFileName;
  double correlationFactor = 0.0;
  int initialPointCount = 0;  // P
  double currentTime = 0.0;   // s
  int stepCount = 0;
  int refreshInterval = 0;                       // passes
  int saveInterval = 0;                          // passes
  int calculationDelay = 0;                      // ms
  std::vector<std::string> diffusivityFormulas;  // [r]
  std::vector<std::string> activityFormulas;     // [r*r], row * r + column
  int timeStepChangeInterval = 0;                // passes
  double timeStepMultiplier = 0.0;
  double concentrationError = 0.0;
  double maxTimeStep = 0.0;                       // s
  double initialKirkendallPosition = 0.0;         // cm
  double kirkendallPosition = 0.0;                // cm
  std::vector<std::string> initialProfileLines;   // [P]
  std::vector<std::string> boundaryFluxFormulas;  // [r]
  std::vector<double> pressure;                   // [n]
  std::vector<double> leftBoundaryFlux;           // [r], mol/(cm^2 s)
  std::vector<double> rightBoundaryFlux;          // [r], mol/(cm^2 s)
  std::vector<double> position;                   // [n], cm
  Table2<double> concentration;                   // [r][n], mol/cm^3
  Table2<double> concentrationAtStepStart;        // [r][n]
  Table2<double> errorEstimate;                   // [r][n]
  Table2<double> stageIncrement1;                 // [r][n], dt * rate of each stage
  Table2<double> stageIncrement2;
  Table2<double> stageIncrement3;
  Table2<double> stageIncrement4;
  Table2<double> stageIncrement5;
  Table2<double> stageIncrement6;
  Table2<double> concentrationGradient;            // [r][n], mol/cm^4
  Table2<double> concentrationRate;                // [r][n], mol/(cm^3 s)
  std::vector<double> totalConcentration;          // [n], mol/cm^3
  std::vector<double> totalConcentrationGradient;  // [n]
  Table2<double> molarRatio;                       // [r][n]
  Table2<double> molarRatioGradient;               // [r][n], 1/cm
  Table2<double> mobility;                         // [r][n]
  Table2<double> chemicalPotentialGradient;        // [r][n]
  Table2<double> diffusionVelocity;                // [r][n], cm/s
  Table2<double> diffusionVelocityGradient;        // [r][n], 1/s
  std::vector<double> darkenVelocity;              // [n], cm/s
  std::vector<double> darkenVelocityGradient;      // [n], 1/s
  std::vector<double> sigmaVelocity;               // [n], cm/s
  std::vector<double> molarMass;                   // [r], g/mol
  Table2<double> partialMolarVolumeGradient;       // [r][n], cm^2/mol
  Table2<double> partialMolarVolume;               // [r][n], cm^3/mol
  std::vector<double> molarVolume;                 // [n], cm^3/mol
  std::vector<double> density;                     // [n], g/cm^3
  Table2<double> initialWeightProfile;             // [r][P], wt %
  Table3<double> onsagerCoefficient;               // [r][r][n]
  // The conservative difference scheme (D16 = 3) only. Face k+1/2 lies
  // between grid points k and k+1; entry n-1 is unused.
  Table2<double> faceFlux;                           // [r][n], mol/(cm^2 s), F_i through face k+1/2, toward +x
  std::vector<double> faceDarkenVelocity;            // [n], cm/s, v^D at face k+1/2
  double kirkendallVelocity = 0.0;                   // cm/s, lattice drift at kirkendallStagePosition
  double kirkendallStagePosition = 0.0;              // cm, the plane as the current stage sees it
  double kirkendallPositionAtStepStart = 0.0;        // cm
  std::array<double, 7> kirkendallStageIncrement{};  // cm, dt times the drift of stages 1..6
  std::vector<double> wallInflowRate;  // [r], mol/(cm^2 s), in through the left end minus out through the right
  Table2<double> wallInflowIncrement;  // [7][r], mol/cm^2, dt times wallInflowRate of stages 1..6
  std::vector<double> wallInflow;      // [r], mol/cm^2, through both ends in the accepted passes of the run
  std::atomic<std::uint8_t> stopRequested{0};

  // Path of the data file the last load read, and of the side files it named
  // (empty when the mode reads no file); for messages and summaries.
  std::string dataFileName;
  // The diffusivity matrix (cm^2/s) at the grid point being treated in
  // diffusivity mode 1, [r][r]; scratch space of the solver.
  Table2<double> diffusivityMatrix;
  std::string diffusivityFileName;
  std::string activityFileName;
  // The data file and the side files of the last successful load, with the
  // digests of their bytes; empty after a failed load.
  std::vector<InputFileDigest> inputFiles;

  // Where a relative side-file name is looked for first; when the file is not
  // there (or this is empty) the name is taken as it stands, relative to the
  // working directory. torvex-batch sets it to the data file's folder, so a
  // case folder can be run from anywhere.
  std::string sideFileDirectory;
  // The folder the results files are written to; each run owns its own.
  std::string resultsDirectory = "results";

  // A heat treatment beyond the data file; a load leaves both as they are.
  // With a schedule the run sets `temperature` to T(t) of the time every
  // derivative evaluation is made for; null: the temperature of D8 holds
  // throughout.
  std::shared_ptr<const TemperatureSchedule> temperatureSchedule;
  // Times (s, increasing, inside the run) at which passes land exactly and
  // the results are written, beside the saves every D17 passes.
  std::vector<double> outputTimes;
  // The step the step control chose when a pass was clipped to land on a
  // corner of the schedule or an output time (0: none); the pass after the
  // landing goes on from it.
  double stepBeforeLanding = 0.0;
  // True during the Refresh of a pass that landed on an output time.
  bool atOutputTime = false;

  // evaluateFormula parses a formula with variables once and evaluates it
  // from the parser's compiled form (true), or substitutes the values into
  // the text and parses it anew at every evaluation (false). Both give the
  // same values, caches and messages; the second is the slow reference.
  bool compiledFormulas = true;
  // Largest memory (bytes) the arrays of a load may take; a larger case is
  // refused at key D8. Callers that must stay small (a fuzzer) lower it.
  double arrayByteLimit = kMaxArrayBytes;

  // The compiled formulas, made on first use.
  std::shared_ptr<CompiledFormulas> compiledFormulaStore;

  // The history and report of the run in hand or the last one (history.csv,
  // series.csv, run.json); made by the first run, or by a front end that
  // sets the provenance of its runs before.
  std::shared_ptr<RunJournal> runJournal;

 private:
  void loadUnchecked(const std::string& path);

  bool loadComplete = false;
};

// The path a side file named `name` in a data file is read from: beside the
// data file (in `directory`) when it exists there, else `name` itself.
std::string resolveSideFile(const std::string& name, const std::string& directory);

}  // namespace torvex
