// The product's printer ports and the parallel ports they stand in for, in
// the order programs walk them (the control panel returns unconfigured
// printers to their parallel port; the port switcher moves printers across).
#pragma once

namespace settings {

struct PortPair {
  const char* productPort;
  const char* parallelPort;
};

constexpr PortPair kProductPorts[] = {
    {"Corvanta Port 1", "LPT1:"}, {"Corvanta Port 2", "LPT2:"}, {"Corvanta Port 3", "LPT3:"},
    {"Corvanta Port 4", "LPT4:"}, {"Corvanta Port 5", "LPT5:"}, {"Corvanta Port 6", "LPT6:"},
    {"Corvanta Port 7", "LPT7:"}, {"Corvanta Port 8", "LPT8:"}, {"Corvanta Port 9", "LPT9:"},
};

}  // namespace settings
