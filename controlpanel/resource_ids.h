// Identifiers shared by the language resource libraries (CorvantaRes.dll,
// CorvantaResDeu.dll, CorvantaResFre.dll), the control panel and the per-job
// dialog: string ids, control ids of the three dialog templates, menu
// commands, resource names and the panel's private window messages.
//
// Every number is defined here once, as a plain #define so that the resource
// compiler can read this file; the C++ tables at the end are hidden from it.
#ifndef CORVANTA_RESOURCE_IDS_H
#define CORVANTA_RESOURCE_IDS_H

// ---------------------------------------------------------------------------
// String table (ids 1-55; every library holds all of them)
// ---------------------------------------------------------------------------
#define IDS_PANEL_TITLE 1               // settings dialog title
#define IDS_ABOUT_TITLE 2               // About box title
#define IDS_JOB_DIALOG_TITLE 3          // per-job dialog title
#define IDS_JOB_DIALOG_HINT 4           // per-job dialog: what the dialog is for
#define IDS_UNIT_PER_YEAR 5             // appended to yearly money texts
#define IDS_UNIT_PER_CARTRIDGE 6        // appended to per-cartridge money texts
#define IDS_INPUT_ERROR_CAPTION 7       // caption of input-error messages
#define IDS_WARNING_CAPTION 8           // caption of warnings
#define IDS_TAB_LEVELS 9                // label of tab 0
#define IDS_TAB_SAVINGS 10              // label of tab 1
#define IDS_MENU_BLACK_PREFIX 11        // black level submenu label, before "%d%%"
#define IDS_MENU_COLOR_PREFIX 12        // colour level submenu label, before "%d%%"
#define IDS_WORD_BLACK 13               // "Black"
#define IDS_WORD_COLOR 14               // "Colour"
#define IDS_MENU_REDUCTION_ON 15        // tray item shown while reduction is off
#define IDS_MENU_CUSTOM_LEVEL 16        // tooltip of a custom level item
#define IDS_TIP_REDUCTION_ON 17         // tray tip word: reduction on
#define IDS_TIP_REDUCTION_OFF 18        // tray tip word: reduction off
#define IDS_TIP_BLACK_LABEL 19          // tray tip label before the black level
#define IDS_TIP_COLOR_LABEL 20          // tray tip label before the colour level
#define IDS_MENU_REDUCTION_OFF 21       // tray item shown while reduction is on
#define IDS_ABOUT_TEXT 22               // About box text (control 1176)
#define IDS_ABOUT_NOTE 23               // About box note (control 1175)
#define IDS_ABOUT_VERSION 24            // version line
#define IDS_ABOUT_COPYRIGHT 25          // copyright line
#define IDS_ASK_SAVE_PREVIOUS 26        // save the previous printer's changes? (yes/no)
#define IDS_INVALID_COST 27             // invalid cartridge price
#define IDS_CALIBRATION_DOCUMENT 28     // document name of the calibration page
#define IDS_CALIBRATION_WAITING 29      // calibration page on its way
#define IDS_ABOUT_PICTURE_COPYRIGHT 30  // About picture text at (5, 220)
#define IDS_CALIBRATION_BUTTON_TIP 31   // what the calibration page button does
#define IDS_INVALID_LEVEL 32            // invalid saving level (0 to 75)
#define IDS_NO_PRINTER_SELECTED 33      // no printer chosen
#define IDS_INVALID_CARTRIDGES 34       // invalid cartridge count (0 to 99)
#define IDS_CALIBRATION_TITLE 35        // calibration page title
#define IDS_CALIBRATION_HEADING 36      // calibration page heading
#define IDS_CALIBRATION_ROW_1 37        // calibration row text, first line
#define IDS_CALIBRATION_ROW_2 38        // calibration row text, second line
#define IDS_CALIBRATION_ROW_3 39        // calibration row text, third line
#define IDS_CALIBRATION_UNDER_LEVEL 40  // text under each percentage
#define IDS_CALIBRATION_PRINTER_LINE 41 // calibration heading, line above string 36
#define IDS_ABOUT_PICTURE_RIGHTS 42     // About picture text at (5, 228)
#define IDS_ABOUT_PICTURE_WEB 43        // About picture text at (5, 236)
#define IDS_ABOUT_SUPPORT 44            // where to get help
#define IDS_ABOUT_LICENSE 45            // licence line
#define IDS_ABOUT_THANKS 46             // thanks line
#define IDS_ABOUT_PICTURE_VERSION 47    // About picture text at (195, 10)
#define IDS_REMOVED_BEFORE_NAME 48      // printer-removed warning: before the name
#define IDS_REMOVED_AFTER_NAME 49       // printer-removed warning: after the name
#define IDS_REMOVED_SETTINGS 50         // printer-removed warning: settings deleted
#define IDS_REMOVED_CLOSING 51          // printer-removed warning: program ends
#define IDS_PRINTER_NOT_OPENED 52       // calibration page: printer cannot be opened
#define IDS_NO_CONFIGURED_PRINTER 53    // no printer is configured
#define IDS_PRINTER_NOT_FOUND 54        // a printer of the list cannot be read
#define IDS_ABOUT_PICTURE_PRODUCT 55    // About picture text at (195, 2)

#define IDS_FIRST 1
#define IDS_LAST 55

// ---------------------------------------------------------------------------
// Settings dialog "MainDlg"
// ---------------------------------------------------------------------------
// Outside the tabs.
#define IDC_PRINTER_LIST 1038      // drop-down list of the configured printers
#define IDC_TABS 1029              // tab 0 levels, tab 1 savings
#define IDC_PRINT_CALIBRATION 1037 // icon button: print the calibration page
#define IDC_HELP_MENU_BUTTON 1035  // opens the help popup below itself
#define IDC_PANEL_OK 1000
#define IDC_PANEL_CANCEL 1001
#define IDC_PANEL_APPLY 1141

// Tab 0: reduction switches and levels.
#define IDC_REDUCTION_CHECK 1130        // InkReduction
#define IDC_REDUCTION_NOTE 1081         // what reduction does (never disabled)
#define IDC_DISPLAY_INK_CHECK 1031      // DisplayInk
#define IDC_BLACK_GROUP 1033            // frame of the black channel
#define IDC_BLACK_LEVEL_CAPTION 1032
#define IDC_BLACK_LEVEL_EDIT 1041       // "%d%%"
#define IDC_BLACK_TRACKBAR 1047
#define IDC_BLACK_TICK_0 1103           // scale under the trackbar: 0, 25, 50, 75 %
#define IDC_BLACK_TICK_25 1104
#define IDC_BLACK_TICK_50 1105
#define IDC_BLACK_TICK_75 1106
#define IDC_BLACK_CART_SAVING_CAPTION 1034
#define IDC_BLACK_CART_SAVING 1045      // saving per cartridge "%s /%s"
#define IDC_BLACK_SAVINGS_LINK 1115     // opens tab 1
#define IDC_BLACK_PREVIEW_CAPTION 1119
#define IDC_BLACK_PREVIEW_FRAME 1178    // never disabled
#define IDC_COLOR_GROUP 1036            // frame of the colour channel
#define IDC_COLOR_LEVEL_CAPTION 1039
#define IDC_COLOR_LEVEL_EDIT 1043
#define IDC_COLOR_TRACKBAR 1048
#define IDC_COLOR_TICK_0 1107
#define IDC_COLOR_TICK_25 1108
#define IDC_COLOR_TICK_50 1109
#define IDC_COLOR_TICK_75 1110
#define IDC_COLOR_CART_SAVING_CAPTION 1040
#define IDC_COLOR_CART_SAVING 1046
#define IDC_COLOR_SAVINGS_LINK 1116     // opens tab 1; its class gets the hand cursor
#define IDC_COLOR_PREVIEW_CAPTION 1121
#define IDC_COLOR_PREVIEW_FRAME 1181    // never disabled
// Preview pictures, bands 0-6 (levels below 12, 12-24, 25-36, 37-49, 50-67,
// 68-73, 74 and above); the seven of a channel share one place.
#define IDC_BLACK_PREVIEW_0 1118
#define IDC_BLACK_PREVIEW_1 1167
#define IDC_BLACK_PREVIEW_2 1131
#define IDC_BLACK_PREVIEW_3 1168
#define IDC_BLACK_PREVIEW_4 1132
#define IDC_BLACK_PREVIEW_5 1169
#define IDC_BLACK_PREVIEW_6 1133
#define IDC_COLOR_PREVIEW_0 1120
#define IDC_COLOR_PREVIEW_1 1184
#define IDC_COLOR_PREVIEW_2 1134
#define IDC_COLOR_PREVIEW_3 1185
#define IDC_COLOR_PREVIEW_4 1135
#define IDC_COLOR_PREVIEW_5 1186
#define IDC_COLOR_PREVIEW_6 1136

// Tab 1: cartridge costs and savings.
#define IDC_SAVINGS_HEADING 1102        // bold
#define IDC_SAVINGS_INTRO 1052
#define IDC_COSTS_GROUP 1124
#define IDC_COSTS_BLACK_HEADER 1091
#define IDC_COSTS_COLOR_HEADER 1092
#define IDC_COST_CAPTION 1049
#define IDC_BLACK_COST_EDIT 1050        // price of one cartridge
#define IDC_COLOR_COST_EDIT 1051
#define IDC_BLACK_COST_SPIN 1061        // up-down of 1050, 0-999
#define IDC_COLOR_COST_SPIN 1062
#define IDC_CARTRIDGES_CAPTION 1057
#define IDC_BLACK_CARTRIDGES_EDIT 1054  // cartridges per year
#define IDC_COLOR_CARTRIDGES_EDIT 1056
#define IDC_BLACK_CARTRIDGES_SPIN 1063  // up-down of 1054, 0-99
#define IDC_COLOR_CARTRIDGES_SPIN 1064
#define IDC_YEAR_COST_CAPTION 1058
#define IDC_BLACK_YEAR_COST 1066
#define IDC_COLOR_YEAR_COST 1067
#define IDC_COSTS_TOTAL_RULE 1090
#define IDC_TOTAL_COST_CAPTION 1059     // bold
#define IDC_TOTAL_YEAR_COST 1068        // rich edit
#define IDC_COSTS_NOTE 1093
#define IDC_SAVINGS_GROUP 1125
#define IDC_SAVINGS_BLACK_HEADER 1142
#define IDC_SAVINGS_COLOR_HEADER 1143
#define IDC_LEVEL_CAPTION 1069
#define IDC_BLACK_LEVEL_LABEL 1083      // "%d%%"
#define IDC_COLOR_LEVEL_LABEL 1082
#define IDC_CART_SAVING_CAPTION 1070
#define IDC_BLACK_CART_SAVING_2 1084    // saving per cartridge, money only
#define IDC_COLOR_CART_SAVING_2 1085
#define IDC_YEAR_SAVING_CAPTION 1072
#define IDC_BLACK_YEAR_SAVING 1087
#define IDC_COLOR_YEAR_SAVING 1088
#define IDC_SAVINGS_TOTAL_RULE 1144
#define IDC_TOTAL_SAVING_CAPTION 1080   // bold
#define IDC_TOTAL_YEAR_SAVING 1089      // rich edit
#define IDC_SAVINGS_NOTE 1077
#define IDC_LEVELS_LINK_NOTE 1145
#define IDC_LEVELS_LINK 1075            // opens tab 0

// ---------------------------------------------------------------------------
// About box "DIALOG_ABOUT"
// ---------------------------------------------------------------------------
#define IDC_ABOUT_TEXT 1176     // resource string 22
#define IDC_ABOUT_NOTE 1175     // resource string 23
#define IDC_ABOUT_PICTURE 1189  // owner-drawn picture (bitmap 171 and texts)

// ---------------------------------------------------------------------------
// Per-job dialog "CURRENTINKSETTINGS"
// ---------------------------------------------------------------------------
#define IDC_JOB_SAVE 1145
#define IDC_JOB_DISPLAY_INK_CHECK 1146
#define IDC_JOB_BLACK_SLIDER 1148
#define IDC_JOB_COLOR_SLIDER 1149
#define IDC_JOB_BLACK_BOX 1154
#define IDC_JOB_COLOR_BOX 1155
#define IDC_JOB_REDUCTION_CHECK 1156
#define IDC_JOB_PRINTER_NAME 1157
// Labels and frames that go grey with the level controls.
#define IDC_JOB_BLACK_CAPTION 1032
#define IDC_JOB_BLACK_PERCENT 1034
#define IDC_JOB_COLOR_CAPTION 1039
#define IDC_JOB_COLOR_PERCENT 1040
#define IDC_JOB_BLACK_TICK_0 1102
#define IDC_JOB_BLACK_TICK_25 1103
#define IDC_JOB_BLACK_TICK_50 1104
#define IDC_JOB_BLACK_TICK_75 1105
#define IDC_JOB_COLOR_TICK_0 1106
#define IDC_JOB_COLOR_TICK_25 1107
#define IDC_JOB_COLOR_TICK_50 1108
#define IDC_JOB_COLOR_TICK_75 1109
#define IDC_JOB_BLACK_GROUP 1158
#define IDC_JOB_COLOR_GROUP 1159

// ---------------------------------------------------------------------------
// Menus "SYS_TRAY_POPUP_MENU" and "HELP_MENU"
// ---------------------------------------------------------------------------
// Submenu 0 of "SYS_TRAY_POPUP_MENU", as the library holds it:
//   0 40006 show settings (made the default item)
//   1 40005 start with Windows
//   2 popup: 40001 help, 40002 support page, 40003 web site, separator, 40004 About
//   3 separator
//   4 40007 reduction on/off (one printer; its text is set from string 15/21)
//   5 separator
//   6 40008 quit
// The panel inserts a separator and the two level submenus in front, which
// puts 40007 at position 7; with several printers it removes positions 3
// and 4 (the separator and 40007) instead.
// Submenu 0 of "HELP_MENU": 40001, 40002, 40003, separator, 40004.
#define IDM_HELP 40001
#define IDM_SUPPORT_PAGE 40002
#define IDM_WEB_SITE 40003
#define IDM_ABOUT 40004
#define IDM_START_WITH_WINDOWS 40005
#define IDM_SHOW_SETTINGS 40006
#define IDM_TOGGLE_REDUCTION 40007
#define IDM_QUIT 40008
// Per-printer level items: printer i owns IDM_PRINTER_BASE + 21 * i + k.
#define IDM_PRINTER_BASE 40010
#define IDM_IDS_PER_PRINTER 21

#define TRAY_MENU_REDUCTION_POSITION 4  // 40007 within the library's submenu 0

// ---------------------------------------------------------------------------
// Icons and bitmaps
// ---------------------------------------------------------------------------
// Icons are addressed by name: "IDI_ICON_APP_16", "IDI_ICON_DISABLE_INK",
// "IDI_ICON_PRINT_DEMO" (16x16 and 32x32 each).
#define IDB_ABOUT_PICTURE 171
// The preview pictures of the settings dialog, bands 0-6 per channel.
#define IDB_BLACK_PREVIEW_FIRST 201
#define IDB_COLOR_PREVIEW_FIRST 211

// ---------------------------------------------------------------------------
// Private window messages of the control panel (sent to the settings dialog)
// ---------------------------------------------------------------------------
#define WM_TRAYICON 1025        // WM_USER + 1: wParam icon id 1000, lParam mouse message
#define WM_CALPAGEDONE 1029     // WM_USER + 5
#define WM_PRINTERREMOVED 1030  // WM_USER + 6: wParam printer index
#define WM_PERJOBCHANGED 1031   // WM_USER + 7
#define TRAY_ICON_ID 1000

#ifndef RC_INVOKED
namespace corvanta_res {

// Resource names.
constexpr char kMainDialog[] = "MainDlg";
constexpr char kAboutDialog[] = "DIALOG_ABOUT";
constexpr char kJobDialog[] = "CURRENTINKSETTINGS";
constexpr char kTrayMenu[] = "SYS_TRAY_POPUP_MENU";
constexpr char kHelpMenu[] = "HELP_MENU";
constexpr char kAppIcon[] = "IDI_ICON_APP_16";
constexpr char kDisabledIcon[] = "IDI_ICON_DISABLE_INK";
constexpr char kPrintDemoIcon[] = "IDI_ICON_PRINT_DEMO";

// Library files.
constexpr char kEnglishLibrary[] = "CorvantaRes.dll";
constexpr char kGermanLibrary[] = "CorvantaResDeu.dll";
constexpr char kFrenchLibrary[] = "CorvantaResFre.dll";

// Controls of tab 0: the first 29 are shown with the tab, then the preview
// pictures (black bands 0-6, colour bands 0-6), one per channel shown.
constexpr int kTab0Controls[] = {
    IDC_REDUCTION_CHECK, IDC_REDUCTION_NOTE, IDC_DISPLAY_INK_CHECK, IDC_BLACK_LEVEL_CAPTION, IDC_BLACK_GROUP,
    IDC_BLACK_CART_SAVING_CAPTION, IDC_COLOR_GROUP, IDC_COLOR_LEVEL_CAPTION, IDC_COLOR_CART_SAVING_CAPTION,
    IDC_BLACK_LEVEL_EDIT, IDC_COLOR_LEVEL_EDIT, IDC_BLACK_CART_SAVING, IDC_COLOR_CART_SAVING, IDC_BLACK_TRACKBAR,
    IDC_COLOR_TRACKBAR, IDC_BLACK_TICK_0, IDC_BLACK_TICK_25, IDC_BLACK_TICK_50, IDC_BLACK_TICK_75, IDC_COLOR_TICK_0,
    IDC_COLOR_TICK_25, IDC_COLOR_TICK_50, IDC_COLOR_TICK_75, IDC_COLOR_SAVINGS_LINK, IDC_BLACK_SAVINGS_LINK,
    IDC_BLACK_PREVIEW_CAPTION, IDC_COLOR_PREVIEW_CAPTION, IDC_BLACK_PREVIEW_FRAME, IDC_COLOR_PREVIEW_FRAME,
    IDC_BLACK_PREVIEW_0, IDC_BLACK_PREVIEW_1, IDC_BLACK_PREVIEW_2, IDC_BLACK_PREVIEW_3, IDC_BLACK_PREVIEW_4,
    IDC_BLACK_PREVIEW_5, IDC_BLACK_PREVIEW_6, IDC_COLOR_PREVIEW_0, IDC_COLOR_PREVIEW_1, IDC_COLOR_PREVIEW_2,
    IDC_COLOR_PREVIEW_3, IDC_COLOR_PREVIEW_4, IDC_COLOR_PREVIEW_5, IDC_COLOR_PREVIEW_6};
constexpr int kTab0ShownWithTab = 29;
constexpr int kBlackPreviews[] = {IDC_BLACK_PREVIEW_0, IDC_BLACK_PREVIEW_1, IDC_BLACK_PREVIEW_2, IDC_BLACK_PREVIEW_3,
                                  IDC_BLACK_PREVIEW_4, IDC_BLACK_PREVIEW_5, IDC_BLACK_PREVIEW_6};
constexpr int kColorPreviews[] = {IDC_COLOR_PREVIEW_0, IDC_COLOR_PREVIEW_1, IDC_COLOR_PREVIEW_2, IDC_COLOR_PREVIEW_3,
                                  IDC_COLOR_PREVIEW_4, IDC_COLOR_PREVIEW_5, IDC_COLOR_PREVIEW_6};

// Controls of tab 1.
constexpr int kTab1Controls[] = {
    IDC_COST_CAPTION, IDC_BLACK_COST_EDIT, IDC_COLOR_COST_EDIT, IDC_SAVINGS_INTRO, IDC_BLACK_CARTRIDGES_EDIT,
    IDC_COLOR_CARTRIDGES_EDIT, IDC_BLACK_YEAR_COST, IDC_COLOR_YEAR_COST, IDC_CARTRIDGES_CAPTION,
    IDC_YEAR_COST_CAPTION, IDC_TOTAL_COST_CAPTION, IDC_BLACK_COST_SPIN, IDC_COLOR_COST_SPIN,
    IDC_BLACK_CARTRIDGES_SPIN, IDC_COLOR_CARTRIDGES_SPIN, IDC_TOTAL_YEAR_COST, IDC_LEVEL_CAPTION,
    IDC_CART_SAVING_CAPTION, IDC_YEAR_SAVING_CAPTION, IDC_COSTS_NOTE, IDC_COLOR_LEVEL_LABEL, IDC_BLACK_LEVEL_LABEL,
    IDC_BLACK_CART_SAVING_2, IDC_COLOR_CART_SAVING_2, IDC_BLACK_YEAR_SAVING, IDC_SAVINGS_NOTE, IDC_COLOR_YEAR_SAVING,
    IDC_TOTAL_YEAR_SAVING, IDC_COSTS_TOTAL_RULE, IDC_COSTS_BLACK_HEADER, IDC_COSTS_COLOR_HEADER, IDC_LEVELS_LINK,
    IDC_TOTAL_SAVING_CAPTION, IDC_SAVINGS_HEADING, IDC_COSTS_GROUP, IDC_SAVINGS_GROUP, IDC_SAVINGS_BLACK_HEADER,
    IDC_SAVINGS_COLOR_HEADER, IDC_SAVINGS_TOTAL_RULE, IDC_LEVELS_LINK_NOTE};

// Controls of "CURRENTINKSETTINGS" that are disabled with the level controls.
constexpr int kJobLevelLabels[] = {IDC_JOB_BLACK_CAPTION, IDC_JOB_BLACK_PERCENT, IDC_JOB_COLOR_CAPTION,
                                   IDC_JOB_COLOR_PERCENT, IDC_JOB_BLACK_TICK_0,  IDC_JOB_BLACK_TICK_25,
                                   IDC_JOB_BLACK_TICK_50, IDC_JOB_BLACK_TICK_75, IDC_JOB_COLOR_TICK_0,
                                   IDC_JOB_COLOR_TICK_25, IDC_JOB_COLOR_TICK_50, IDC_JOB_COLOR_TICK_75,
                                   IDC_JOB_BLACK_GROUP,  IDC_JOB_COLOR_GROUP};

}  // namespace corvanta_res
#endif  // RC_INVOKED

#endif  // CORVANTA_RESOURCE_IDS_H
