// uldoc map: a symbol map made with the map editor's operations.
#pragma once

// argv[0] is "map". Returns the exit status.
int RunMap(int argc, char** argv);

extern const char* const uldoc_map_usage;
