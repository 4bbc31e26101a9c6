// Below is fine, above the core is not.
#include <vector>
#include "shell/uldo.h"
#include "maps/maps.h"
#include "tests/support/tempdir.h"
