// The product's two web pages, opened from the tray and help menus.
#pragma once

namespace control_panel {

constexpr char kSupportPageAddress[] = "https://www.corvanta-ink.com/support/index.htm";
constexpr char kWebSiteAddress[] = "https://www.corvanta-ink.com/";

}  // namespace control_panel
