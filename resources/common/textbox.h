// The text box dialog: one template for both languages, since every text in it is set at run time.
#pragma once

#define IDD_TEXTBOX 214
#define IDC_TEXTBOX_ICON 2141
#define IDC_TEXTBOX_CAPTION 2142
#define IDC_TEXTBOX_TEXT 2143
