// uldoc --png: the analysis images of the compiled record, drawn by the user
// interface's own plots. Only a uldoc built with ULDO_CLI_PNG has it.
#pragma once

// Draws spectrum.png, ccdf.png, iq.png and the visual displays into `dir`.
// 0, or -1 after a message.
int SaveUldocImages(const char* dir);
