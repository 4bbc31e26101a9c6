// ULDO's shared records: the carrier record, the carrier table, the settings
// record, the symbol map, the enumerations and the panel handles.
//
// The structs are the on-disk layout of the table, setup and map files, so the
// field order and widths below are fixed; every offset is asserted at the end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

static_assert(std::endian::native == std::endian::little,
              "record images are little-endian; this host is not");
static_assert(sizeof(float) == 4 && sizeof(int) == 4, "float32 and int32 expected");

constexpr int MAX_CARRIERS = 100;
constexpr int MAX_MAP_POINTS = 1024;
constexpr int COMMENT_SIZE = 200;

// ---------------------------------------------------------------------------
// Carrier record: one entry of `signals`, 940 bytes.
struct Carrier {
    float frequency_hz;           // Hz; -1.0 in the terminator record
    float amplitude;              // linear factor on the carrier's I/Q
    float phase_deg;              // initial carrier phase, degrees
    float symbol_rate;            // symbols/s; for AM/FM/PM the tone frequency in Hz
    int32_t modulation;           // modulation code (MOD_*)
    int32_t filter_type;          // filter code (FILTER_*)
    int32_t filter_length;        // span in symbols, always odd
    int32_t window_type;          // window code (WINDOW_*)
    float filter_param;           // roll-off, BT, cut-off; AM depth %, FM kHz, PM degrees
    float deviation_hz;           // FSK deviation, Hz
    uint32_t prbs_poly_i;         // feedback mask, bit b = term X^(31-b)
    uint32_t prbs_seed_i;
    uint32_t prbs_poly_q;
    uint32_t prbs_seed_q;
    int32_t channel_code;         // Walsh (IS95DL) or OVSF (3GPPDL) code
    int32_t scrambling_code_group;
    int32_t spreading_factor;
    int32_t scrambling_code_in_group;
    int32_t secondary_scrambling_code;
    int32_t reserved_76;
    char mod_file[200];           // I/Q sample file (FILE 1/2) or symbol map (FILE 3)
    char filter_file[200];        // coefficient file for FILTER_FILE
    char data_file[200];          // bit file for DATA_FILE
    int32_t iq_file_encoding;     // 0 text, 1 float32, 2 float64
    int32_t iq_file_layout;       // 0 I,Q  1 Q,I  2 I only  3 Q only
    int32_t filter_file_format;   // 0 text, 1 float32, 2 float64
    int32_t data_source;          // DATA_*
    int32_t data_offset;          // stored and shown only
    int32_t prbs_iq_equal;
    int32_t impairment1_type;
    int32_t impairment2_type;
    int32_t impairment3_type;
    float impairment1_value;
    float impairment1_value2;
    float impairment2_value;
    float impairment2_value2;
    float impairment3_value;
    float impairment3_value2;
    float psch_level_db;
    float ssch_level_db;
    uint8_t reserved_748[192];
};

// ---------------------------------------------------------------------------
// Settings record `globals`, 1408 bytes: "globals.set" and every "*.set" file.
struct GlobalSettings {
    char waveform_dir[256];
    char data_dir[256];
    char table_file[256];
    int32_t compile_length;
    float sample_clock;
    int32_t instrument_type;
    int32_t max_record_length;
    int32_t record_granularity;
    int32_t compile_mode;
    int32_t gpib_address;
    int32_t output_destination;   // 0 GPIB, 1 native file, 2 GPIB-format file, 3 FTP
    int32_t current_carrier;
    int32_t carrier_count;
    int32_t reference_carrier;    // 1-based, 0 = none
    char instrument_ip[16];
    int32_t ftp_port;
    int32_t output_rf;
    int32_t output_baseband_i;
    int32_t output_baseband_q;
    int32_t normalization_mode;
    float normalization_level;
    char ext_app1_name[20];
    char ext_app1_command[256];
    char ext_app2_name[20];
    char ext_app2_command[256];
    int32_t baseband_all_carriers;
};

// ---------------------------------------------------------------------------
// Symbol-map record `map`, 8568 bytes: the image of a "*.smp" file.
struct SymbolMap {
    char map_name[256];
    int32_t num_points;           // 0 .. 1024
    int32_t rotation_mode;        // 0 none, 1 progressive, 2 alternate
    float rotation_step;          // radians
    int32_t offset_q;             // 1: Q staggered by half a symbol
    int32_t spare_setting;
    char reserved_text[100];
    float point_i[MAX_MAP_POINTS];
    float point_q[MAX_MAP_POINTS];
};

// ---------------------------------------------------------------------------
// Enumerations.
enum ModulationCode : int32_t {
    MOD_NONE = 0, MOD_QPSK = 1, MOD_QAM16 = 2, MOD_QAM32 = 3, MOD_QAM64 = 4,
    MOD_QAM256 = 5, MOD_DQPSK = 6, MOD_OQPSK = 7, MOD_CQPSK = 8, MOD_QAM128 = 9,
    MOD_8PSK = 10, MOD_BPSK = 11, MOD_DVBC16 = 12, MOD_DVBC32 = 13, MOD_DVBC64 = 14,
    MOD_AM = 17, MOD_FM = 18, MOD_PM = 19, MOD_GMSK = 20, MOD_8VSB = 21,
    MOD_16VSB = 22, MOD_CAP16 = 23, MOD_FILE1 = 24, MOD_FILE2 = 25, MOD_O8PSK = 26,
    MOD_DVBC256 = 27, MOD_SSB = 28, MOD_2FSK = 29, MOD_4FSK = 30, MOD_8FSK = 31,
    MOD_16FSK = 32, MOD_32FSK = 33, MOD_FILE3 = 35, MOD_IS95DL = 36,
    MOD_3GPPDL = 37, MOD_3GPPSC = 38, MOD_QAM1024 = 39,
};
constexpr int MODULATION_CODES = 40;  // codes 0..39; 15, 16 and 34 unassigned

enum FilterCode : int32_t {
    FILTER_NONE = 0, FILTER_RCOS = 1, FILTER_GAUSS = 2, FILTER_SQRT_RCOS = 3,
    FILTER_GAUSS2 = 4,
    FILTER_BUTTER1 = 5, FILTER_BUTTER10 = 14,   // Butterworth of order code - 4
    FILTER_TRIANGLE = 15, FILTER_FILE = 16, FILTER_EDGE = 17,
};
constexpr int FILTER_CODES = 18;

enum WindowCode : int32_t {
    WINDOW_NONE = 0, WINDOW_TRIANGLE = 1, WINDOW_HANNING = 3, WINDOW_HAMMING = 4,
    WINDOW_BLACKMAN = 5, WINDOW_KAISER = 6, WINDOW_BLACKMAN_HARRIS = 7,
    WINDOW_COSINE_TAPER = 8, WINDOW_EXACT_BLACKMAN = 9, WINDOW_FLAT_TOP = 11,
    WINDOW_OWN = 14,   // 0, 2, 10, 12 and 13 apply no window
};

enum DataSource : int32_t { DATA_PRBS = 0, DATA_FILE = 1, DATA_ZEROS = 2, DATA_ONES = 3 };

enum ImpairmentType : int32_t {
    IMPAIRMENT_NONE = 0, IMPAIRMENT_PHASE = 1, IMPAIRMENT_IMBALANCE = 2,
    IMPAIRMENT_FEEDTHROUGH = 3,
};

// Six-character table name and display name of a modulation code; nullptr for
// codes without a name (15, 16, 34 and anything outside 0..39).
const char* ModulationTableName(int code);
const char* ModulationDisplayName(int code);
// Ten-character table name and display name of a filter code; nullptr outside 0..17.
const char* FilterTableName(int code);
const char* FilterDisplayName(int code);

// ---------------------------------------------------------------------------
// The shared state, all in static storage. Each line says who writes it, who
// reads it and when it holds a value.

// Written by the record files, the editors, the assistants and uldoc's table
// commands; read by the compile, the displays and the table view. Ends at the
// first record whose frequency_hz is not above 0 (UpdateCarrierTable).
extern Carrier signals[MAX_CARRIERS];
// Written with the table (files, the table view); read when a table is saved.
extern char comment[COMMENT_SIZE];
// Written by start-up ("globals.set"), the option dialogs, setup files and
// uldoc's options; read by everything. Valid from start-up on.
extern GlobalSettings globals;
// Written by the map editor, map files, uldoc map and the mapper (which reads
// a FILE 3 carrier's map file into it); read by the map editor, its preview
// and the mapper. Holds the last map loaded or edited.
extern SymbolMap map;

// The map editor's place in `map` and the assistants' working PRBS register:
// what the editor and the PRBS assistant keep between two of their panels.
struct MapEditorState {
    int32_t next_point;    // index a new point is appended at (= defined points)
    int32_t edit_point;    // point the point editor changes
    uint32_t seed;         // working seed of the assistants
    uint32_t polynomial;   // working polynomial of the assistants
    int32_t prbs_caller;   // panel the PRBS assistant serves (0: closed)
};
// Written by the map operations (maps/maps.h), the map editor, the PRBS
// assistant and the carrier assistant (GUI and uldoc assist); read by the same.
// Valid while the map editor or an assistant is open; reset by ResetMapEditor.
extern MapEditorState map_editor;

// Written once by InitPI at start-up (and ResetRecords); read by the pulse
// designs and the synthesis arithmetic. acos(-1) rounded to float32.
extern float PI;
// pi in double precision, for every computation that is not one of the
// float32 designs that must round through `PI`.
constexpr double PI_DOUBLE = 3.14159265358979323846;

// Panel handles (0 = not loaded). Written by start-up when it loads the panels
// (the display panels by their openers when shown, back to 0 when closed);
// read by the callbacks that show, fill or dim them. Roles: handle main panel,
// handle0 its menu bar, handle2 progress, handle3 carrier editor, handle5
// analysis, handle6/7/8 general/instrument/compile options, handle9 about,
// handle10 second splash, handle11 carrier assistant, handle12 zoom, handle13
// and handle19 PRBS assistants, handle14 power table, handle16 I/Q time,
// handle17 eye, handle18 map editor, handle20 point editor, handle21..24 map
// QAM/offset/rotation/scale, handle25 map preview, handle26 persistence,
// handle27 CCDF, handle28 persistence zoom, handle29 quantisation, handle30
// impairments.
extern int handle, handle0, handle2, handle3, handle5, handle6, handle7, handle8,
    handle9, handle10, handle11, handle12, handle13, handle14, handle16,
    handle17, handle18, handle19, handle20, handle21, handle22, handle23, handle24,
    handle25, handle26, handle27, handle28, handle29, handle30;
// The panel that opened the map editor (handle3 or handle11, 0 when none):
// written by the map editor's opener and closer, read when a map is stored.
extern int brhandle;

// Sets `PI` from acos(-1) as float32.
void InitPI();
// Zeroes the records, the table, the map and the map editor's state, and
// writes the terminator into signals[0]: the state of a fresh start.
void ResetRecords();
// The map editor's state back to zero (part of ResetRecords).
void ResetMapEditor();

// ---------------------------------------------------------------------------
// Text fields. A field read from a file may lack its NUL; these never read past
// the field, and writes always leave a NUL within the field.
template <std::size_t N>
inline std::string_view FieldView(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}
template <std::size_t N>
inline std::string FieldText(const char (&field)[N]) {
    return std::string(FieldView(field));
}
// Copies text into the field, cut to N - 1 characters; returns false when cut.
template <std::size_t N>
inline bool SetField(char (&field)[N], std::string_view text) {
    std::size_t n = text.size() < N ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
    return n == text.size();
}

// ---------------------------------------------------------------------------
// Layout checks: these offsets are the file formats.
static_assert(sizeof(Carrier) == 940);
static_assert(offsetof(Carrier, frequency_hz) == 0);
static_assert(offsetof(Carrier, amplitude) == 4);
static_assert(offsetof(Carrier, phase_deg) == 8);
static_assert(offsetof(Carrier, symbol_rate) == 12);
static_assert(offsetof(Carrier, modulation) == 16);
static_assert(offsetof(Carrier, filter_type) == 20);
static_assert(offsetof(Carrier, filter_length) == 24);
static_assert(offsetof(Carrier, window_type) == 28);
static_assert(offsetof(Carrier, filter_param) == 32);
static_assert(offsetof(Carrier, deviation_hz) == 36);
static_assert(offsetof(Carrier, prbs_poly_i) == 40);
static_assert(offsetof(Carrier, prbs_seed_i) == 44);
static_assert(offsetof(Carrier, prbs_poly_q) == 48);
static_assert(offsetof(Carrier, prbs_seed_q) == 52);
static_assert(offsetof(Carrier, channel_code) == 56);
static_assert(offsetof(Carrier, scrambling_code_group) == 60);
static_assert(offsetof(Carrier, spreading_factor) == 64);
static_assert(offsetof(Carrier, scrambling_code_in_group) == 68);
static_assert(offsetof(Carrier, secondary_scrambling_code) == 72);
static_assert(offsetof(Carrier, reserved_76) == 76);
static_assert(offsetof(Carrier, mod_file) == 80);
static_assert(offsetof(Carrier, filter_file) == 280);
static_assert(offsetof(Carrier, data_file) == 480);
static_assert(offsetof(Carrier, iq_file_encoding) == 680);
static_assert(offsetof(Carrier, iq_file_layout) == 684);
static_assert(offsetof(Carrier, filter_file_format) == 688);
static_assert(offsetof(Carrier, data_source) == 692);
static_assert(offsetof(Carrier, data_offset) == 696);
static_assert(offsetof(Carrier, prbs_iq_equal) == 700);
static_assert(offsetof(Carrier, impairment1_type) == 704);
static_assert(offsetof(Carrier, impairment2_type) == 708);
static_assert(offsetof(Carrier, impairment3_type) == 712);
static_assert(offsetof(Carrier, impairment1_value) == 716);
static_assert(offsetof(Carrier, impairment1_value2) == 720);
static_assert(offsetof(Carrier, impairment2_value) == 724);
static_assert(offsetof(Carrier, impairment2_value2) == 728);
static_assert(offsetof(Carrier, impairment3_value) == 732);
static_assert(offsetof(Carrier, impairment3_value2) == 736);
static_assert(offsetof(Carrier, psch_level_db) == 740);
static_assert(offsetof(Carrier, ssch_level_db) == 744);
static_assert(offsetof(Carrier, reserved_748) == 748);

static_assert(sizeof(GlobalSettings) == 1408);
static_assert(offsetof(GlobalSettings, waveform_dir) == 0);
static_assert(offsetof(GlobalSettings, data_dir) == 256);
static_assert(offsetof(GlobalSettings, table_file) == 512);
static_assert(offsetof(GlobalSettings, compile_length) == 768);
static_assert(offsetof(GlobalSettings, sample_clock) == 772);
static_assert(offsetof(GlobalSettings, instrument_type) == 776);
static_assert(offsetof(GlobalSettings, max_record_length) == 780);
static_assert(offsetof(GlobalSettings, record_granularity) == 784);
static_assert(offsetof(GlobalSettings, compile_mode) == 788);
static_assert(offsetof(GlobalSettings, gpib_address) == 792);
static_assert(offsetof(GlobalSettings, output_destination) == 796);
static_assert(offsetof(GlobalSettings, current_carrier) == 800);
static_assert(offsetof(GlobalSettings, carrier_count) == 804);
static_assert(offsetof(GlobalSettings, reference_carrier) == 808);
static_assert(offsetof(GlobalSettings, instrument_ip) == 812);
static_assert(offsetof(GlobalSettings, ftp_port) == 828);
static_assert(offsetof(GlobalSettings, output_rf) == 832);
static_assert(offsetof(GlobalSettings, output_baseband_i) == 836);
static_assert(offsetof(GlobalSettings, output_baseband_q) == 840);
static_assert(offsetof(GlobalSettings, normalization_mode) == 844);
static_assert(offsetof(GlobalSettings, normalization_level) == 848);
static_assert(offsetof(GlobalSettings, ext_app1_name) == 852);
static_assert(offsetof(GlobalSettings, ext_app1_command) == 872);
static_assert(offsetof(GlobalSettings, ext_app2_name) == 1128);
static_assert(offsetof(GlobalSettings, ext_app2_command) == 1148);
static_assert(offsetof(GlobalSettings, baseband_all_carriers) == 1404);

static_assert(sizeof(SymbolMap) == 8568);
static_assert(offsetof(SymbolMap, map_name) == 0);
static_assert(offsetof(SymbolMap, num_points) == 256);
static_assert(offsetof(SymbolMap, rotation_mode) == 260);
static_assert(offsetof(SymbolMap, rotation_step) == 264);
static_assert(offsetof(SymbolMap, offset_q) == 268);
static_assert(offsetof(SymbolMap, spare_setting) == 272);
static_assert(offsetof(SymbolMap, reserved_text) == 276);
static_assert(offsetof(SymbolMap, point_i) == 376);
static_assert(offsetof(SymbolMap, point_q) == 4472);
