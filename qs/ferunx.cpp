// ferunx: the Other Applications dialog of $Rnsx.
#include "QS.h"

void RunOtherApplications(Walk &walk) { SendMessageA(walk.window, kQsLiftBlackScreen, 0, 0); }
