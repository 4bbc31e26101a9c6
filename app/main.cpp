// The GUI entry point.
#include "shell/startup.h"

int main(int argc, char** argv) { return UldoMain(argc, argv); }
