#include "backend_job.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "stats.h"

namespace cupsbackend {
namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool isTrue(const std::string& value) {
  const std::string v = lower(value);
  return v == "true" || v == "yes" || v == "on" || v == "1";
}

bool isFalse(const std::string& value) {
  const std::string v = lower(value);
  return v == "false" || v == "no" || v == "off" || v == "0";
}

// Reads one word of an options string: quotes and backslashes as CUPS
// writes them, ending at an unquoted space (or at `stop`, when given).
std::string readWord(const std::string& text, size_t& at, char stop) {
  std::string word;
  char quote = 0;
  while (at < text.size()) {
    const char c = text[at];
    if (!quote && (std::isspace(static_cast<unsigned char>(c)) || c == stop)) break;
    ++at;
    if (c == '\\' && at < text.size()) {
      word += text[at++];
    } else if (quote && c == quote) {
      quote = 0;
    } else if (!quote && (c == '\'' || c == '"')) {
      quote = c;
    } else {
      word += c;
    }
  }
  return word;
}

// The value of a PJL "@PJL ENTER LANGUAGE = X" line in the header, upper
// case; empty when the header does not switch languages.
std::string pjlLanguage(const std::string& head) {
  std::string upper = head;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const size_t enter = upper.find("@PJL ENTER LANGUAGE");
  if (enter == std::string::npos) return "";
  size_t at = upper.find('=', enter);
  if (at == std::string::npos) return "";
  ++at;
  while (at < upper.size() && upper[at] == ' ') ++at;
  std::string language;
  while (at < upper.size() && std::isalnum(static_cast<unsigned char>(upper[at]))) language += upper[at++];
  return language;
}

}  // namespace

std::string wrappedUri(const std::string& uri) {
  const std::string prefix = std::string(kScheme) + ":";
  if (uri.compare(0, prefix.size(), prefix) != 0) return "";
  size_t at = prefix.size();
  while (at < uri.size() && uri[at] == '/') ++at;
  const std::string inner = uri.substr(at);
  return uriScheme(inner).empty() ? "" : inner;
}

std::string uriScheme(const std::string& uri) {
  const size_t colon = uri.find(':');
  if (colon == std::string::npos || colon == 0 || colon > 64) return "";
  if (!std::isalpha(static_cast<unsigned char>(uri[0]))) return "";
  for (size_t i = 0; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(uri[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return "";
  }
  return uri.substr(0, colon);
}

std::map<std::string, std::string> parseCupsOptions(const std::string& text) {
  std::map<std::string, std::string> options;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at >= text.size()) break;
    const size_t start = at;
    std::string name = readWord(text, at, '=');
    if (at < text.size() && text[at] == '=') {
      ++at;
      options[lower(name)] = readWord(text, at, 0);
    } else if (lower(name).rfind("no", 0) == 0 && name.size() > 2) {
      options[lower(name.substr(2))] = "false";
    } else if (!name.empty()) {
      options[lower(name)] = "true";
    }
    if (at == start) ++at;  // never stall on a stray character
  }
  return options;
}

JobSettings jobSettings(const std::map<std::string, std::string>& options) {
  JobSettings settings;
  const auto find = [&](const char* name) -> const std::string* {
    const auto it = options.find(name);
    return it == options.end() ? nullptr : &it->second;
  };
  if (const std::string* value = find("corvanta")) {
    if (isFalse(*value))
      settings.off = true;
    else if (!isTrue(*value))
      settings.warnings.push_back("corvanta='" + *value + "' is neither on nor off; thinning stays on");
  }
  const struct {
    const char* name;
    int& target;
  } levels[] = {{"corvanta-black-save", settings.blackSave}, {"corvanta-color-save", settings.colorSave}};
  for (const auto& level : levels)
    if (const std::string* value = find(level.name))
      if (!filter::parsePercent(*value, level.target))
        settings.warnings.push_back(std::string(level.name) + "='" + *value +
                                    "' is not a whole percentage from 0 to 100; using " +
                                    std::to_string(level.target));
  if (const std::string* value = find("corvanta-maker")) {
    const std::string maker = lower(*value);
    if (maker == "hp" || maker == "canon") {
      settings.makerGiven = true;
      settings.maker = maker == "hp" ? filter::Maker::Hp : filter::Maker::Canon;
    } else {
      settings.warnings.push_back("corvanta-maker='" + *value + "' is neither hp nor canon; recognising the job");
    }
  }
  return settings;
}

Recognised recogniseJob(const std::string& head) {
  size_t at = 0;
  while (at < head.size() && head[at] == '\0') ++at;  // some drivers lead with NULs
  const std::string start = head.substr(at);
  const auto startsWith = [&](const char* text) { return start.compare(0, std::strlen(text), text) == 0; };
  if (start.empty()) return {Language::Other, "an empty job"};
  if (startsWith("\x1b[K")) return {Language::Canon, "Canon raster"};
  if (startsWith("\x1b%-12345X") || startsWith("@PJL")) {
    const std::string language = pjlLanguage(start);
    if (language.empty() || language.rfind("PCL", 0) == 0) return {Language::Hp, "HP PCL behind PJL"};
    return {Language::Other, "a PJL job in " + language};
  }
  if (startsWith("\x1b" "E") || startsWith("\x1b*") || startsWith("\x1b&")) return {Language::Hp, "HP PCL"};
  if (startsWith("%!")) return {Language::Other, "PostScript"};
  if (startsWith("%PDF")) return {Language::Other, "PDF"};
  return {Language::Other, "neither HP PCL nor Canon raster", false};
}

std::string savingLine(const plugin::DotTotals& totals) {
  uint64_t black[2] = {0, 0}, colour[2] = {0, 0};
  for (int i = 0; i < plugin::kMaxPlanes; ++i) {
    uint64_t* sum = static_cast<uint32_t>(i) < totals.blackPlanes ? black : colour;
    sum[0] += totals.before[i];
    sum[1] += totals.after[i];
  }
  char line[128];
  std::snprintf(line, sizeof line, "Corvanta: saved %.1f %% of black and %.1f %% of colour dots",
                filter::savedPercent(black[0], black[1]), filter::savedPercent(colour[0], colour[1]));
  return line;
}

CupsFilesConf parseCupsFilesConf(const std::string& text) {
  CupsFilesConf conf;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string name, value;
    if (!(words >> name >> value) || name[0] == '#') continue;
    name = lower(name);
    if (name == "filedevice")
      conf.fileDevice = isTrue(value);
    else if (name == "user")
      conf.user = value;
    else if (name == "group")
      conf.group = value;
  }
  return conf;
}

}  // namespace cupsbackend
