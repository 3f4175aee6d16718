// The calibration page: a header (title, heading, logo) over rows of sample
// pictures, each row labelled with the saving level the language monitor
// prints it at. Variant 1 is one document of nine rows (0 to 75 %); variant 2,
// for printers that take the page as two jobs, a document of four rows and
// one of five.
#pragma once

#include <windows.h>

namespace control_panel {

constexpr int kCalibrationRows = 9;
// The saving level printed on row r of the page (0, 5, 15, ..., 75).
constexpr int calibrationLevel(int row) { return row == 0 ? 0 : (row - 1) * 10 + 5; }

// Marks the printer's page value (1, or 2 for variant 2) and draws the page
// on dc, a device context of that printer, with the pictures of the page
// folder and the texts of the resource library. Returns false when the page
// failed: the page value is then 0 again (it is never set when there is no
// page folder) and an unfinished document is abandoned.
bool printCalibrationDocuments(HDC dc, int variant, const char* printer, HMODULE resources);

}  // namespace control_panel
