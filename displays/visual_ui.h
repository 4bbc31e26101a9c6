// The visual displays of a compiled record (I and Q against time, eye diagram,
// phase diagram, constellation, persistence canvas and zoom), the symbol-map
// preview and the quantisation calculator. Each display panel is loaded anew
// at every opening (a copy still open goes first) and discarded by its OK
// button or the window's close button.
#pragma once

// Panel resource numbers.
enum {
    PANEL_EYE = 14, PANEL_IQ_TIME = 15, PANEL_QUANT = 25, PANEL_GLIM_ZOOM = 29, PANEL_ZOOM = 30,
};

// Buttons of the analysis panel that open the displays.
enum {
    ANALYSIS_GLIM_ZOOM = 3, ANALYSIS_IQ_TIME = 4, ANALYSIS_EYE = 5, ANALYSIS_PHASE = 6,
    ANALYSIS_CONSTELLATION = 7, ANALYSIS_GLIM = 8,
};
// Main menu: Tools > Quantisation Calculator.
enum { MENU_QUANT = 29 };

// I and Q against time (handle16) and eye diagram (handle17).
enum { TRACE_Q_GRAPH = 2, TRACE_OK = 3, TRACE_I_GRAPH = 4 };
// Phase diagram and constellation (handle12).
enum { ZOOM_OK = 2, ZOOM_PRINT = 3, ZOOM_GRAPH = 4 };
// Persistence canvas (handle26).
enum { GLIM_OK = 2, GLIM_NOTE = 3, GLIM_CANVAS_CTRL = 4 };
// Persistence zoom (handle28).
enum {
    GLIM_Y_GRAPH = 4, GLIM_X_GRAPH = 5, GLIM_GRAPH = 6, GLIM_GAMMA = 7, GLIM_HEIGHT = 8,
    GLIM_WIDTH = 9, GLIM_SUM = 10, GLIM_COUNT = 11, GLIM_ZOOM_OK = 12, GLIM_ZOOM_PRINT = 13,
};
// Map preview (handle25).
enum { PREVIEW_OK = 2, PREVIEW_PRINT = 3, PREVIEW_GRAPH = 4 };
// Quantisation calculator (handle29).
enum {
    QUANT_OK = 2, QUANT_CURSOR_X = 3, QUANT_CREST = 4, QUANT_BITS = 5, QUANT_CURSOR_Y = 6,
    QUANT_GRAPH = 11,
};

int ShowIQ(int panel, int control, int event, void* callback_data, int data1, int data2);
int IQOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int Showeye(int panel, int control, int event, void* callback_data, int data1, int data2);
int EyeOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int OpenZoom(int panel, int control, int event, void* callback_data, int data1, int data2);
int OpenZoom2(int panel, int control, int event, void* callback_data, int data1, int data2);
int ZoomOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int ZoomPrint(int panel, int control, int event, void* callback_data, int data1, int data2);
int ShowGlim(int panel, int control, int event, void* callback_data, int data1, int data2);
int GlimOk(int panel, int control, int event, void* callback_data, int data1, int data2);
// Opens the zoom (from the analysis panel's button), and follows its gamma
// control and the cursors of its intensity graph.
int UpdateGamma(int panel, int control, int event, void* callback_data, int data1, int data2);
int ZoomGlimOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int ZoomGlimPrint(int panel, int control, int event, void* callback_data, int data1, int data2);
int MaPreview(int panel, int control, int event, void* callback_data, int data1, int data2);
int MaPreviewOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int MaPreviewPrint(int panel, int control, int event, void* callback_data, int data1, int data2);
void Quant_Calculator(int menu_bar, int menu_item, void* callback_data, int panel);
int UpdateQuantGraph(int panel, int control, int event, void* callback_data, int data1, int data2);
int UpdateQuantCursor(int panel, int control, int event, void* callback_data, int data1, int data2);
int Quant_Calculator_OK(int panel, int control, int event, void* callback_data, int data1, int data2);

// The drawing of each display into a loaded panel of its kind, from the globals
// of the last compile (the map preview from `map`); the callbacks above and
// uldoc --png use them.
void DrawIQ(int panel);
void DrawEye(int panel);
void DrawZoom(int panel, bool constellation);
void DrawGlim(int panel);
// The whole zoom: bins the record, then the marginals of the cursor window and
// the image at the gamma control's value.
void DrawGlimZoom(int panel);
void DrawMapPreview(int panel);
void DrawQuant(int panel);

// For the command-line compiler: eye.png, constellation.png, phase.png,
// persistence.png and quant.png of the last compile in dir, drawn offscreen on
// the panels above. 0, or -1 after a message.
int SaveVisualImages(const char* dir);
