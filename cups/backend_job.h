// The decisions of the corvanta CUPS backend that do not touch the system:
// the wrapped device URI, the job's settings from its CUPS options, the
// printer language from the job's first bytes, and the texts it reports.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "DotTotals.h"
#include "filter_options.h"

namespace cupsbackend {

// Exit codes of a CUPS backend.
enum BackendStatus {
  kBackendOk = 0,
  kBackendFailed = 1,
  kBackendAuthRequired = 2,
  kBackendHold = 3,
  kBackendStop = 4,
  kBackendCancel = 5,
};

constexpr const char* kScheme = "corvanta";

// The device URI after "corvanta:" and its slashes, e.g. "usb://HP/DeskJet"
// for "corvanta:/usb://HP/DeskJet". Empty when `uri` is not a corvanta URI
// or wraps nothing that looks like a URI.
std::string wrappedUri(const std::string& uri);

// The scheme of a URI ("usb" of "usb://HP/..."), empty when it has none or
// it holds characters a scheme cannot (so it can never name a path).
std::string uriScheme(const std::string& uri);

// The options of argv[5]: "name=value name2='quoted value' flag", as CUPS
// writes them. A name without a value maps to "true"; a name "noX" to X=false.
std::map<std::string, std::string> parseCupsOptions(const std::string& text);

struct JobSettings {
  bool off = false;
  bool makerGiven = false;
  filter::Maker maker = filter::Maker::Hp;
  int blackSave = 25;  // percent of dots to remove
  int colorSave = 25;
  std::vector<std::string> warnings;  // options that were ignored, and why
};

// The job's settings from its options (queue defaults arrive among them).
JobSettings jobSettings(const std::map<std::string, std::string>& options);

enum class Language { Hp, Canon, Other };

struct Recognised {
  Language language = Language::Other;
  std::string what;  // what the job looks like, for the log
  bool definite = true;  // false: nothing known; a corvanta-maker option may still name the plug-in
};

// The printer language of a job from its first bytes: HP PCL (optionally
// behind a PJL header that does not switch to another language), Canon
// raster (ESC [ K), or something else to pass through.
Recognised recogniseJob(const std::string& head);

// "Corvanta: saved 24.3 % of black and 24.1 % of colour dots"
std::string savingLine(const plugin::DotTotals& totals);

// Whether cups-files.conf text allows file: devices, and the user and group
// that CUPS runs unprivileged programs as ("lp" unless it says otherwise).
struct CupsFilesConf {
  bool fileDevice = false;
  std::string user = "lp";
  std::string group = "lp";
};
CupsFilesConf parseCupsFilesConf(const std::string& text);

}  // namespace cupsbackend
