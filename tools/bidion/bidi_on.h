// BidiOn: switches on bidirectional support (PRINTER_ATTRIBUTE_ENABLE_BIDI)
// for every configured printer, keeping its other attributes. Printers the
// spooler no longer has are skipped without a message.
#pragma once

namespace tools {

void enableBidiOnConfiguredPrinters();

}  // namespace tools
