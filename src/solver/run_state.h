#pragma once
// The state of one run of a case: every per-component and per-point array the
// derivative evaluation reads and writes, the run clock, the counters, the
// Kirkendall plane, the oxide scale, what crossed the ends, the stop flag and
// the run's own formula evaluator. A run owns its state; the case it runs
// stays as it was loaded.
//
// Per-component arrays are r rows of n contiguous doubles (Table2), created
// by prepare() and never resized during the run, so a pass allocates nothing.
// Notation and units as in model/case.h.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "model/case.h"
#include "model/formula_evaluator.h"
#include "model/table.h"
#include "solver/oxide_scale.h"

namespace torvex {

// The oxide scale of selective oxidation (boundary flux mode 2) and the five
// constants of the boundary flux file it grows by.
struct OxideScale {
  double thickness = 0.0;              // cm, X
  double parabolicRateConstant = 0.0;  // cm^2/s, kp
  double diffusivity = 0.0;            // cm^2/s, of oxygen in the scale
  double molarConcentration = 0.0;     // mol/cm^3, c_ox
  double innerPressure = 0.0;          // p', at the scale's inner face
  double externalPressure = 0.0;       // p'', at its outer face
  double fluxMultiplier = 0.0;
};

// A coating-life run's books (life_run.h keeps them): the oxide scale's
// ledger under spallation, and the watch on the critical content. Inactive
// in a run without life settings.
struct LifeRunState {
  bool active = false;
  ScaleLedger ledger;
  double thinnestScale = 0;  // cm, the thickness a run starts with, floor of a spalled scale
  double lastSpallTime = 0;  // s, when the scale last spalled (ledger.spalls > 0)
  std::optional<EndOfLifeWatch> watch;
  double watchedContent = 0;   // the content the critical condition watches, after the last pass
  bool spent = false;          // the critical content has been reached: the run ends
  std::vector<double> ratios;  // [n], the watched component's molar ratios after a pass
};

// The work of the implicit integrator in a run so far; all 0 with the
// explicit loop.
struct ImplicitWork {
  long steps = 0;
  long rightHandSideEvaluations = 0;  // those of difference Jacobians included
  long jacobianEvaluations = 0;
  long factorisations = 0;
  long errorTestFailures = 0;
  long convergenceFailures = 0;
};

class RunState {
 public:
  RunState() = default;
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  // Creates every array for the case's r components on its n grid points
  // (replacing those of an earlier run), zeroes them, and sets the profile
  // the run starts from: the case's initial grid, concentrations, molar
  // ratios, total concentration, molar volume, velocities and pressure, and
  // the partial molar volume of each component at every point. The clock is
  // at 0 with the case's first step and temperature, the counters at 0, the
  // formula caches empty. The stop flag is left as it is.
  void prepare(const Case& c);
  // Destroys every array (a failed load, a closing window). Safe without
  // arrays.
  void release();

  // Evaluates one formula of the case at grid point `point` with the run's
  // evaluator, at the molar ratios, temperature and time the state holds.
  double formula(FormulaKind kind, int first, int second, std::string_view text, int point) {
    return formulas.evaluate(kind, first, second, text, molarRatio, point, temperature, currentTime);
  }

  // ---- The clock ----
  double currentTime = 0.0;      // s
  double timeStep = 0.0;         // s, the step the next pass integrates
  double stageTimeStep = 0.0;    // s, stage time of the current Runge-Kutta step
  double largestTimeStep = 0.0;  // s
  int stepCount = 0;             // passes so far, accepted or rejected
  bool atOutputTime = false;     // true during the Refresh of a pass that landed on an output time
  double temperature = 0.0;      // K, of the time the current evaluation is made for

  // ---- The grid and the profile ----
  std::vector<double> position;                    // [n], cm
  Table2<double> concentration;                    // [r][n], mol/cm^3
  Table2<double> concentrationGradient;            // [r][n], mol/cm^4
  Table2<double> concentrationRate;                // [r][n], mol/(cm^3 s)
  std::vector<double> totalConcentration;          // [n], mol/cm^3
  std::vector<double> totalConcentrationGradient;  // [n]
  Table2<double> molarRatio;                       // [r][n]
  Table2<double> molarRatioGradient;               // [r][n], 1/cm
  Table2<double> partialMolarVolume;               // [r][n], cm^3/mol
  Table2<double> partialMolarVolumeGradient;       // [r][n], cm^2/mol
  std::vector<double> molarVolume;                 // [n], cm^3/mol
  std::vector<double> pressure;                    // [n]

  // ---- Transport ----
  Table2<double> mobility;                     // [r][n]
  Table2<double> chemicalPotentialGradient;    // [r][n]
  Table2<double> activityDerivative;           // [r][r], J/mol, dmu_i/dN_k at the current point
  Table2<double> diffusivityMatrix;            // [r][r], cm^2/s, at the point being treated (matrix mode)
  Table3<double> onsagerCoefficient;           // [r][r][n]
  Table2<double> diffusionVelocity;            // [r][n], cm/s
  Table2<double> diffusionVelocityGradient;    // [r][n], 1/s
  std::vector<double> darkenVelocity;          // [n], cm/s
  std::vector<double> darkenVelocityGradient;  // [n], 1/s
  std::vector<double> sigmaVelocity;           // [n], cm/s
  // The conservative difference scheme only. Face k+1/2 lies between grid
  // points k and k+1; entry n-1 is unused.
  Table2<double> faceFlux;                 // [r][n], mol/(cm^2 s), F_i through face k+1/2, toward +x
  std::vector<double> faceDarkenVelocity;  // [n], cm/s, v^D at face k+1/2

  // ---- The ends of the sample ----
  std::vector<double> leftBoundaryFlux;   // [r], mol/(cm^2 s)
  std::vector<double> rightBoundaryFlux;  // [r], mol/(cm^2 s)
  std::vector<double> wallInflowRate;     // [r], mol/(cm^2 s), in through the left end minus out through the right
  std::vector<double> wallInflow;         // [r], mol/cm^2, through both ends in the accepted passes of the run
  OxideScale oxide;
  LifeRunState life;

  // ---- A receding oxidising surface (life setting `receding`) ----
  // The right end moves in by the volume of the metal the scale takes,
  // dL/dt = -Omega_1 J, and the grid contracts uniformly toward the left end
  // with it: x_k = x_0 + (x_k(0) - x_0) L / L(0). In such a run the
  // conservative evaluation leaves in concentrationRate the rate of each
  // cell's amount, d(w_k c_ik)/dt (mol/(cm^2 s)), rather than dc/dt, so that
  // the integrator advances amounts and every inventory changes only by what
  // crosses the ends.
  bool receding = false;
  double sampleLength = 0.0;          // cm, L: from the first grid point to the last
  double stageSampleLength = 0.0;     // cm, L as the current stage sees it
  double sampleLengthRate = 0.0;      // cm/s, dL/dt of the last evaluation
  std::vector<double> startPosition;  // [n], cm, the grid at the start of the run

  // ---- The Kirkendall plane ----
  double kirkendallPosition = 0.0;       // cm
  double kirkendallVelocity = 0.0;       // cm/s, lattice drift at kirkendallStagePosition
  double kirkendallStagePosition = 0.0;  // cm, the plane as the current stage sees it

  ImplicitWork implicitWork;

  // Set to end the run after the pass in hand (any thread).
  std::atomic<std::uint8_t> stopRequested{0};

  // The run's formula caches and compiled formulas.
  FormulaEvaluator formulas;
};

}  // namespace torvex
