#include "transfer/corestate.h"

#include "modulation/mapper.h"
#include "shaping/filters.h"
#include "shell/uldo.h"
#include "transfer/ftp.h"
#include "transfer/gpib.h"

void ResetCoreState() {
    ResetRecords();
    ResetMapEditor();
    ResetFIR();
    ResetGenerators();
    ResetFtpOutput();
    ResetGpib();
}
