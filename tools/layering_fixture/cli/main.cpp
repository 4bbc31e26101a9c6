// Above all folders, yet without _ui in its name.
#include "compile/engine.h"
#include "displays/displays_ui.h"
