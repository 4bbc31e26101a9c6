// uldoc assist: the carrier assistant's comb written as a table.
#pragma once

// argv[0] is "assist". Returns the exit status.
int RunAssist(int argc, char** argv);

// The text of uldoc assist --help.
extern const char* const uldoc_assist_usage;
