#pragma once
// The books of a coating-life run, kept beside the integration: the oxide
// scale's ledger (growth, spallation at every cool-down of the thermal
// cycles), and the watch on the critical content that ends the run. Any time
// loop calls the same two functions, so the books do not depend on how a
// pass is integrated.

#include <string>

#include "model/case.h"
#include "solver/run_state.h"

namespace torvex {

// Whether the case asks for the books: any life setting, or cycles.
bool keepsLifeBooks(const Case& c);

// Once before the first pass, after the records are opened (the scale has
// its starting thickness): opens the books and looks at the critical content
// of the starting profile, so that a case spent at the start has its life at
// the start time. Allocates what the passes need.
void BeginLifeBooks(const Case& c, RunState& s);

// After every accepted pass, with the clock and the scale thickness already
// advanced and before the pass is refreshed: the ledger takes the scale's
// growth; at a cool-down of the cycles the scale spalls as the law says (the
// run's thickness follows); the critical content is watched, and when the
// condition first holds s.life.spent is set and the run ends after this
// pass. Allocates nothing.
void KeepLifeBooks(const Case& c, RunState& s);

// The extra series columns of a life run (a leading comma each, no line end);
// empty for a run without life settings, whose series stays as it was.
std::string lifeSeriesHeader(const Case& c);
// The row's fields under those columns.
void appendLifeSeriesFields(std::string& row, const Case& c, const RunState& s);

}  // namespace torvex
