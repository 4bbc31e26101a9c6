// The whole state of the core back to a fresh start: the records and every
// subsystem's own state record. Tests call it at the start of each case;
// the drivers never need it (a process starts fresh).
//
// It sits at the top of the core's folders because it resets each of them.
#pragma once

void ResetCoreState();
