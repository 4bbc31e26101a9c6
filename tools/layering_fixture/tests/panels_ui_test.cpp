#include <QWidget>
#include "shell/uldo.h"
