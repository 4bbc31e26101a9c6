#include "editors/tablerows.h"

#include <cstdio>
#include <cstdlib>

#include "shell/modtraits.h"
#include "shell/uldo.h"

void FormatCarrierRow(int i, char* row, std::size_t size) {
    if (!row || size == 0) return;
    row[0] = 0;
    if (i < 0 || i >= MAX_CARRIERS) return;
    const Carrier& c = signals[i];
    // Codes the editors never store have no name; show dashes of the column width.
    const char* mod_name = ModulationTableName(c.modulation);
    const char* filter_name = FilterTableName(c.filter_type);
    if (!mod_name) mod_name = "------";
    if (!filter_name) filter_name = "----------";

    if (ModKind(c.modulation) != MOD_KIND_TONE) {
        std::snprintf(row, size, " %3d| %12.6f |    %6.2f | %12.6f |    %.10s |%.10s |  %2.3f", i + 1,
                      c.frequency_hz / 1000000.0, c.amplitude, c.symbol_rate / 1000000.0, mod_name,
                      filter_name, c.filter_param);
    } else {
        std::snprintf(row, size, " %3d| %12.6f |    %6.2f |              |    %.10s |  %.10s", i + 1,
                      c.frequency_hz / 1000000.0, c.amplitude, mod_name, "NONE");
    }
    if (i == std::abs(globals.reference_carrier) - 1) row[0] = '*';
}
