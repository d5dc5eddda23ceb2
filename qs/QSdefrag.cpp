// $AutoDefrag2000: the defragmenter's console, driven as a user would.
#include "QS.h"

void AutoDefrag2000(Walk &, const std::string &) {}
