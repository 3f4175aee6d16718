// Control and string ids of the "CURRENTINKSETTINGS" template, as the
// language resource libraries define them.
#pragma once

#include "resource_ids.h"

namespace job_prompt {

constexpr int kSaveButton = IDC_JOB_SAVE;
constexpr int kDisplayInkCheck = IDC_JOB_DISPLAY_INK_CHECK;
constexpr int kBlackSlider = IDC_JOB_BLACK_SLIDER;
constexpr int kColorSlider = IDC_JOB_COLOR_SLIDER;
constexpr int kBlackBox = IDC_JOB_BLACK_BOX;
constexpr int kColorBox = IDC_JOB_COLOR_BOX;
constexpr int kReductionCheck = IDC_JOB_REDUCTION_CHECK;
constexpr int kPrinterNameText = IDC_JOB_PRINTER_NAME;
// Labels and frames of the template that go grey with the level controls.
inline constexpr const auto& kLevelLabels = corvanta_res::kJobLevelLabels;

constexpr int kTitleString = IDS_JOB_DIALOG_TITLE;
constexpr int kErrorCaptionString = IDS_INPUT_ERROR_CAPTION;
constexpr int kInvalidLevelString = IDS_INVALID_LEVEL;
inline constexpr const auto& kIconName = corvanta_res::kAppIcon;

}  // namespace job_prompt
