// The command line of corvanta-filter.
#pragma once

#include <string>
#include <vector>

namespace filter {

enum class Maker { Hp, Canon };

struct FilterOptions {
  Maker maker = Maker::Hp;
  int blackSave = 25;  // percent of ink to save, 0..100
  int colorSave = 25;
  std::string printerName = "corvanta-filter";  // names the threshold files' data folder
  std::string thresholdDir;  // holds the printers' threshold folders; empty: the default
  bool calibration = false;
  bool stats = false;
  std::string previewDir;    // empty: no previews
  std::string input = "-";   // "-": standard input
  std::string output = "-";  // "-": standard output
};

enum class ParseResult { Run, Help, Error };

// Reads the arguments after the program name. On Error, `error` says what was
// wrong in one line.
ParseResult parseOptions(const std::vector<std::string>& args, FilterOptions& options, std::string& error);

const char* usageText();
// A whole percentage 0..100, optionally followed by '%'; `value` is left
// alone when `text` is not one.
bool parsePercent(const std::string& text, int& value);
const char* makerName(Maker maker);

}  // namespace filter
