#include "model/sample_files.h"

#include "model/data_file_keys.h"
#include "model/text_list.h"

namespace torvex {
namespace {

// The exact lines of the seven sample files. Users compare their own files
// with these, so every character matters.
// clang-format off

// The value lines of each key (D23: one line per initial point).
const std::vector<std::string_view> kInterdiffusionValues = {
    "   3",
    "   0   612000",
    "   200",
    "   1.0e-4",
    "   1.0e-4",
    "   25",
    "   25",
    "   2",
    "   1273",
    "   1 inter_diff.dfv",
    "   1.0",
    "   63.546 55.847 58.71",
    "   6.132 7.096 6.587",
    "   1 activities.act",
    "   0",
    "   0",
    "   1",
    "   0",
    "   250   250",
    "   10",
    "   0",
    "   0",
    "   0 fluxes_2.flx 6.58e-7",
    "   2",
    "   -0.1 85 0.5 0.0 0.0 0.0",
    "   0.1 0.5 25 0.0 0.0 0.0",
};

const std::vector<std::string_view> kOxidationValues = {
    "   2",
    "   0   612000",
    "   200",
    "   1.0e-4",
    "   1.0e-4",
    "   25",
    "   25",
    "   2",
    "   1123",
    "   0 oxid_diff.dfv",
    "   1.0",
    "   58.69  195.08",
    "   6.587 9.09",
    "   0 activities.act",
    "   0",
    "   0",
    "   1",
    "   0",
    "   250   250",
    "   10",
    "   0",
    "   0",
    "   2 oxid_flux.flx 6.58e-7",
    "   2",
    "   0.0 20 0.0 0.0 0.0",
    "   0.002 20 0.0 0.0 0.0",
};

const std::vector<std::string_view> kOxidDiffDfv = {
    "###Torvex_v2.3###",
    "# Initial diffusivity file",
    "# variables: N1, N2,... Nr - molar ratio of the components, t - time, T - temperature",
    "# functions: exp(), log()",
    "# operands: ^, *, /, +, -",
    "# 1 component diffusivity",
    "3.1e-12",
    "# 2 component diffusivity",
    "3.1e-12",
    "#End of initial diffusivity file",
};

const std::vector<std::string_view> kInterDiffDfv = {
    "###Torvex_v2.3###",
    "# Initial diffusivity file",
    "# variables: N1, N2,... Nr - molar ratio of the components, t - time, T - temperature",
    "# functions: exp(), log()",
    "# operands: ^, *, /, +, -",
    "# Diffusivities matrix:",
    "1.021e-9 0 0",
    "0 1.254e-10 0",
    "0 0 3.647e-12",
    "#End of initial diffusivity file",
};

const std::vector<std::string_view> kActivitiesAct = {
    "###Torvex_v2.3###",
    "# Initial activities file",
    "# variables: N1, N2,... Nr - molar ratio of the components, t - time, T - temperature",
    "# functions: exp(), log()",
    "# operands: ^, *, /, +, -",
    "# the difference of i-th chemical potential by j-th molar ratio",
    "# the difference of 1-st chemical potential by 1-st molar ratio",
    "((1.0-N1)*((2.0*(584.805-584.805)*(N2^3.0))/((0-1.0+N1)^3.0)+(8.314*T*(0-1.0+N2))/(N1*(0-1.0+N1+N2))+(2.0*(749.25144461156-16744.1999471303)*(N2^3.0))/((N1+N2)^3.0)+(0-16893.4375795388*(4.0-6.0*N1-4.0*N2)+2.0*(0-15145.8179184394)*N2)/(0-1.0+N2))-N2*((0-16893.4375795388*(3*(N1^2)-((0-1+N2)^2))-15145.8179184394*(0-2*N1+((0-1+N2)^2)))/((0-1+N2)^2)-(8.314*T)/(0-1+N1+N2)+(0-749.25144461156*(N2^2)*(3*N1+N2)-16744.1999471303*(N1^2)*(N1+3*N2))/((N1+N2)^3)-(3*(0-584.805)*(N2^2)-584.805*(1-2*N1+(N1^2)-3*(N2^2)))/((0-1+N1)^2)))",
    "# the difference of 1-st chemical potential by 2-nd molar ratio",
    "((0-N2)*((2*(N1^2.0)*(0-15145.8179184394+16893.4375795388*N1))/((0-1+N2)^3)+(8.314*T*(0-1+N1))/(N2*(0-1+N1+N2))+(2*(0-749.25144461156+16744.1999471303)*(N1^3))/((N1+N2)^3)+(0-584.805*(4-4*N1-6*N2)+2*(0-584.805)*(0-1+N1+3*N2))/(0-1+N1))+(1.0-N1)*((0-16893.4375795388*(3*(N1^2)-((0-1+N2)^2))-15145.8179184394*(0-2*N1+((0-1+N2)^2)))/((0-1+N2)^2)-(8.314*T)/(0-1+N1+N2)+(0-749.25144461156*(N2^2)*(3*N1+N2)-16744.1999471303*(N1^2)*(N1+3*N2))/((N1+N2)^3)-(3*(0-584.805)*(N2^2)-584.805*(1-2*N1+(N1^2)-3*(N2^2)))/((0-1+N1)^2)))",
    "# the difference of 1-st chemical potential by 3-rd molar ratio",
    "0",
    "# the difference of 2-nd chemical potential by 1-st molar ratio",
    "((0-N1)*((2.0*(584.805-584.805)*(N2^3.0))/((0-1.0+N1)^3.0)+(8.314*T*(0-1.0+N2))/(N1*(0-1.0+N1+N2))+(2.0*(749.25144461156-16744.1999471303)*(N2^3.0))/((N1+N2)^3.0)+(0-16893.4375795388*(4.0-6.0*N1-4.0*N2)+2.0*(0-15145.8179184394)*N2)/(0-1.0+N2))+(1.0-N2)*((0-16893.4375795388*(3*(N1^2)-((0-1+N2)^2))-15145.8179184394*(0-2*N1+((0-1+N2)^2)))/((0-1+N2)^2)-(8.314*T)/(0-1+N1+N2)+(0-749.25144461156*(N2^2)*(3*N1+N2)-16744.1999471303*(N1^2)*(N1+3*N2))/((N1+N2)^3)-(3*(0-584.805)*(N2^2)-584.805*(1-2*N1+(N1^2)-3*(N2^2)))/((0-1+N1)^2)))",
    "# the difference of 2-nd chemical potential by 2-nd molar ratio",
    "((1.0-N2)*((2*(N1^2.0)*(0-15145.8179184394+16893.4375795388*N1))/((0-1+N2)^3)+(8.314*T*(0-1+N1))/(N2*(0-1+N1+N2))+(2*(0-749.25144461156+16744.1999471303)*(N1^3))/((N1+N2)^3)+(0-584.805*(4-4*N1-6*N2)+2*(0-584.805)*(0-1+N1+3*N2))/(0-1+N1))-N1*((0-16893.4375795388*(3*(N1^2)-((0-1+N2)^2))-15145.8179184394*(0-2*N1+((0-1+N2)^2)))/((0-1+N2)^2)-(8.314*T)/(0-1+N1+N2)+(0-749.25144461156*(N2^2)*(3*N1+N2)-16744.1999471303*(N1^2)*(N1+3*N2))/((N1+N2)^3)-(3*(0-584.805)*(N2^2)-584.805*(1-2*N1+(N1^2)-3*(N2^2)))/((0-1+N1)^2)))",
    "# the difference of 2-nd chemical potential by 3-rd molar ratio",
    "0",
    "# the difference of 3-rd chemical potential by 1-st molar ratio",
    "(0-N1*((2.0*(584.805-584.805)*(N2^3.0))/((0-1.0+N1)^3.0)+(8.314*T*(0-1.0+N2))/(N1*(0-1.0+N1+N2))+(2.0*(749.25144461156-16744.1999471303)*(N2^3.0))/((N1+N2)^3.0)+(0-16893.4375795388*(4.0-6.0*N1-4.0*N2)+2.0*(0-15145.8179184394)*N2)/(0-1.0+N2))-N2*((0-16893.4375795388*(3*(N1^2)-((0-1+N2)^2))-15145.8179184394*(0-2*N1+((0-1+N2)^2)))/((0-1+N2)^2)-(8.314*T)/(0-1+N1+N2)+(0-749.25144461156*(N2^2)*(3*N1+N2)-16744.1999471303*(N1^2)*(N1+3*N2))/((N1+N2)^3)-(3*(0-584.805)*(N2^2)-584.805*(1-2*N1+(N1^2)-3*(N2^2)))/((0-1+N1)^2)))",
    "# the difference of 3-rd chemical potential by 2-nd molar ratio",
    "(0-N2*((2*(N1^2.0)*(0-15145.8179184394+16893.4375795388*N1))/((0-1+N2)^3)+(8.314*T*(0-1+N1))/(N2*(0-1+N1+N2))+(2*(0-749.25144461156+16744.1999471303)*(N1^3))/((N1+N2)^3)+(0-584.805*(4-4*N1-6*N2)+2*(0-584.805)*(0-1+N1+3*N2))/(0-1+N1))-N1*((0-16893.4375795388*(3*(N1^2)-((0-1+N2)^2))-15145.8179184394*(0-2*N1+((0-1+N2)^2)))/((0-1+N2)^2)-(8.314*T)/(0-1+N1+N2)+(0-749.25144461156*(N2^2)*(3*N1+N2)-16744.1999471303*(N1^2)*(N1+3*N2))/((N1+N2)^3)-(3*(0-584.805)*(N2^2)-584.805*(1-2*N1+(N1^2)-3*(N2^2)))/((0-1+N1)^2)))",
    "# the difference of 3-rd chemical potential by 3-rd molar ratio",
    "0",
    "#End of initial activities file",
};

const std::vector<std::string_view> kFluxesFunctFlx = {
    "###Torvex_v2.3###",
    "# Initial boundary flux (function)",
    "# Initial activities file",
    "# variables: N1, N2,... Nr - molar ratio of the components, t - time, T - temperature",
    "# functions: exp(), log()",
    "# operands: ^, *, /, +, -",
    "#1 component: left boundary, right boundary",
    "0   0.0897*((3*0.00000000000004578*(0.21^(1/6)-(0.000000000000091/(N1^2))^(1/6)))/(2*t))^(1/2)",
    "#component 2: left boundary, right boundary",
    "0   0",
    "#End of initial flux file",
};

const std::vector<std::string_view> kOxidFluxFlx = {
    "###Torvex_v2.3###",
    "# Initial boundary flux file (selective oxidation)",
    "# constant parameters to the calculations:",
    "#oxide diffusion coeff., oxide molar concentration, oxide pressure (p'), external pressure (p''), flux multiplicator",
    "4.578e-14 8.97e-2 9.1e-14 0.21 1",
    "#End of initial flux file",
};
// clang-format on

// Lays out a sample data file: the header, each key's comment line followed
// by its value line (the last key by all its value lines), the end line.
std::vector<std::string_view> sampleDataFile(const std::vector<std::string_view>& values) {
  std::vector<std::string_view> lines = {"###Torvex_v2.3###"};
  for (const DataFileKeyInfo& key : dataFileKeys()) {
    lines.push_back(key.sampleComment);
    const auto at = static_cast<std::size_t>(position(key.key));
    if (key.key != DataKey::D23)
      lines.push_back(values[at]);
    else
      lines.insert(lines.end(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  }
  lines.push_back("#end of data file");
  return lines;
}

const std::vector<std::string_view> kInterdiffusionDat = sampleDataFile(kInterdiffusionValues);
const std::vector<std::string_view> kOxidationDat = sampleDataFile(kOxidationValues);

}  // namespace

const std::vector<SampleFile>& sampleFiles() {
  static const std::vector<SampleFile> files = {
      {"interdiffusion.dat", &kInterdiffusionDat},
      {"oxidation.dat", &kOxidationDat},
      {"oxid_diff.dfv", &kOxidDiffDfv},
      {"inter_diff.dfv", &kInterDiffDfv},
      {"activities.act", &kActivitiesAct},
      {"fluxes_funct.flx", &kFluxesFunctFlx},
      {"oxid_flux.flx", &kOxidFluxFlx},
  };
  return files;
}

void WriteSampleFiles(const std::string& directory) {
  for (const SampleFile& file : sampleFiles()) {
    TextList list;
    for (std::string_view line : *file.lines) list.add(std::string(line));
    const std::string path = directory.empty()
                                 ? std::string(file.name)
                                 : directory + (directory.back() == '/' ? "" : "/") + std::string(file.name);
    list.saveToFile(path);
  }
}

}  // namespace torvex
