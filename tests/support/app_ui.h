// Shared set-up of the GUI tests: one application object per test program,
// the fixture every GUI case starts from, and the panels a compile needs,
// loaded as start-up loads them.
#pragma once

#include <gtest/gtest.h>

#include "editors/assistant.h"
#include "shell/hooks.h"
#include "shell/panels_ui.h"
#include "shell/uldo.h"
#include "shell/userint_ui.h"
#include "transfer/corestate.h"

// Creates the application once (Qt keeps argc and argv for its lifetime).
inline void StartTestApplication() {
    static int argc = 1;
    static char name[] = "uldo_test";
    static char* argv[] = {name, nullptr};
    InitUserInterface(argc, argv);
}

// The start of a GUI case: the whole core state and the assistant's random
// numbers as at a fresh start, no panel loaded, waits instant, the program's
// callbacks registered, and the core's messages sent to the pop-up seam, where
// a ScriptedPopups of the test records them. Also for a case that starts over.
inline void StartGuiCase() {
    ResetCoreState();
    ResetAssistantRandom();
    ResetUserInterface();
    SetDelayScale(0);
    core_hooks = CoreHooks{};
    core_hooks.message = [](const char* title, const char* text) { MessagePopup(title, text); };
    RegisterUldoCallbacks();
}

class GuiFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StartTestApplication(); }
    void SetUp() override { StartGuiCase(); }
    void TearDown() override { core_hooks = CoreHooks{}; }
};

// The main panel, its menu bar and the progress panel, the main panel shown.
inline void LoadCompilePanels() {
    handle = LoadPanel(0, "uldo.uir", PANEL_MAIN);
    handle0 = LoadMenuBar(handle, "uldo.uir", MENUBAR_MAIN);
    handle2 = LoadPanel(0, "uldo.uir", PANEL_PROGRESS);
    DisplayPanel(handle);
}

// Carrier i as a shaped QPSK carrier with the generator defaults.
inline void SetQpskCarrier(int i, float frequency_hz, float symbol_rate) {
    Carrier& c = signals[i];
    c.frequency_hz = frequency_hz;
    c.amplitude = 1.0f;
    c.symbol_rate = symbol_rate;
    c.modulation = MOD_QPSK;
    c.filter_type = FILTER_SQRT_RCOS;
    c.filter_param = 0.35f;
    c.filter_length = 9;
    c.prbs_poly_i = c.prbs_poly_q = 3;
    c.prbs_seed_i = c.prbs_seed_q = 0xFEDCBA98u;
    c.prbs_iq_equal = 1;
}

// A short record for GUI compiles: 4000 samples in compile mode 0 at four times
// the highest carrier frequency, WFM files, the RF pass, reference carrier 1.
inline void SetSmallCompileSettings() {
    globals.compile_mode = 0;
    globals.compile_length = 4000;
    globals.sample_clock = 4.0f;
    globals.max_record_length = 1000000;
    globals.record_granularity = 1;
    globals.instrument_type = 0;
    globals.output_destination = 1;
    globals.output_rf = 1;
    globals.output_baseband_i = globals.output_baseband_q = 0;
    globals.reference_carrier = 1;
}
