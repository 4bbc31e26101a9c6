// Start-up, main loop and exit of the GUI program.
#pragma once

// The whole life of the GUI: start-up sequence, event loop, return value.
int UldoMain(int argc, char** argv);
