#pragma once

// Identifiers shared by the about box's resource script and its code. Plain
// preprocessor text: the resource compiler reads this file too.
#define IDB_ABOUT_LOGO 114
#define IDC_ABOUT_LOGO 1053
#define IDC_ABOUT_UPDATE 1059
#define IDC_ABOUT_OK 1060
#define IDC_ABOUT_WEBSITE 1072
#define IDC_ABOUT_LEARN_MORE 1073
