// The GUI entry point.
#include "shell/startup_ui.h"

int main(int argc, char** argv) { return UldoMain(argc, argv); }
