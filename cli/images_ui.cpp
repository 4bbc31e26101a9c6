#include "cli/images.h"

#include "displays/displays_ui.h"

int SaveUldocImages(const char* dir) { return SaveAnalysisImages(dir); }
