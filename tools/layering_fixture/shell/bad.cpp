// Breaks both rules.
#include <QWidget>
#include "shell/widgets_ui.h"
#include "compile/engine.h"
#include "shell/uldo.h"
