// The carrier editor's logic: which controls a modulation uses (one rule
// table for the editor and the assistant), the values of the editor's
// controls and how they become a record, and the table operations behind
// Add, Delete and the reference click. No UI here: the panels apply it.
#pragma once

#include <cstdint>
#include <string>

#include "shell/uldo.h"

// Controls of the carrier editor and the assistant, by role.
enum CarrierRole : int {
    ROLE_FREQUENCY, ROLE_AMPLITUDE, ROLE_PHASE,
    ROLE_SYMBOL_RATE, ROLE_DEVIATION,
    ROLE_FILTER, ROLE_FILTER_PARAM, ROLE_FILTER_LENGTH, ROLE_WINDOW,
    ROLE_DATA_SOURCE, ROLE_PRBS_BUTTON,
    ROLE_IQ_FILE, ROLE_IQ_BROWSE, ROLE_IQ_ENCODING, ROLE_IQ_LAYOUT,
    ROLE_MAP_FILE, ROLE_MAP_EDITOR,
    ROLE_CHANNEL_CODE, ROLE_SCRAMBLING_GROUP, ROLE_CODE_IN_GROUP, ROLE_SECONDARY_CODE,
    ROLE_SPREADING_FACTOR, ROLE_PSCH_LEVEL, ROLE_SSCH_LEVEL,
    // Set by the filter rule.
    ROLE_FILTER_FILE, ROLE_FILTER_BROWSE, ROLE_FILTER_FORMAT,
    // Set by the data-source rule.
    ROLE_DATA_FILE, ROLE_DATA_BROWSE, ROLE_DATA_OFFSET, ROLE_DATA_NEGATIVE,
    ROLE_COUNT,
};

// What a rule does to a control.
enum RuleAction : int8_t { RULE_LEAVE = 0, RULE_ENABLE = 1, RULE_DIM = 2 };

// The panel a rule is applied to: the assistant differs in two columns.
enum RulePanel : int { RULES_EDITOR = 0, RULES_ASSISTANT = 1 };

// A value the modulation rule also sets: FILE 1 fixes filter 1 with parameter
// 0, GMSK fixes filter 4.
struct RulePreset {
    int set_filter;       // filter code to show, -1: none
    int set_filter_param; // 1: set the filter parameter to 0
};

// Modulation column group of a code (0 NONE, AM/FM/PM, FILE 1, ... , others).
int ModulationGroup(int modulation);
// The modulation rule: the action for each role (roles outside the rule get
// RULE_LEAVE), and the preset it applies.
void ModulationRules(int modulation, int panel, RuleAction actions[ROLE_COUNT], RulePreset* preset);
// Filter rule: the filter-file controls follow the filter code.
void FilterRules(int filter, RuleAction actions[ROLE_COUNT]);
// Data-source rule: the data-file controls and the PRBS button follow the
// data source, or are dimmed when the data-source selector is.
void DataSourceRules(int selector_dimmed, int data_source, RuleAction actions[ROLE_COUNT]);

// ---------------------------------------------------------------------------
// The values of the editor's controls, in the units they show.
constexpr int FORM_TEXT_SIZE = 1024;   // more than a field holds, so that overlong text is seen
struct CarrierForm {
    double frequency_mhz, amplitude, phase_deg, symbol_rate_m, deviation_khz, filter_param;
    int modulation, filter, filter_length, window;
    int data_source, data_offset, data_negative;
    int iq_encoding, iq_layout, filter_format;
    int channel_code, scrambling_group, spreading_factor, code_in_group, secondary_code;
    double psch_db, ssch_db;
    char iq_file[FORM_TEXT_SIZE], map_file[FORM_TEXT_SIZE], filter_file[FORM_TEXT_SIZE],
        data_file[FORM_TEXT_SIZE];
};

// The form of a record (the data-offset magnitude and its sign; the I/Q file
// name only for FILE 1/2, the map file name only for FILE 3, else empty).
void FormOfCarrier(const Carrier& c, CarrierForm* form);
// Whether the form's text fields fit the record; otherwise the reason naming
// the field and its length ("The data file name has 240 characters; ...").
bool FormFits(const CarrierForm& form, std::string* problem);
// The filter a form stores: GMSK takes 4 whatever the selector shows; NONE,
// AM, FM and PM take 0.
int StoredFilter(int modulation, int filter);
// Writes the form into the record: the conversions to Hz, symbols/s and Hz,
// the filter overrides, an even length made odd, the signed data offset, the
// modulation's file name into mod_file (FILE 1/2: the I/Q file, FILE 3: the
// map; otherwise mod_file stays). The form must fit (FormFits).
void StoreForm(const CarrierForm& form, Carrier* c);

// ---------------------------------------------------------------------------
// Table operations. Each keeps every index inside `signals`.

// Prepares record `carrier_count` for an Add: current_carrier points at it and
// it gets the generator defaults. 0, or -1 with a message when the table is
// full (nothing written).
int BeginAdd();
// After the editor's OK into record current_carrier: an Add (current_carrier
// equals carrier_count) counts the carrier and writes the terminator behind it
// when there is room; the reference becomes 1 when there was none.
void FinishStore();
// Deletes record `index` (0-based) and closes the table up. Nothing when the
// index is not a carrier of the table.
void DeleteCarrier(int index);
// Makes record `index` the reference carrier. Nothing outside the table.
void ChooseReference(int index);
