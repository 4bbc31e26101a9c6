#include "transfer/corestate.h"

#include "compile/engine.h"
#include "compile/output.h"
#include "modulation/mapper.h"
#include "shaping/filters.h"
#include "shell/uldo.h"
#include "transfer/ftp.h"
#include "transfer/gpib.h"
#include "transfer/targets.h"
#include "transfer/tcp.h"

void ResetCoreState() {
    ResetRecords();
    ResetMapEditor();
    ResetFIR();
    ResetGenerators();
    ResetFtp();
    ResetGpib();
    ResetTcp();
    ResetEngineState();
    ResetOutputState();
    ResetTargetSinks();
}
