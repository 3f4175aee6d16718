// Resource ids of the setup resource libraries (CorvantaSetupRes*.dll), shared
// by DemoSheet and the libraries' .rc files.
#pragma once

#define IDD_DEMO_SHEET 2500
#define IDC_DEMO_PRINT 2502
#define IDC_DEMO_PRINTERS 2503
#define IDC_DEMO_SKIP 1005
#define IDS_DEMO_SKIP_CONFIRM 10000
