// Resource ids of QS.EXE. Japanese and English templates carry the same control ids.
#pragma once

#include "manifest.h"

#define IDI_QS 101
