// _torvex: the compiled part of the Python module torvex. It loads cases
// through the same rendering and checks as torvex-batch (so a bad key or
// value gets the same message), runs them in the calling thread with the GIL
// released, and hands the results over as NumPy arrays that view the
// result's own buffers. The Python part (torvex/__init__.py) turns Python
// values into the command line's KEY=VALUE texts and adds what is easier in
// Python (pandas frames, the sweep and fit wrappers).

#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "model/case.h"
#include "model/data_file_keys.h"
#include "model/errors.h"
#include "model/heat_treatment.h"
#include "model/sample_files.h"
#include "model/text_list.h"
#include "results/results_files.h"
#include "results/run_report.h"
#include "run/integrator.h"
#include "run/refresh.h"
#include "run/simulation.h"
#include "study/case_template.h"
#include "study/fit_config.h"
#include "study/study.h"

namespace py = pybind11;

namespace torvex {
namespace {

// A loaded case and how it was made: the template it was rendered from (read
// from disk once, shared by the copies with_set makes), the overrides and
// parameters as the command line would spell them, and the rendered files
// when they changed anything.
struct PyCase {
  std::shared_ptr<const CaseTemplate> source;
  std::vector<std::string> setTexts;    // "KEY=VALUE", as --set
  std::vector<std::string> paramTexts;  // "NAME=VALUE", as --param
  std::vector<KeyOverride> overrides;
  std::vector<CaseParameter> parameters;
  std::optional<RenderedCase> rendered;  // set when an override or parameter changed a file
  std::shared_ptr<const Case> loaded;
};

// The folder of a results folder that holds the case as it was run, as
// torvex-batch names it.
std::string renderedFolderOf(const std::string& resultsDirectory) {
  return resultsDirectory + "/" + kRenderedCaseFolder;
}

// As torvex-batch: the data file as given when nothing changes it, else the
// rendered case held in memory, named as the files it would be written to
// (`directory`; "" names them as the user's own, as --check does).
Case loadRendered(const PyCase& pc, const std::string& directory) {
  if (!pc.rendered) {
    const std::string& path = pc.source->dataPath();
    return loadCase(path, {.sideFileDirectory = std::filesystem::path(path).parent_path().string()});
  }
  return loadRenderedCase(*pc.rendered, directory);
}

PyCase loadPyCase(std::shared_ptr<const CaseTemplate> source, const std::vector<std::string>& setTexts,
                  const std::vector<std::string>& paramTexts) {
  PyCase pc;
  pc.source = std::move(source);
  pc.setTexts = setTexts;
  pc.paramTexts = paramTexts;
  for (const std::string& text : setTexts) pc.overrides.push_back(parseKeyOverride(text));
  for (const std::string& text : paramTexts) pc.parameters.push_back(parseCaseParameter(text));
  py::gil_scoped_release release;
  // Rendering first also refuses a template whose placeholders have no value.
  RenderedCase rendered = pc.source->render(pc.overrides, pc.parameters);
  bool changed = rendered.dataFile.changed;
  for (const RenderedFile& file : rendered.sideFiles) changed = changed || file.changed;
  if (changed) pc.rendered = std::move(rendered);
  Case c = loadRendered(pc, "");
  c.validate();
  pc.loaded = std::make_shared<const Case>(std::move(c));
  return pc;
}

// The value line of a key as the case's data file holds it (for D23 the
// profile rows); none when the file ends before it.
std::optional<std::vector<std::string>> valueLines(const Case& c, DataKey key) {
  const std::vector<std::string>& lines = c.dataFileLines.lines();
  const std::optional<std::size_t> index = valueLineIndex(lines, key);
  if (!index) return std::nullopt;
  if (key != DataKey::D23) return std::vector<std::string>{trimmed(lines[*index])};
  std::vector<std::string> rows;
  for (std::size_t k = *index; k < lines.size(); ++k) {
    const std::string row = trimmed(lines[k]);
    if (!row.empty() && row[0] != '#') rows.push_back(row);
  }
  return rows;
}

// What a run leaves for Python. The arrays of the result view these buffers.
struct PyResult {
  int components = 0;
  int points = 0;
  std::vector<double> position;           // [n], cm
  std::vector<double> times;              // [saves], s
  std::vector<double> atomic;             // [saves][r][n], at.%
  std::vector<double> weight;             // [saves][r][n], wt.%
  std::vector<double> kirkendall;         // [2][passes]: t (s), x_K (cm)
  std::vector<double> boundaryTime;       // [passes], s
  std::vector<double> leftFraction;       // [passes][r]
  std::vector<double> rightFraction;      // [passes][r]
  std::vector<double> leftFlux;           // [passes][r], mol/(cm^2 s)
  std::vector<double> rightFlux;          // [passes][r]
  std::vector<double> scaleThickness;     // [passes], cm (selective oxidation)
  std::vector<double> scaleRateConstant;  // [passes], cm^2/s
  bool hasBoundary = false;
  bool hasScale = false;
  std::string reportText;  // run.json
  std::optional<std::string> resultsDirectory;
};

// A NumPy array over a buffer of the result, read-only, that keeps the
// result alive.
py::array view(const py::object& owner, const std::vector<double>& data, std::vector<py::ssize_t> shape) {
  std::vector<py::ssize_t> strides(shape.size());
  py::ssize_t stride = sizeof(double);
  for (std::size_t k = shape.size(); k-- > 0;) {
    strides[k] = stride;
    stride *= shape[k];
  }
  py::array array(py::dtype::of<double>(), shape, strides, data.data(), owner);
  array.attr("flags").attr("writeable") = false;
  return array;
}

// The hand-overs of a run started from Python: direct calls, as in the batch
// runner, with the per-pass records a result gives as arrays, the batch
// runner's final save (every file that can be written is), and between
// passes the Python signals (main thread only: Python runs its signal
// handlers there) and the progress callback, each under the GIL taken
// briefly and no more often than the intervals below.
class PythonRunHost : public DirectRunHost {
 public:
  PythonRunHost(Simulation& sim, PyResult& result, py::object progress)
      : DirectRunHost(sim), result_(result), progress_(std::move(progress)) {
    mainThread_ = py::module_::import("threading")
                      .attr("current_thread")()
                      .is(py::module_::import("threading").attr("main_thread")());
  }
  ~PythonRunHost() override {
    py::gil_scoped_acquire gil;
    progress_ = py::object();
  }
  PythonRunHost(const PythonRunHost&) = delete;
  PythonRunHost& operator=(const PythonRunHost&) = delete;

  void Refresh() override {
    DirectRunHost::Refresh();
    const Case& c = sim_.input;
    const RunState& s = sim_.state;
    result_.kirkendall.push_back(s.currentTime);
    result_.kirkendall.push_back(s.kirkendallPosition);
    if (c.boundaryFlux == BoundaryFlux::None) return;
    const int last = c.pointCount - 1;
    result_.boundaryTime.push_back(s.currentTime);
    for (int i = 0; i < c.componentCount; ++i) {
      const auto at = static_cast<std::size_t>(i);
      result_.leftFraction.push_back(s.molarRatio[i][0]);
      result_.rightFraction.push_back(s.molarRatio[i][last]);
      result_.leftFlux.push_back(s.leftBoundaryFlux[at]);
      result_.rightFlux.push_back(s.rightBoundaryFlux[at]);
    }
    if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation) {
      result_.scaleThickness.push_back(s.oxide.thickness);
      result_.scaleRateConstant.push_back(s.oxide.parabolicRateConstant);
    }
  }

  // As torvex-batch: a save that fails ends the run, and the final save
  // writes every file it still can.
  void EndOfRun(const RunSummary& summary) override {
    struct RaiseStopFlag {
      RunState& s;
      ~RaiseStopFlag() { s.stopRequested = 1; }
    } raise{sim_.state};
    const std::vector<std::string> failures = EndOfRunWritingEveryFile(sim_, summary);
    if (!failures.empty()) throw FileWriteError(failures.front());
  }

  void afterPass(int) override {
    if (!mainThread_ && progress_.is_none()) return;
    const auto now = Clock::now();
    const bool signalsDue = mainThread_ && now - lastSignalCheck_ >= kSignalInterval;
    const bool progressDue = !progress_.is_none() && now - lastProgress_ >= kProgressInterval;
    if (!signalsDue && !progressDue) return;
    py::gil_scoped_acquire gil;
    if (signalsDue) {
      lastSignalCheck_ = now;
      if (PyErr_CheckSignals() != 0) {
        stopWith(std::make_unique<py::error_already_set>());
        return;
      }
    }
    if (progressDue) {
      lastProgress_ = now;
      reportProgress();
    }
  }

  // The last progress report, at the clock the run ended with.
  void finalProgress() {
    if (progress_.is_none() || pending_) return;
    reportProgress();
  }

  // The Python error that stopped the run (a signal's KeyboardInterrupt, or
  // the progress callback's exception), if one did.
  std::unique_ptr<py::error_already_set> pending_;

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kSignalInterval = std::chrono::milliseconds(1);
  static constexpr auto kProgressInterval = std::chrono::milliseconds(100);

  void reportProgress() {
    try {
      progress_(sim_.state.currentTime, sim_.input.endTime);
    } catch (py::error_already_set& error) {
      stopWith(std::make_unique<py::error_already_set>(std::move(error)));
    }
  }
  void stopWith(std::unique_ptr<py::error_already_set> error) {
    if (!pending_) pending_ = std::move(error);
    sim_.state.stopRequested = 1;
  }

  PyResult& result_;
  py::object progress_;
  bool mainThread_ = false;
  Clock::time_point lastSignalCheck_{};
  Clock::time_point lastProgress_{};
};

struct RunRequest {
  std::optional<std::string> schedule;     // a schedule file, as --schedule
  std::optional<std::string> outputTimes;  // a list of times, as --output-times
  std::optional<std::string> resultsDirectory;
  Integrator integrator = Integrator::RungeKutta;
  py::object progress;
  std::vector<std::string> commandLine;  // for the report: how the run was asked for
};

py::object runCase(const PyCase& pc, RunRequest request) {
  auto sim = std::make_unique<Simulation>();
  auto result = std::make_unique<PyResult>();
  sim->state.formulas.compiled = true;
  sim->resultsDirectory = request.resultsDirectory;
  {
    py::gil_scoped_release release;
    // The case is named in the report as torvex-batch names it: beside the
    // results when it was rendered.
    Case c = request.resultsDirectory && pc.rendered ? loadRendered(pc, renderedFolderOf(*request.resultsDirectory))
                                                     : *pc.loaded;
    c.integrator = request.integrator;
    c.heatTreatment = HeatTreatment();
    if (request.schedule)
      c.heatTreatment.schedule = std::make_shared<const TemperatureSchedule>(readScheduleFile(*request.schedule));
    if (request.outputTimes)
      c.heatTreatment.outputTimes = outputTimesWithin(parseOutputTimes(*request.outputTimes), c.startTime, c.endTime);
    c.validate();
    if (request.resultsDirectory) {
      MakeWritableFolder(*request.resultsDirectory);
      if (pc.rendered) writeRenderedCase(*pc.rendered, renderedFolderOf(*request.resultsDirectory));
    }
    sim->load(std::move(c));
  }
  RunProvenance provenance{
      .program = "torvex (Python)", .commandLine = std::move(request.commandLine), .overrides = {}, .parameters = {}};
  for (const KeyOverride& override : pc.overrides)
    provenance.overrides.push_back({keyName(override.key), override.value});
  for (const CaseParameter& parameter : pc.parameters)
    provenance.parameters.push_back({parameter.name, parameter.value});
  sim->journal.setProvenance(std::move(provenance));
  sim->journal.setKeepSaves(true);

  const Case& c = sim->input;
  result->components = c.componentCount;
  result->points = c.pointCount;
  result->hasBoundary = c.boundaryFlux != BoundaryFlux::None;
  result->hasScale = c.boundaryFlux == BoundaryFlux::SelectiveOxidation;
  result->resultsDirectory = request.resultsDirectory;
  PythonRunHost host(*sim, *result, std::move(request.progress));
  RunSummary summary;
  {
    py::gil_scoped_release release;
    summary = Execute(*sim, host);
    const auto& saves = sim->journal.saves();
    const std::size_t block = static_cast<std::size_t>(c.componentCount) * static_cast<std::size_t>(c.pointCount);
    result->times.reserve(saves.size());
    result->atomic.reserve(saves.size() * block);
    result->weight.reserve(saves.size() * block);
    for (const SavedProfile& save : saves) {
      result->times.push_back(save.time);
      result->atomic.insert(result->atomic.end(), save.atomic.data(), save.atomic.data() + save.atomic.size());
      result->weight.insert(result->weight.end(), save.weight.data(), save.weight.data() + save.weight.size());
    }
    if (const RunReport* report = sim->journal.lastReport()) result->reportText = runReportText(*report);
    result->position = std::move(sim->state.position);
  }
  host.finalProgress();
  py::object owner = py::cast(std::move(result));
  if (host.pending_) {
    // The run stopped for Python: its exception is raised, with the result
    // of the run up to there beside it.
    py::error_already_set error = std::move(*host.pending_);
    try {
      error.value().attr("result") = owner;
    } catch (const py::error_already_set&) {
      // an exception type that takes no attributes: raised as it is
    }
    throw error;
  }
  // A run that ends short of its end time for a reason in the numbers (a
  // non-finite value, a step that vanished) is told by its outcome; one that
  // failed (a results file that could not be written, a formula that failed
  // to evaluate) raises.
  if (summary.failure) std::rethrow_exception(summary.failure);
  return owner;
}

}  // namespace
}  // namespace torvex

PYBIND11_MODULE(_torvex, m) {
  using namespace torvex;
  m.doc() = "The compiled core of the torvex module (use the torvex package).";
  m.attr("__version__") = programVersion();
  m.attr("source_revision") = sourceRevision();

  static py::exception<InputError> caseError(m, "CaseError", PyExc_ValueError);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const FileWriteError& error) {
      PyErr_SetString(PyExc_OSError, error.what());
    } catch (const InputError& error) {
      caseError(error.what());
    } catch (const FatalModelError& error) {
      std::string text = error.what();
      if (!error.detail().empty()) text += "\n" + error.detail();
      caseError(text.c_str());
    }
  });

  // Where the commands the sweep and fit wrappers start write their reports.
  m.def(
      "study_output", [](const std::string& path) { return loadStudy(path).outputDirectory; }, py::arg("path"));
  m.def(
      "fit_output", [](const std::string& path) { return readFitConfig(path).output; }, py::arg("path"));

  m.def(
      "write_samples", [](const std::string& folder) { WriteSampleFiles(folder); }, py::arg("folder"));

  py::class_<PyCase>(m, "_Case")
      .def_static(
          "load",
          [](const std::string& path, const std::vector<std::string>& setTexts,
             const std::vector<std::string>& paramTexts) {
            return loadPyCase(std::make_shared<const CaseTemplate>(path), setTexts, paramTexts);
          },
          py::arg("path"), py::arg("set_texts"), py::arg("param_texts"))
      .def(
          "rerender",
          [](const PyCase& pc, const std::vector<std::string>& setTexts, const std::vector<std::string>& paramTexts) {
            return loadPyCase(pc.source, setTexts, paramTexts);
          },
          py::arg("set_texts"), py::arg("param_texts"))
      .def_property_readonly("path", [](const PyCase& pc) { return pc.source->dataPath(); })
      .def_property_readonly("set_texts", [](const PyCase& pc) { return pc.setTexts; })
      .def_property_readonly("param_texts", [](const PyCase& pc) { return pc.paramTexts; })
      .def_property_readonly("components", [](const PyCase& pc) { return pc.loaded->componentCount; })
      .def_property_readonly("grid_points", [](const PyCase& pc) { return pc.loaded->pointCount; })
      .def_property_readonly("start_time", [](const PyCase& pc) { return pc.loaded->startTime; })
      .def_property_readonly("end_time", [](const PyCase& pc) { return pc.loaded->endTime; })
      .def_property_readonly("temperature", [](const PyCase& pc) { return pc.loaded->temperature; })
      .def_property_readonly("molar_masses", [](const PyCase& pc) { return pc.loaded->molarMass; })
      .def_property_readonly("initial_x_cm", [](const PyCase& pc) { return pc.loaded->initial.position; })
      .def_property_readonly(
          "input_files",
          [](const PyCase& pc) {
            py::list files;
            for (const InputFileDigest& f : pc.loaded->inputFiles)
              files.append(py::dict(py::arg("role") = f.role, py::arg("path") = f.path, py::arg("sha256") = f.sha256));
            return files;
          })
      .def_static("key_names",
                  [] {
                    std::vector<std::string> names;
                    for (const DataFileKeyInfo& info : dataFileKeys()) names.emplace_back(info.name);
                    return names;
                  })
      .def_static("key_meaning",
                  [](const std::string& name) -> std::optional<std::string> {
                    const auto key = keyNamed(name);
                    if (!key) return std::nullopt;
                    return std::string(keyInfo(*key).holds);
                  })
      .def_static("canonical_key",
                  [](const std::string& name) -> std::optional<std::string> {
                    const auto key = keyNamed(name);
                    if (!key) return std::nullopt;
                    return std::string(keyName(*key));
                  })
      .def("value_lines",
           [](const PyCase& pc, const std::string& name) -> std::optional<std::vector<std::string>> {
             const auto key = keyNamed(name);
             if (!key) return std::nullopt;
             return valueLines(*pc.loaded, *key);
           })
      .def(
          "run",
          [](const PyCase& pc, std::optional<std::string> schedule, std::optional<std::string> outputTimes,
             const std::string& integrator, std::optional<std::string> resultsDirectory, py::object progress,
             std::vector<std::string> commandLine) {
            const std::optional<Integrator> chosen = integratorNamed(integrator);
            if (!chosen) throw py::value_error("integrator needs 'rk' or 'bdf', not '" + integrator + "'");
            return runCase(pc, {.schedule = std::move(schedule),
                                .outputTimes = std::move(outputTimes),
                                .resultsDirectory = std::move(resultsDirectory),
                                .integrator = *chosen,
                                .progress = std::move(progress),
                                .commandLine = std::move(commandLine)});
          },
          py::arg("schedule"), py::arg("output_times"), py::arg("integrator"), py::arg("results_dir"),
          py::arg("progress"), py::arg("command_line"));

  py::class_<PyResult>(m, "_Result")
      .def_property_readonly("components", [](const PyResult& r) { return r.components; })
      .def_property_readonly("grid_points", [](const PyResult& r) { return r.points; })
      .def_property_readonly("results_dir", [](const PyResult& r) { return r.resultsDirectory; })
      .def_property_readonly("report_text", [](const PyResult& r) { return r.reportText; })
      .def_property_readonly("x_cm",
                             [](const py::object& self) {
                               const auto& r = self.cast<const PyResult&>();
                               return view(self, r.position, {static_cast<py::ssize_t>(r.position.size())});
                             })
      .def_property_readonly("times_s",
                             [](const py::object& self) {
                               const auto& r = self.cast<const PyResult&>();
                               return view(self, r.times, {static_cast<py::ssize_t>(r.times.size())});
                             })
      .def_property_readonly(
          "at_pct",
          [](const py::object& self) {
            const auto& r = self.cast<const PyResult&>();
            return view(self, r.atomic, {static_cast<py::ssize_t>(r.times.size()), r.components, r.points});
          })
      .def_property_readonly(
          "wt_pct",
          [](const py::object& self) {
            const auto& r = self.cast<const PyResult&>();
            return view(self, r.weight, {static_cast<py::ssize_t>(r.times.size()), r.components, r.points});
          })
      .def_property_readonly("kirkendall",
                             [](const py::object& self) {
                               const auto& r = self.cast<const PyResult&>();
                               // Kept as (t, x) pairs: the transpose views them as two rows.
                               const auto passes = static_cast<py::ssize_t>(r.kirkendall.size() / 2);
                               const py::array pairs = view(self, r.kirkendall, {passes, 2});
                               return py::object(pairs.attr("T"));
                             })
      .def_property_readonly("boundary", [](const py::object& self) {
        const auto& r = self.cast<const PyResult&>();
        py::dict boundary;
        if (!r.hasBoundary) return boundary;
        const auto passes = static_cast<py::ssize_t>(r.boundaryTime.size());
        boundary["time_s"] = view(self, r.boundaryTime, {passes});
        boundary["left_fraction"] = view(self, r.leftFraction, {passes, r.components});
        boundary["right_fraction"] = view(self, r.rightFraction, {passes, r.components});
        boundary["left_flux"] = view(self, r.leftFlux, {passes, r.components});
        boundary["right_flux"] = view(self, r.rightFlux, {passes, r.components});
        if (r.hasScale) {
          boundary["scale_thickness_cm"] = view(self, r.scaleThickness, {passes});
          boundary["kp_cm2_s"] = view(self, r.scaleRateConstant, {passes});
        }
        return boundary;
      });
}
