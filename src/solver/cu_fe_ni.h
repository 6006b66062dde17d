#pragma once
// The built-in Cu-Fe-Ni alloy: self-diffusion coefficients and the
// thermodynamic factors of its chemical potentials, as fitted functions of
// the molar ratios of Cu and Fe. Components in the order Cu, Fe, Ni.

namespace torvex {

inline constexpr const char* kCuFeNiComponentError = "ERROR 1. Check input files. (3 components Cu-Fe-Ni)";

// R T of the fitted chemical potentials (J/mol). Fixed by the fit, whatever
// the temperature of the run.
constexpr double kCuFeNiRT = 10583.722;

// The self-diffusion coefficients of the three components (cm^2/s) at molar
// ratios a (Cu) and b (Fe): D_i = 10^(P_i - log10 3600), P_i the decimal
// logarithm of the coefficient per hour, a polynomial in a and b fitted to
// the measurements.
struct CuFeNiDiffusivities {
  double D[3];
};
CuFeNiDiffusivities cuFeNiDiffusivities(double a, double b);

// The fitted function F_q(x, y) of component q (x = N_Cu, y = N_Fe) is a
// Chebyshev expansion of total degree 9 on the composition triangle: with
// s = clip((x - kCuFeNiCuCentre) * kCuFeNiCuScale) and
// w = clip((y - kCuFeNiFeCentre) * kCuFeNiFeScale), clip cutting to [-1, 1],
// F_q = sum over p of kCuFeNiChebyshev[q][p] * (T_a(s) * T_(g-a)(w)), the
// terms ordered by total degree g = 0 .. 9 and within a degree by the
// degree a of s from g down to 0, the sum formed from 0 in term order.
constexpr int kCuFeNiDegree = 9;
constexpr int kCuFeNiTerms = (kCuFeNiDegree + 1) * (kCuFeNiDegree + 2) / 2;  // 55
extern const double kCuFeNiChebyshev[3][kCuFeNiTerms];
// The fit's compositions map onto [-1, 1]: x over [0, 1], y over [0, 0.9].
constexpr double kCuFeNiCuCentre = 0.50000000005;
constexpr double kCuFeNiCuScale = 2.0000000002;
constexpr double kCuFeNiFeCentre = 0.45000000005;
constexpr double kCuFeNiFeScale = 2.222222222469136;

// Step of the numerical derivatives of the fit.
constexpr double kCuFeNiStep = 1e-5;

// phi[q][l] = d mu_q / d N_l (J/mol) for the three components q and the
// ratios l = 0 (Cu) and 1 (Fe) at x = N_Cu, y = N_Fe: kCuFeNiRT times
// (dF_q/du) / F_q, u the ratio varied with the other one fixed, by
// three-point differences with step kCuFeNiStep: central inside
// [0.0001, 0.9999], one-sided where a neighbour would leave that range
// (backward when u + h > 0.9999, forward when u - h < 0.0001; NaN gives
// a difference of 0). The three components share every evaluation point
// of the fit, so each point's Chebyshev terms are formed once.
struct CuFeNiPhi {
  double phi[3][2];
};
CuFeNiPhi cuFeNiPotentialDerivatives(double x, double y);

// The same at `count` compositions at once (none when count <= 0): phi[k]
// holds the derivatives at x[k], y[k], exactly the doubles of the single
// evaluation. The compositions lie side by side in the lanes of the vector
// unit, each lane's sums in the term order above and nothing fused, so the
// width of the instructions never changes a bit. The widest path the
// processor has is taken (512, 256 or 128 bits, chosen once per process);
// the environment variable TORVEX_VECTOR_BITS (128 or 256) forces a
// narrower one, for tests and timings. The math library is not called on
// any path.
void cuFeNiPotentialDerivatives(const double* x, const double* y, int count, CuFeNiPhi* phi);

// Width in bits of the instructions of the path cuFeNiPotentialDerivatives
// takes in this process: the widest this processor runs, at most
// TORVEX_VECTOR_BITS when that holds a number (128 below 256, 256 below 512).
int cuFeNiVectorBits();
// Whether this processor (and build) has the path of `bits` (128, 256, 512);
// 128 runs everywhere.
bool cuFeNiVectorPathRuns(int bits);
// The evaluation on the path of `bits`, which must run here: for tests and
// benchmarks that compare the paths in one process.
void cuFeNiPotentialDerivativesOnPath(int bits, const double* x, const double* y, int count, CuFeNiPhi* phi);

}  // namespace torvex
