// Resource ids of KORVANE.EXE. Japanese and English templates carry the same control ids.
#pragma once
// clang-format off

#include "manifest.h"
#include "textbox.h"

#define IDI_KORVANE 101

// Dialog templates in two languages, as {Japanese id, English id}.
#define KORVANE_DIALOG_PAIRS
