// Control and string ids of the "CURRENTINKSETTINGS" template.
#pragma once

namespace job_prompt {

constexpr int kSaveButton = 1145;
constexpr int kDisplayInkCheck = 1146;
constexpr int kBlackSlider = 1148;
constexpr int kColorSlider = 1149;
constexpr int kBlackBox = 1154;
constexpr int kColorBox = 1155;
constexpr int kReductionCheck = 1156;
constexpr int kPrinterNameText = 1157;
// Labels and frames of the template that go grey with the level controls.
constexpr int kLevelLabels[] = {1032, 1034, 1039, 1040, 1102, 1103, 1104, 1105,
                                1106, 1107, 1108, 1109, 1158, 1159};

constexpr int kTitleString = 3;
constexpr int kErrorCaptionString = 7;
constexpr int kInvalidLevelString = 32;
constexpr char kIconName[] = "IDI_ICON_APP_16";

}  // namespace job_prompt
