// Resource ids of KORVTASK.EXE. Japanese and English templates carry the same control ids.
#pragma once

#include "manifest.h"

#define IDI_KORVTASK 101
