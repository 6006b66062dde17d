#include "solver/cu_fe_ni.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "model/number_format.h"

namespace torvex {

// Coefficients of F_Cu, F_Fe, F_Ni. Term p pairs T_a(s) T_(g-a)(w), the
// terms ordered by total degree g = 0 .. 9 and within a degree by the degree
// a of s from g down to 0.
const double kCuFeNiChebyshev[3][kCuFeNiTerms] = {
    // Cu
    {4.004629672220938,      5.495593548047042,      5.874902306333227,     2.91508668622119,
     9.036764375411359,      3.854288895296389,      1.910680247823061,     5.446243352055611,
     6.237901507023119,      1.951481437260558,      0.6705198242317099,    3.193195879904538,
     3.826388152746532,      3.167137127970849,      0.7128551417042581,    0.1925330834526277,
     1.17270310240722,       1.999106528449478,      1.873231966665243,     1.151583282369143,
     0.1840714355881591,     0.0132796870509581,     0.2839945555314926,    0.6746168926082085,
     0.8705846565681992,     0.6446905891994278,     0.2898481789282969,    0.02767141273057889,
     0.003327345858028722,   0.02497206775870917,    0.1272854833139108,    0.246115188721144,
     0.2612585995961171,     0.1466305387994685,     0.03999847870507092,   0.0007755552107826609,
     -0.001235885995476558,  0.003669113250421948,   0.0098870723070799,    0.03342161246115992,
     0.05985369330967293,    0.048928026654842,      0.01596586051466134,   0.0003880095565142584,
     -0.0004354670004208645, 4.260063803367726e-05,  -0.001111009034958476, 0.0009192012454436122,
     0.0003118662977067475,  0.004517647744802073,   0.008095185514758558,  0.003638688761463786,
     -0.0004016045016167422, -0.0004137751415061363, -2.811145578615051e-06},
    // Fe
    {2.912351346512742,     3.929827173574409,    4.117085322950794,     1.889974004803471,     5.925303382640867,
     3.563805090332387,     0.3715910265456454,   3.015797684047104,     6.15636256397986,      3.676926806316624,
     -0.2198042947736875,   0.5536313782118794,   3.776793954228004,     6.374240213787,        1.524048697967575,
     -0.187732199560607,    -0.4648940569746458,  1.328752823548211,     3.962842675681309,     2.542040851337478,
     0.219614724509042,     -0.03769038709582479, -0.3961260687785016,   0.05277905173110922,   1.677859865864327,
     1.483923880342957,     0.3508147416644945,   0.01888994805150433,   0.01308394850731541,   -0.1089890528980234,
     -0.1774552321573929,   0.4322393363818057,   0.585362573609758,     0.1821669010627973,    0.03084840869285819,
     0.006378620078322773,  0.006616840064596606, 0.003556865210909091,  -0.07384573553915082,  0.04745844767938709,
     0.1424658650362836,    0.05600567584809763,  0.01247698790632246,   0.008997998774342097,  0.0007861097297560671,
     7.990077647426443e-05, 0.006547505910328894, -0.009458869812531016, -0.002594408952152622, 0.01655738185762615,
     0.00806574024185048,   0.00181322959510706,  0.002338643238046009,  0.0002947840398887317, -0.0001347906234218351},
    // Ni
    {0.7915995887150957,    0.888910406371698,      0.7875174576823308,    0.9690925696373097,
     2.279355421284405,     0.8160179378279389,     0.6207779137858797,    1.74369659708462,
     1.377117880531106,     0.3016515633613335,     0.321381457593633,     1.132708685337545,
     1.107028662367874,     0.6129181360080062,     0.06377958972286499,   0.1084946160292246,
     0.5649468448907742,    0.7693691355376348,     0.5719365388620395,    0.1470286738583625,
     -0.02668489512737179,  0.02207188255155564,    0.1918118917276637,    0.3887242636543598,
     0.3905365971800914,    0.1297814346539046,     -0.0437997991769456,   -0.01091888147752623,
     0.002104354516000179,  0.03699561709395378,    0.1230485089074511,    0.1761367782867862,
     0.08395728314691878,   -0.01675774288313063,   -0.01613709823758987,  -0.0002841949064502593,
     0.0001194267970906074, 0.003169434865912071,   0.02009939343240857,   0.04479655955148258,
     0.03150844190994407,   -0.0009030176000653562, -0.005388009252653849, 8.717820586831865e-05,
     0.0002483058963199955, -4.053099839663835e-07, 0.0001215358009575926, 0.001080177932880328,
     0.00479211603433369,   0.005251113339909071,   0.0009266343801221371, -0.0006806730893271195,
     7.322911408932581e-05, 0.0003587223336036175,  8.279156351680878e-05},
};

namespace {

constexpr int kDegree = kCuFeNiDegree;

// Compositions are evaluated side by side, one in each lane of a vector of
// W doubles, W as wide as the path's instructions (8 for 512 bits). Vector
// operations act on each lane exactly as the scalar operation would, and
// -ffp-contract=off keeps every multiply and add apart on every path, so
// each lane gives the double of a single evaluation; a choice between
// formulas is a selection per lane that leaves the chosen value untouched.
template <int W>
struct LanesOf;
template <>
struct LanesOf<2> {
  using Type = double __attribute__((vector_size(16)));
};
template <>
struct LanesOf<4> {
  using Type = double __attribute__((vector_size(32)));
};
template <>
struct LanesOf<8> {
  using Type = double __attribute__((vector_size(64)));
};
template <int W>
using Lanes = typename LanesOf<W>::Type;

// Everything below is always inlined into the path that uses it: a wide
// path must not call code built for the baseline instruction set, since
// switching between the two with the upper halves of the vector registers
// in use stalls the processor at every call.
// They hand vectors back through references, never as return values, whose
// passing would differ between the instruction sets.
#define TORVEX_INLINE [[gnu::always_inline]] inline

// z cut to [-1, 1]; NaN stays NaN.
template <int W>
TORVEX_INLINE void clip(Lanes<W>& z) {
  const Lanes<W> one = Lanes<W>{} + 1, minusOne = Lanes<W>{} - 1;
  z = z > one ? one : (z < minusOne ? minusOne : z);
}

// The second point of a one-sided difference at u: forward (u + 2h) when
// u - h < 0.0001, otherwise backward (u - 2h); only used by those rules.
template <int W>
TORVEX_INLINE void outerPoint(const Lanes<W>& u, Lanes<W>& outer) {
  constexpr double h = kCuFeNiStep;
  outer = u - h < Lanes<W>{} + 0.0001 ? u + 2 * h : u - 2 * h;
}

// F_q at the compositions x, y of the lanes: the three sums formed side by
// side from 0 in term order.
template <int W>
TORVEX_INLINE void fitLanes(const Lanes<W>& x, const Lanes<W>& y, Lanes<W> (&F)[3]) {
  Lanes<W> Ts[kDegree + 1], Tw[kDegree + 1];
  Ts[0] = Tw[0] = Lanes<W>{} + 1;
  Ts[1] = (x - kCuFeNiCuCentre) * kCuFeNiCuScale;
  Tw[1] = (y - kCuFeNiFeCentre) * kCuFeNiFeScale;
  clip<W>(Ts[1]);
  clip<W>(Tw[1]);
  for (int m = 2; m <= kDegree; ++m) {
    Ts[m] = 2 * Ts[1] * Ts[m - 1] - Ts[m - 2];
    Tw[m] = 2 * Tw[1] * Tw[m - 1] - Tw[m - 2];
  }
  Lanes<W> sums[3] = {};
  int p = 0;
#pragma GCC unroll 10
  for (int g = 0; g <= kDegree; ++g)
#pragma GCC unroll 10
    for (int a = g; a >= 0; --a, ++p) {
      const Lanes<W> term = Ts[a] * Tw[g - a];
      for (int q = 0; q < 3; ++q) sums[q] += kCuFeNiChebyshev[q][p] * term;
    }
  for (int q = 0; q < 3; ++q) F[q] = sums[q];
}

// (dF/du) / F from the fit's values at u (b), u + h (d), u - h (e) and the
// outer point (f), by the rule the range of u asks for: backward where
// u + h > 0.9999, forward where u - h < 0.0001 (checked second, so it wins),
// central where both neighbours lie inside; 0 where none applies (NaN).
template <int W>
TORVEX_INLINE void logDerivative(const Lanes<W>& u, const Lanes<W>& b, const Lanes<W>& d, const Lanes<W>& e,
                                 const Lanes<W>& f, Lanes<W>& result) {
  constexpr double h = kCuFeNiStep;
  const Lanes<W> upper = Lanes<W>{} + 0.9999, lower = Lanes<W>{} + 0.0001, zero = {};
  Lanes<W> D = u + h > upper ? (3 * b - 4 * e + f) / (2 * h) : zero;
  D = u - h < lower ? (-3 * b + 4 * d - f) / (2 * h) : D;
  D = ((u + h <= upper) & (u - h >= lower)) ? (d - e) / (2 * h) : D;
  result = D / b;
}

// Whether a lane's u lies near an end of its range, where the difference
// in u is one-sided and needs its outer point.
template <int W>
TORVEX_INLINE bool anyNearEnd(const Lanes<W>& u) {
  constexpr double h = kCuFeNiStep;
  const auto nearEnd = (u + h > Lanes<W>{} + 0.9999) | (u - h < Lanes<W>{} + 0.0001);
  bool any = false;
  for (int lane = 0; lane < W; ++lane) any = any || nearEnd[lane] != 0;
  return any;
}

// The stencil points of both differences, and the outer points of the
// one-sided differences, each only evaluated when a lane is near an end of
// that ratio's range (elsewhere the rule leaves its value unused).
enum Point { kCentre, kCuPlus, kCuMinus, kFePlus, kFeMinus, kCuOuter, kFeOuter, kPoints };

// The derivatives at W compositions (x, y hold W values each).
template <int W>
TORVEX_INLINE void derivativesOfLanes(const double* x, const double* y, CuFeNiPhi* phi) {
  constexpr double h = kCuFeNiStep;
  Lanes<W> X, Y;
  __builtin_memcpy(&X, x, sizeof X);
  __builtin_memcpy(&Y, y, sizeof Y);
  Lanes<W> u[kPoints] = {X, X + h, X - h, X, X, X, X};
  Lanes<W> v[kPoints] = {Y, Y, Y, Y + h, Y - h, Y, Y};
  outerPoint<W>(X, u[kCuOuter]);
  outerPoint<W>(Y, v[kFeOuter]);
  int points[kPoints] = {kCentre, kCuPlus, kCuMinus, kFePlus, kFeMinus};
  int count = kCuOuter;
  if (anyNearEnd<W>(X)) points[count++] = kCuOuter;
  if (anyNearEnd<W>(Y)) points[count++] = kFeOuter;

  Lanes<W> F[kPoints][3] = {};
  for (int j = 0; j < count; ++j) fitLanes<W>(u[points[j]], v[points[j]], F[points[j]]);

  for (int q = 0; q < 3; ++q) {
    Lanes<W> cu, fe;
    logDerivative<W>(X, F[kCentre][q], F[kCuPlus][q], F[kCuMinus][q], F[kCuOuter][q], cu);
    logDerivative<W>(Y, F[kCentre][q], F[kFePlus][q], F[kFeMinus][q], F[kFeOuter][q], fe);
    for (int lane = 0; lane < W; ++lane) {
      phi[lane].phi[q][0] = kCuFeNiRT * cu[lane];
      phi[lane].phi[q][1] = kCuFeNiRT * fe[lane];
    }
  }
}

// Whether two doubles have the same bits: equal compositions give equal
// derivatives bit for bit, whatever the values (NaN, -0 included).
TORVEX_INLINE bool sameBits(double a, double b) {
  return __builtin_bit_cast(unsigned long long, a) == __builtin_bit_cast(unsigned long long, b);
}

// The derivatives of the first `lanes` (1 to W) of the compositions xs, ys
// into phi[first[lane]]; the spare lanes repeat the last composition and
// are dropped. (A function of its own, not a lambda: a lambda would not be
// compiled for the instruction set of the path.)
template <int W>
TORVEX_INLINE void evaluateLanes(double (&xs)[W], double (&ys)[W], const int (&first)[W], int lanes, CuFeNiPhi* phi) {
  for (int lane = lanes; lane < W; ++lane) {
    xs[lane] = xs[lanes - 1];
    ys[lane] = ys[lanes - 1];
  }
  CuFeNiPhi out[W];
  derivativesOfLanes<W>(xs, ys, out);
  for (int lane = 0; lane < lanes; ++lane) phi[first[lane]] = out[lane];
}

// Whether node k repeats the composition of node k - 1.
TORVEX_INLINE bool repeatsPrevious(const double* x, const double* y, int k) {
  return k > 0 && sameBits(x[k], x[k - 1]) && sameBits(y[k], y[k - 1]);
}

// `count` compositions, W at a time. A flat stretch of the profile repeats
// a composition from node to node (in a diffusion couple a third of all
// nodes over a run): only the first of each run of equal compositions is
// evaluated, the others copy its derivatives. W nodes in a row that repeat
// nothing are read straight into the vectors; otherwise the compositions to
// evaluate are gathered lane by lane.
template <int W>
TORVEX_INLINE void derivativesOf(const double* x, const double* y, int count, CuFeNiPhi* phi) {
  double xs[W], ys[W];
  int first[W];  // the node whose composition each gathered lane holds
  int lanes = 0;
  bool repeats = false;
  for (int k = 0; k < count;) {
    if (lanes == 0 && k + W <= count) {
      bool distinct = true;
      for (int j = k; j < k + W; ++j) distinct &= !repeatsPrevious(x, y, j);
      if (distinct) {
        derivativesOfLanes<W>(x + k, y + k, phi + k);
        k += W;
        continue;
      }
    }
    if (repeatsPrevious(x, y, k)) {
      repeats = true;
    } else {
      xs[lanes] = x[k];
      ys[lanes] = y[k];
      first[lanes] = k;
      if (++lanes == W) {
        evaluateLanes<W>(xs, ys, first, W, phi);
        lanes = 0;
      }
    }
    ++k;
  }
  if (lanes > 0) evaluateLanes<W>(xs, ys, first, lanes, phi);
  if (repeats)
    for (int k = 1; k < count; ++k)
      if (repeatsPrevious(x, y, k)) phi[k] = phi[k - 1];
}

#undef TORVEX_INLINE

// One body, compiled once per instruction set: the target attribute decides
// only how wide the instructions of each copy are.
void derivatives128(const double* x, const double* y, int count, CuFeNiPhi* phi) {
  derivativesOf<2>(x, y, count, phi);
}
#if defined(__x86_64__)
#define TORVEX_CU_FE_NI_WIDE_PATHS 1
__attribute__((target("avx2"))) void derivatives256(const double* x, const double* y, int count, CuFeNiPhi* phi) {
  derivativesOf<4>(x, y, count, phi);
}
__attribute__((target("avx512f"))) void derivatives512(const double* x, const double* y, int count, CuFeNiPhi* phi) {
  derivativesOf<8>(x, y, count, phi);
}
#endif

using Derivatives = void (*)(const double*, const double*, int, CuFeNiPhi*);

Derivatives derivativesOfPath(int bits) {
#ifdef TORVEX_CU_FE_NI_WIDE_PATHS
  if (bits == 512) return derivatives512;
  if (bits == 256) return derivatives256;
#endif
  (void)bits;
  return derivatives128;
}

// The widest path that runs here, at most `limit` bits.
int widestPath(int limit) {
  for (int bits : {512, 256})
    if (bits <= limit && cuFeNiVectorPathRuns(bits)) return bits;
  return 128;
}

// TORVEX_VECTOR_BITS as a limit; no limit when unset or not a number.
int requestedLimit() {
  const char* text = std::getenv("TORVEX_VECTOR_BITS");
  if (text == nullptr) return 512;
  const std::optional<int> bits = parseInteger(text);
  return bits ? std::min(*bits, 512) : 512;
}

}  // namespace

CuFeNiDiffusivities cuFeNiDiffusivities(double a, double b) {
  // P_i of Cu, Fe and Ni, each power of a and b taken once.
  using std::pow;
  const double a2 = pow(a, 2), a3 = pow(a, 3), a4 = pow(a, 4), a5 = pow(a, 5);
  const double b2 = pow(b, 2), b3 = pow(b, 3), b4 = pow(b, 4);
  const double P[3] = {
      -7.161 + 4.109 * a - 2.176 * a2 - 0.537 * b - 8.108 * b2 + 31.006 * b3 - 23.574 * b4,
      -7.617 + 11.388 * a - 57.156 * a2 + 140.331 * a3 - 144.9 * a4 + 52.761 * a5 + 1.023 * b - 13.879 * b2 +
          30.017 * b3 - 18.15 * b4,
      -7.933 + 3.496 * a + 1.083 * b - 3.238 * a2 - 3.108 * b2 - 2.447 * a * b + 2.251 * a3 + 1.915 * b3 +
          2.753 * a * b2 - 3.563 * a2 * b,
  };
  const double perHour = std::log10(3600.0);
  CuFeNiDiffusivities result;
  for (int i = 0; i < 3; ++i) result.D[i] = std::pow(10.0, P[i] - perHour);
  return result;
}

CuFeNiPhi cuFeNiPotentialDerivatives(double x, double y) {
  CuFeNiPhi phi;
  cuFeNiPotentialDerivatives(&x, &y, 1, &phi);
  return phi;
}

bool cuFeNiVectorPathRuns(int bits) {
  if (bits == 128) return true;
#ifdef TORVEX_CU_FE_NI_WIDE_PATHS
  __builtin_cpu_init();
  if (bits == 256) return __builtin_cpu_supports("avx2");
  if (bits == 512) return __builtin_cpu_supports("avx512f");
#endif
  return false;
}

int cuFeNiVectorBits() {
  static const int bits = widestPath(requestedLimit());
  return bits;
}

void cuFeNiPotentialDerivativesOnPath(int bits, const double* x, const double* y, int count, CuFeNiPhi* phi) {
  derivativesOfPath(bits)(x, y, count, phi);
}

void cuFeNiPotentialDerivatives(const double* x, const double* y, int count, CuFeNiPhi* phi) {
  static const Derivatives derivatives = derivativesOfPath(cuFeNiVectorBits());
  derivatives(x, y, count, phi);
}

}  // namespace torvex
