// The plot library, included with this target's Qt keyword settings: its
// header uses the bare keywords, which the records' `signals` table rules out.
#pragma once

#define signals Q_SIGNALS
#define slots Q_SLOTS
#define emit Q_EMIT
#define foreach Q_FOREACH
#include <qcustomplot.h>
#undef signals
#undef slots
#undef emit
#undef foreach
