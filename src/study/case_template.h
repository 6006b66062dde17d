#pragma once
// A case as a template: a data file and the side files it names, in which
// key overrides replace whole value lines and parameters fill the {{NAME}}
// placeholders. Rendering makes the case that is actually run; it is written
// beside the results so that the run can be repeated from it alone.

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/case.h"
#include "model/data_file_keys.h"

namespace torvex {

// --set KEY=VALUE: the value line of KEY becomes VALUE. For D23 the rows of
// the initial profile are separated by ';'.
struct KeyOverride {
  DataKey key;
  std::string value;
};

// --param NAME=VALUE: every {{NAME}} in the case becomes VALUE.
struct CaseParameter {
  std::string name;
  std::string value;
};

// Parse "KEY=VALUE" and "NAME=VALUE"; throw InputError naming the text.
KeyOverride parseKeyOverride(std::string_view text);
CaseParameter parseCaseParameter(std::string_view text);

// What is wrong with a text that is to stand on a value line of a case file
// (a key override's value, a parameter's value): a line break, which would
// put the rest on a line of its own and shift every key after it, or another
// control character. Empty when nothing is.
std::string valueTextProblem(std::string_view value);

// The same for a parameter's value, which besides must not be empty nor hold
// "{{" (it would read as a placeholder). Every parameter, from --param, a
// study or a fit, is held to this one rule.
std::string parameterValueProblem(std::string_view value);

// The names of the {{NAME}} placeholders in a text, in order. Throws
// InputError beginning with `where` at a placeholder that is not closed.
std::vector<std::string> placeholderNames(const std::string& text, const std::string& where);

// The text with every {{NAME}} replaced by its value. Throws InputError
// beginning with `where` at a placeholder without a value or not closed.
std::string fillPlaceholders(std::string text, const std::map<std::string, std::string>& values,
                             const std::string& where);

struct RenderedFile {
  std::string name;  // as the data file names it (a relative path), or the data file's own name
  std::string read;  // the path it was read from
  std::vector<std::string> lines;
  bool changed = false;  // a parameter was substituted into it
  // When set, the file is written as this text, byte for byte, rather than
  // as the lines in the case files' own line ends.
  std::optional<std::string> text;

  // The bytes the file is written as: the text when set, else the lines,
  // each ended by CR LF.
  [[nodiscard]] std::string bytes() const;
};

struct RenderedCase {
  RenderedFile dataFile;
  std::vector<RenderedFile> sideFiles;  // those that exist, in key order
  // Side files named by an absolute path or one that leaves the case folder:
  // they are read where they are and not copied (kept here as they were read,
  // so that a fingerprint can cover them).
  std::vector<RenderedFile> sideFilesLeftInPlace;
  // Options of torvex-batch the case runs with besides its files (a study's
  // heat treatment: --schedule with a file of the case, --output-times).
  // A file option names the file relative to the case folder.
  std::vector<std::string> runOptions;
};

// A case template: the data file at a path and the side files it names,
// each read from disk once, however often it is rendered (a fit renders it
// for every trial point). Rendering is safe from several threads at once.
class CaseTemplate {
 public:
  explicit CaseTemplate(std::string dataPath);
  CaseTemplate(const CaseTemplate&) = delete;
  CaseTemplate& operator=(const CaseTemplate&) = delete;

  // As renderCase below, with the files as first read.
  RenderedCase render(const std::vector<KeyOverride>& overrides, const std::vector<CaseParameter>& parameters,
                      const std::set<std::string>& usedElsewhere = {}) const;
  [[nodiscard]] const std::string& dataPath() const { return dataPath_; }

 private:
  // The lines of the file at path, read on first use; none when it is not a
  // regular file. Throws the InputError of a file that cannot be read.
  std::optional<std::vector<std::string>> linesOf(const std::string& path) const;

  std::string dataPath_;
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::optional<std::vector<std::string>>> files_;
};

// Reads the data file at `dataPath` and the side files it names (looked for
// beside it first, then relative to the working directory), applies the
// overrides and then the parameters. Throws InputError, naming the key, the
// file and line or the parameter and the offending text, when an override does
// not fit its key, the data file ends before an overridden key, a placeholder
// is left without a value, a parameter is used nowhere, or a side file with a
// placeholder lies outside the case folder. Side files that do not exist are
// left to the load to report. Parameters named in `usedElsewhere` (a study
// fills them into its overrides) need not stand in the files.
RenderedCase renderCase(const std::string& dataPath, const std::vector<KeyOverride>& overrides,
                        const std::vector<CaseParameter>& parameters, const std::set<std::string>& usedElsewhere = {});

// Writes the rendered files into `directory` (created if need be), each
// replaced atomically; returns the path of the rendered data file. Throws
// FileWriteError naming the folder or file and the system's reason.
std::string writeRenderedCase(const RenderedCase& rendered, const std::string& directory);

// Loads the rendered case from memory as if it had been written into
// `directory` and loaded from there: the same case, the same digests of the
// same bytes and the same messages naming the same files, without writing
// or reading the rendered files (side files left in place are read where
// they are). options.sideFileDirectory and options.files are set here.
Case loadRenderedCase(const RenderedCase& rendered, const std::string& directory, CaseLoadOptions options = {});

}  // namespace torvex
