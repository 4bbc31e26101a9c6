// Numbers of the panels, menu items and controls in "uldo.uir" that the code
// addresses. The resource file is the authority; a test checks both agree.
#pragma once

// Panel resource numbers.
enum {
    PANEL_ABOUT = 1, PANEL_EDITOR = 2, PANEL_MAIN = 3, PANEL_CCDF = 4, PANEL_PROGRESS = 5,
    PANEL_COMPILE_OPTIONS = 6, PANEL_IMPAIRMENTS = 7, PANEL_MAP_EDITOR = 8,
    PANEL_GENERAL_OPTIONS = 10, PANEL_SPLASH = 11, PANEL_INSTRUMENT_OPTIONS = 12,
    PANEL_PRBS2 = 13, PANEL_MAP_OFFSET = 16, PANEL_MAP_QAM = 17, PANEL_MAP_PREVIEW = 18,
    PANEL_MAP_ROTATION = 19, PANEL_MAP_SCALE = 20, PANEL_ASSISTANT = 21,
    PANEL_ANALYSIS = 22, PANEL_POWER = 23, PANEL_PRBS = 24, PANEL_POINT_EDITOR = 26,
    PANEL_SPLASH2 = 27, PANEL_PERSISTENCE = 28,
};
constexpr int MENUBAR_MAIN = 1;

// Main panel.
enum {
    MAIN_CARRIER_LIST = 2,
    MAIN_CARRIER_BUTTON = 3,   // Compile; dimmed while the table is empty
    MAIN_COMMENT = 10,
    MAIN_TABLE_FILE = 11,
    MAIN_EXIT = 12,
    MAIN_HEADING = 13,         // column names over the carrier list
};

// Main menu bar items.
enum {
    MENU_LOAD = 2, MENU_APPEND = 4, MENU_NEW = 5, MENU_SAVE = 7, MENU_SAVE_AS = 8,
    MENU_LOAD_SETUP = 10, MENU_SAVE_SETUP = 11, MENU_EXIT = 13,
    MENU_COMPILE = 15,         // dimmed while the table is empty
    MENU_APP1 = 24, MENU_APP2 = 25, MENU_HELP = 27, MENU_ABOUT = 28,
};

// About panel.
enum { ABOUT_OK = 2 };

// Progress panel.
enum { PROGRESS_PERCENT = 2, PROGRESS_BAR = 3, PROGRESS_CANCEL = 4, PROGRESS_STATUS = 5 };

// Analysis panel.
enum {
    ANALYSIS_IQ_GRAPH = 2, ANALYSIS_SPECTRUM = 11, ANALYSIS_PULSE = 13,
    ANALYSIS_FILTER_PARAM = 14, ANALYSIS_CLOCK = 15, ANALYSIS_SYMBOL_RATE = 16,
    ANALYSIS_SAMPLES = 17, ANALYSIS_SYMBOLS = 18, ANALYSIS_POWER = 19, ANALYSIS_PEAK_IQ = 20,
    ANALYSIS_PEAK_RF = 21, ANALYSIS_FREQUENCY = 22, ANALYSIS_MODULATION = 23,
    ANALYSIS_FILTER = 24, ANALYSIS_POWER_TABLE = 25, ANALYSIS_CCDF = 26, ANALYSIS_CLOSE = 27,
};

// Power table panel.
enum { POWER_LIST = 2, POWER_PEAK = 3, POWER_SUMMARY = 4, POWER_OK = 5, POWER_PRINT = 6 };

// CCDF panel.
enum {
    CCDF_OK = 2, CCDF_PRINT = 3, CCDF_CURSOR_X = 4, CCDF_RATIO = 5, CCDF_CURSOR_Y = 6,
    CCDF_GRAPH = 7,
};
