#pragma once
// What a coating-life run asks beyond the case: how the scale spalls when the
// sample cools, what the scale is made of (for the specific mass change), and
// when the coating or alloy counts as spent. Each is read from the text the
// user gives (a command-line option or a study setting); every refusal names
// where the text stands, the text and what is wrong.

#include <optional>
#include <string>
#include <string_view>

namespace torvex {

struct HeatTreatment;

// The fraction of the retained scale that spalls at a cool-down:
// Q0 · (ξ / 1 µm)^ALPHA of its thickness ξ, at most all of it. ALPHA = 0 is a
// constant fraction; a positive ALPHA lets thicker scales spall more.
struct SpallLaw {
  double q0 = 0;
  double alpha = 0;

  // The fraction (0 .. 1) that spalls from a scale of `thickness` cm.
  [[nodiscard]] double fraction(double thickness) const;
  [[nodiscard]] std::string text() const;
};

// Reads "Q0[,ALPHA]". Refuses a value that is not a finite number, Q0 below 0,
// and ALPHA below 0.
SpallLaw parseSpall(std::string_view text, const std::string& place);

// The oxide the scale is: NU oxygen atoms per atom of component 1 (1.5 for a
// sesquioxide M2O3, 1 for MO) and the molar mass of the oxygen-bearing part
// (g/mol; oxygen unless told otherwise).
struct OxideComposition {
  static constexpr double kOxygenMolarMass = 15.999;
  double oxygenPerMetal = 1;
  double oxygenMolarMass = kOxygenMolarMass;

  [[nodiscard]] std::string text() const;
};

// Reads "NU[,M_OX]". Refuses a value that is not a finite number above 0.
OxideComposition parseOxide(std::string_view text, const std::string& place);

// A content at which the protection ends: the molar fraction of a component
// at the oxidising surface (the right end), or its lowest or highest value
// anywhere in the sample, falling below or rising above a value.
//
//   N1<0.04        component 1 at the surface below 0.04
//   min(N1)<0.04   component 1 below 0.04 somewhere in the sample
//   N3>0.5         component 3 at the surface above 0.5
//   max(N3)>0.5    component 3 above 0.5 somewhere
struct CriticalContent {
  enum class Where { kSurface, kLowest, kHighest };
  int component = 0;  // 0-based
  Where where = Where::kSurface;
  bool below = true;  // the condition is content < value; otherwise content > value
  double value = 0;

  // Whether a content (the surface's, the lowest or the highest, as `where`
  // says) meets the condition.
  [[nodiscard]] bool holds(double content) const { return below ? content < value : content > value; }
  [[nodiscard]] std::string text() const;
};

// Reads a condition as above (blanks allowed around the pieces). Refuses a
// component that is not N followed by a number from 1, a comparison other
// than < or > (and min with >, max with <, which say nothing about an end of
// life), and a value that is not a molar fraction strictly between 0 and 1.
// Whether the component exists is checked with the case (checkLifeSettings).
CriticalContent parseCritical(std::string_view text, const std::string& place);

// The life settings of one run, each absent unless given.
struct LifeSettings {
  bool hasCycles = false;
  bool hasSpall = false;
  SpallLaw spall;
  bool hasOxide = false;
  OxideComposition oxide;
  bool hasCritical = false;
  CriticalContent critical;
  bool receding = false;
};

// What the case says that the settings depend on.
struct LifeCase {
  int componentCount = 0;
  int boundaryFluxMode = 0;  // 2: selective oxidation of component 1 at the right end
  int differenceScheme = 0;  // 3: the conservative scheme
};

// Refuses settings the case cannot run with, naming the option and why:
// spallation without cycles (the scale spalls when a cycle cools down) or
// without selective oxidation, oxide data or a receding surface without
// selective oxidation, a receding surface with another scheme than the
// conservative one (only it keeps every inventory while the grid moves), and
// a critical content of a component the case does not have.
void checkLifeSettings(const LifeSettings& settings, const LifeCase& lifeCase);

// One life option as the user gave it: its text (none when not given) and
// where it stands, for messages ("--cycles", "study.toml, line 7, cycles").
struct LifeOptionText {
  std::optional<std::string> text;
  std::string place;
};

// The life options of a run as given: cycles, spallation, oxide and critical
// content, each read by its parser.
struct LifeOptionTexts {
  LifeOptionText cycles{{}, "--cycles"};
  LifeOptionText spall{{}, "--spall"};
  LifeOptionText oxide{{}, "--oxide"};
  LifeOptionText critical{{}, "--critical"};
  bool receding = false;  // --receding, a switch

  [[nodiscard]] bool empty() const { return !cycles.text && !spall.text && !oxide.text && !critical.text && !receding; }
};

// Reads the options into a heat treatment: the cycles follow its schedule
// (or start at `runStart`, s, without one) and the other settings go into
// heat.life. Throws InputError naming the place, the text and what is wrong;
// whether the settings suit the case is Case::validate's to say.
void installLifeOptions(HeatTreatment& heat, const LifeOptionTexts& texts, double runStart);

}  // namespace torvex
