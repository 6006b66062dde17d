#include "model/component_names.h"

#include <algorithm>

#include "model/errors.h"
#include "model/number_format.h"

namespace torvex {
namespace {

bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// The text as a message quotes it: control characters and bytes outside
// ASCII as \xNN, so that the message itself stays printable.
std::string quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "'";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out + "'";
}

// N<digits> or n<digits>: how files number the components.
bool looksNumbered(std::string_view name) {
  return name.size() >= 2 && (name[0] == 'N' || name[0] == 'n') && std::all_of(name.begin() + 1, name.end(), isDigit);
}

std::string_view trimmedName(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::vector<std::string> parseComponentNames(std::string_view list, int componentCount, const std::string& where) {
  std::vector<std::string> names;
  if (trimmedName(list).empty()) return names;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    names.emplace_back(trimmedName(list.substr(start, comma == std::string_view::npos ? comma : comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
    // A list this long cannot fit any case; stop before it takes memory.
    if (names.size() > 1000) break;
  }
  if (static_cast<int>(names.size()) != componentCount)
    throw InputError(where + ": " + quoted(list.substr(0, 200)) + " gives " +
                     formatInteger(static_cast<long long>(names.size())) + (names.size() > 1000 ? " or more" : "") +
                     " names for " + formatInteger(componentCount) + " components");
  checkComponentNames(names, componentCount, where);
  return names;
}

void checkComponentNames(const std::vector<std::string>& names, int componentCount, const std::string& where) {
  if (names.empty()) return;
  if (static_cast<int>(names.size()) != componentCount)
    throw InputError(where + ": " + formatInteger(static_cast<long long>(names.size())) + " names for " +
                     formatInteger(componentCount) + " components");
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    const std::string which = where + ": the name of component " + formatInteger(static_cast<long long>(i) + 1) + ", ";
    if (name.empty()) throw InputError(which + "is empty");
    if (name.size() > kMaxComponentNameLength)
      throw InputError(which + quoted(name.substr(0, 40)) + (name.size() > 40 ? "...," : ",") + " is longer than " +
                       formatInteger(static_cast<long long>(kMaxComponentNameLength)) + " characters");
    if (!isLetter(name.front()) ||
        !std::all_of(name.begin(), name.end(), [](char c) { return isLetter(c) || isDigit(c) || c == '_'; }))
      throw InputError(which + quoted(name) +
                       ", is not a name: it must start with a letter and hold only letters, digits and '_'");
    if (looksNumbered(name))
      throw InputError(which + quoted(name) + ", reads as the number of a component (N1, N2, ...)");
    for (const std::string_view taken : {"x", "at_pct", "wt_pct", "time_s", "component", "name"})
      if (sameIgnoringCase(name, taken)) throw InputError(which + quoted(name) + ", is the name of a column");
    if (name.size() >= 2 && lower(name[0]) == 'x' && name[1] == '_')
      throw InputError(which + quoted(name) + ", reads as a position column (x_um, x_mm, x_cm)");
    for (std::size_t j = 0; j < i; ++j)
      if (sameIgnoringCase(names[j], name))
        throw InputError(which + quoted(name) + ", repeats the name of component " +
                         formatInteger(static_cast<long long>(j) + 1) + " (" + quoted(names[j]) + ")");
  }
}

std::string componentLabel(const std::vector<std::string>& names, int i) {
  if (i >= 0 && static_cast<std::size_t>(i) < names.size() && !names[static_cast<std::size_t>(i)].empty())
    return names[static_cast<std::size_t>(i)];
  return "N" + formatInteger(i + 1);
}

std::optional<int> componentOfLabel(std::string_view label, const std::vector<std::string>& names, int componentCount) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (!names[i].empty() && sameIgnoringCase(names[i], label)) return static_cast<int>(i);
  std::string_view digits = label;
  if (!digits.empty() && (digits.front() == 'N' || digits.front() == 'n')) digits.remove_prefix(1);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit)) return std::nullopt;
  const std::optional<int> number = parseInteger(digits);
  if (!number || *number < 1 || (componentCount > 0 && *number > componentCount)) return std::nullopt;
  return *number - 1;
}

std::string joinComponentNames(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) {
    if (!list.empty()) list += ',';
    list += name;
  }
  return list;
}

}  // namespace torvex
