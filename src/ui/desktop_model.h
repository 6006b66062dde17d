#pragma once
// What the desktop program holds: the simulation of its session (the case of
// the last START, the state of its run, and the records, which accumulate
// run after run as they always have in one session) and where the program
// lives. Its one instance, Form1, belongs to the GUI; the windows and the run
// thread work on it.

#include <string>

#include "run/simulation.h"

namespace torvex {

class DesktopModel : public Simulation {
 public:
  // The program's directory, ending in '/': where a bare side-file name in
  // the forms is looked for and where the file dialogs open.
  std::string applicationDirectory;
};

}  // namespace torvex
