// The fixture of the core's tests: the whole core state reset, and the
// messages and statuses recorded (support/message_log.h), hooks cleared after.
#pragma once

#include <gtest/gtest.h>

#include "support/message_log.h"
#include "transfer/corestate.h"

// Also for tests that loop over cases: call it at the start of each.
inline void StartCoreCase() {
    ResetCoreState();
    RecordCoreReports();
}

class CoreFixture : public ::testing::Test {
protected:
    void SetUp() override { StartCoreCase(); }
    void TearDown() override { core_hooks = CoreHooks{}; }
};
