// The main panel's carrier list.
#pragma once

// Rebuilds the carrier list, the comment and the table-file fields from the
// records; dims the carrier button and the compile item when the table is
// empty. Returns the number of rows, which callers take as the carrier count.
int UpdateCarrierTable();

// Write a modulation's or filter's display name into the analysis panel;
// a code without a name writes nothing.
void ShowPanelMod(int modulation);
void ShowPanelFilter(int filter);
