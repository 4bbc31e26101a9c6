// A user-interface file may include Qt and other folders.
#include <QWidget>
#include "editors/editors_ui.h"
