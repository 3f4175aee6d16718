#include "filter_options.h"

#include <array>
#include <cctype>

#include "ParserContext.h"

namespace filter {
namespace {

struct MakerName {
  const char* name;
  Maker maker;
};
constexpr std::array<MakerName, 2> kMakers{{{"hp", Maker::Hp}, {"canon", Maker::Canon}}};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool parsePercent(const std::string& text, int& value) {
  std::string digits = text;
  if (!digits.empty() && digits.back() == '%') digits.pop_back();
  if (digits.empty() || digits.size() > 3) return false;
  int v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > 100) return false;
  value = v;
  return true;
}

const char* makerName(Maker maker) {
  for (const MakerName& entry : kMakers)
    if (entry.maker == maker) return entry.name;
  return "?";
}

const char* usageText() {
  return "Usage: corvanta-filter [options] [IN [OUT]]\n"
         "Thins the raster dots of an HP PCL or Canon raster print job to save ink.\n"
         "IN and OUT default to standard input and output (\"-\" names them too);\n"
         "OUT is written to a temporary file beside it and renamed when complete.\n"
         "\n"
         "  --maker hp|canon     printer language of the job (default hp)\n"
         "  --black-save PCT     percent of black ink to save, 0-100 (default 25)\n"
         "  --color-save PCT     percent of colour ink to save, 0-100 (default 25)\n"
         "  --printer NAME       printer whose threshold files are used (default corvanta-filter);\n"
         "  --threshold-dir DIR  keep the threshold files in DIR/NAME/ (default: the folder named\n"
         "                       by $CORVANTA_THRESHOLD_DIR, else $XDG_DATA_HOME/Corvanta,\n"
         "                       else ~/.local/share/Corvanta; missing folders are created)\n"
         "  --calibration        print the job as a calibration page (levels stepped band by band)\n"
         "  --stats              report pages, rows and dots before/after per plane on standard error\n"
         "  --preview DIR        write before/after PNG images of every page to DIR\n"
         "  --help               show this text\n";
}

ParseResult parseOptions(const std::vector<std::string>& args, FilterOptions& options, std::string& error) {
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg, value;
    bool hasValue = false;
    const size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    }
    const bool takesValue = name == "--maker" || name == "--black-save" || name == "--color-save" ||
                            name == "--printer" || name == "--preview" || name == "--threshold-dir";
    if (takesValue && !hasValue) {
      if (i + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return ParseResult::Error;
      }
      value = args[++i];
    } else if (!takesValue && hasValue) {
      error = "option " + name + " takes no value";
      return ParseResult::Error;
    }
    if (name == "--help" || name == "-h") return ParseResult::Help;
    if (name == "--calibration") {
      options.calibration = true;
    } else if (name == "--stats") {
      options.stats = true;
    } else if (name == "--maker") {
      bool known = false;
      for (const MakerName& entry : kMakers)
        if (lower(value) == entry.name) {
          options.maker = entry.maker;
          known = true;
        }
      if (!known) {
        error = "unknown maker '" + value + "' (use hp or canon)";
        return ParseResult::Error;
      }
    } else if (name == "--black-save" || name == "--color-save") {
      if (!parsePercent(value, name == "--black-save" ? options.blackSave : options.colorSave)) {
        error = name + " needs a whole percentage from 0 to 100, not '" + value + "'";
        return ParseResult::Error;
      }
    } else if (name == "--printer") {
      if (value.empty() || value.size() >= kPrinterNameBufferSize) {
        error = "--printer needs a name of 1 to " + std::to_string(kPrinterNameBufferSize - 1) + " bytes";
        return ParseResult::Error;
      }
      options.printerName = value;
    } else if (name == "--threshold-dir") {
      if (value.empty()) {
        error = "--threshold-dir needs a folder";
        return ParseResult::Error;
      }
      options.thresholdDir = value;
    } else if (name == "--preview") {
      if (value.empty()) {
        error = "--preview needs a directory";
        return ParseResult::Error;
      }
      options.previewDir = value;
    } else {
      error = "unknown option '" + arg + "'";
      return ParseResult::Error;
    }
  }
  if (positional.size() > 2) {
    error = "too many arguments: '" + positional[2] + "' (only IN and OUT)";
    return ParseResult::Error;
  }
  if (!positional.empty()) options.input = positional[0];
  if (positional.size() > 1) options.output = positional[1];
  return ParseResult::Run;
}

}  // namespace filter
