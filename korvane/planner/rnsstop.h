// Numbered stop points after each system change of the planner: a test hook (rnsstop.cpp).
#pragma once

// Called by the planner right after each change it makes to the system. Does nothing unless a
// test prefix armed the hook; see rnsstop.cpp.
void StopPoint(const char *change);
// What a stop point does: by default the armed hook above. Unit tests of the planner put their own
// here, to look at the machine and the command list at each point.
extern void (*g_stopPointAction)(const char *change);

// The stop point TIDEWELL_STOP_AT names: its number (1 for the first point), 0 to only note the
// points, -1 when the text is absent or not a plain decimal number (the hook stays unarmed).
int ParseStopPoint(const char *text);
