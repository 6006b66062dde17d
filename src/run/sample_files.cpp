#include "run/sample_files.h"

#include "model/text_list.h"

namespace torvex {
namespace {

// The exact lines of the seven sample files. Users compare their own files
// with these, so every character matters.
// clang-format off

// The key comment lines of both sample data files, in key order (D0 .. D23).
const std::vector<std::string_view> kSampleKeyLines = {
    "#|D0|-Number of components:",
    "#|D1|-The time of the diffusion process [s] (start, end):",
    "#|D2|-Number of points to set the density of components:",
    "#|D3|-Initial time step:",
    "#|D4|-Concentration error:",
    "#|D5|-maximal integration time step [s]:",
    "#|D6|-number of time steps between changing the integration time:",
    "#|D7|-integration time multiplicator:",
    "#|D8|-Temperature [K]:",
    "#|D9|-Self Diffusion coefficients [cm^2 s^-1]: {0} - as function (from file), {1} - as matrix (from file), {2} for Cu-Fe-Ni alloy:",
    "#|D9a|-Correlation factor",
    "#|D10|- Molar Mass of components [g mol^-1]:",
    "#|D11|- Standard molar Volume of components [cm^3 mol^-1]:",
    "#|D12|-Thermodynamic actvities eg., a_i=a_i(c_1,c_2,c_3): {0} - ideal, {1} - Cu-Fe-Ni alloy, {2} - Fe-Ni-Cr alloy, {3} as a molar fraction deriv. (from file):",
    "#|D13|-The constitutive equations: {0} - Nernst-Planck (when |D12|=0: Fick), {1} - Onsager",
    "#|D14|-Equation of mass conservation: {0} - in volume fixed RF, {1} - other RF (clasic)",
    "#|D15|-Darken velocity: {0} v^D=0, {1} - v^D computed:",
    "#|D16|-type of differentation, {0} - central, {1} - forward, {2} - backward",
    "#|D17|-number of time steps between: refreshing the screen, saving data:",
    "#|D18|-speed of the calculations, 0 = quickest ~100 slowest:",
    "#|D19|-Kirkendall plane, {0} - non visible, {1} - visible:",
    "#|D20|-initial position of Kirkendall plane (initial contact interace) [cm]: {0} - the half width of the sample, {1} - not known {2} - declare:",
    "#|D21|-initial boundary flux file: {0} - nondefined, {1} - as function (from file), {2} selective oxidation, minimal molar fraction:",
    "#|D22|-Number of initial points: {2} - new calculations, {number = D2} continuation:",
    "#|D23|-Initial concentration data [% at.] (x, con_1 ,..., con_r-1, v_Darken, v_Sigma, pressure):",
};

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
  for (std::size_t key = 0; key < kSampleKeyLines.size(); ++key) {
    lines.push_back(kSampleKeyLines[key]);
    if (key + 1 < kSampleKeyLines.size())
      lines.push_back(values[key]);
    else
      lines.insert(lines.end(), values.begin() + static_cast<std::ptrdiff_t>(key), values.end());
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
