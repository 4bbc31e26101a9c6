// Text rows of the carrier table view.
#pragma once

#include <cstddef>

constexpr std::size_t CARRIER_ROW_SIZE = 128;

// Builds the list row of record i (0-based) into `row`: fixed-width columns of
// number, MHz, amplitude, Msym/s, modulation, filter and filter parameter, with
// "*" as the first character on the reference carrier's row.
void FormatCarrierRow(int i, char* row, std::size_t size);
