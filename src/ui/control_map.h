#pragma once
// Which data-file key each control of the Data page edits. The controls keep
// the names their handlers have always had (Edit11, Edit11C, Button4 …); this
// table is the map a maintainer reads them by. The writer and the reader of
// data files follow the same order (see data_file_writer.cpp and
// form_reader.cpp); the key table itself is model/data_file_keys.h.

#include <array>
#include <optional>

#include "model/data_file_keys.h"

namespace torvex {

struct ControlKey {
  const char* control;
  std::optional<DataKey> key;  // none for controls that edit no value line
  const char* meaning;
};

// clang-format off
inline constexpr std::array<ControlKey, 38> kControlKeys = {{
    {"Edit1",   DataKey::D0,  "number of components r; rebuilds the per-component boxes and the profile grid"},
    {"Edit2",   DataKey::D1,  "start of the process time [s]"},
    {"Edit3",   DataKey::D1,  "end of the process time [s]"},
    {"Edit4",   DataKey::D2,  "number of grid points n"},
    {"Edit5",   DataKey::D3,  "initial time step [s]"},
    {"Edit6",   DataKey::D4,  "concentration error of a pass"},
    {"Edit7",   DataKey::D5,  "largest time step [s]"},
    {"Edit8",   DataKey::D6,  "passes between changes of the time step"},
    {"Edit9",   DataKey::D7,  "time step multiplier"},
    {"Edit10",  DataKey::D8,  "temperature [K]"},
    {"Edit11C", DataKey::D9,  "self-diffusion coefficients: formulas, matrix or built-in Cu-Fe-Ni"},
    {"Edit28",  DataKey::D9,  "diffusivity file name"},
    {"Button1", DataKey::D9,  "picks the diffusivity file"},
    {"Button4", DataKey::D9,  "edits the diffusivity file as text"},
    {"Edit12",  DataKey::D9a, "correlation factor f"},
    {"Edit13",  DataKey::D10, "hidden template of the molar-mass boxes (MolarMassBoxes, one per component)"},
    {"Edit14",  DataKey::D11, "hidden template of the molar-volume boxes (MolarVolumeBoxes, one per component)"},
    {"Edit15C", DataKey::D12, "activities: ideal, Cu-Fe-Ni, Fe-Ni-Cr or chemical-potential derivatives from a file"},
    {"Edit29",  DataKey::D12, "activities file name"},
    {"Button2", DataKey::D12, "picks the activities file"},
    {"Button6", DataKey::D12, "edits the activities file as text"},
    {"Edit16C", DataKey::D13, "constitutive equations: Nernst-Planck/Fick or Onsager"},
    {"Edit17C", DataKey::D14, "mass-conservation form: volume-fixed or classic"},
    {"Edit18C", DataKey::D15, "Darken velocity: zero or computed"},
    {"Edit19C", DataKey::D16, "difference scheme"},
    {"Edit20",  DataKey::D17, "passes between refreshes of the graphs"},
    {"Edit21",  DataKey::D17, "passes between saves of the results"},
    {"Edit22C", DataKey::D18, "delay after each pass [ms]"},
    {"Edit23C", DataKey::D19, "Kirkendall plane on the graphs: hidden or shown"},
    {"Edit24C", DataKey::D20, "initial Kirkendall plane: middle of the sample or declared"},
    {"Edit11",  DataKey::D20, "declared initial Kirkendall plane position [cm]"},
    {"Edit25C", DataKey::D21, "boundary flux: closed, formulas or selective oxidation"},
    {"Edit30",  DataKey::D21, "boundary flux file name"},
    {"Button3", DataKey::D21, "picks the boundary flux file"},
    {"Button5", DataKey::D21, "edits the boundary flux file as text"},
    {"Edit31",  DataKey::D21, "minimal molar fraction"},
    {"Edit26",  DataKey::D22, "number of initial profile rows; rebuilds the grid or shows Memo1"},
    {"Edit27",  DataKey::D23, "hidden template of the profile grid (ProfileGrid, or Memo1 beyond 9 rows)"},
}};
// clang-format on

}  // namespace torvex
