// The analysis displays of the GUI: the analysis panel's power readout,
// spectrum preview and I/Q plot, the power table and the CCDF panel.
#pragma once

// Analysis panel (handle5) moments of a compile run: the reference carrier's
// power at the start of the RF pass; the spectrum preview, the I/Q plot and
// the peaks at the end of the compile pass.
void ShowAnalysisPower();
void ShowAnalysisPreview();
// The analysis panel's Close button (left click or commit): hides the panel;
// it stays loaded for the power table and CCDF until the next run.
int CloseAnalysis(int panel, int control, int event, void* callback_data, int data1, int data2);

// Plots of the analysis and CCDF panels (panel: a loaded analysis or CCDF
// panel). The spectrum plot reads FFT_Array after SpectrumPreview and puts
// cursor 1 on the bin of reference_hz; the CCDF plot reads BuildCCDF's curve.
void PlotSpectrumPreview(int panel, double reference_hz);
void PlotIQ(int panel);
void PlotCCDF(int panel);
// Lowest share of samples the CCDF's logarithmic axis shows, percent.
constexpr double CCDF_LOWEST_PERCENT = 0.001;
// The pulse plot of carrier `carrier` (its pulse table, the held symbol of an
// unfiltered carrier, or a note where there is no pulse), x in symbols.
void PlotAnalysisPulse(int panel, int carrier);
// Spectrum cursor (graph cursor moved or released): onto the nearest bin, its
// frequency and level below the top bin into the read-outs beside the plot.
int UpdateSpectrumCursor(int panel, int control, int event, void* callback_data, int data1, int data2);
// The analysis panel's Print button: the panel under a heading, without its buttons.
int PrintVisual(int panel, int control, int event, void* callback_data, int data1, int data2);

// Power table panel (handle14).
int OpenPower(int panel, int control, int event, void* callback_data, int data1, int data2);
int PowerOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int PrintPower(int panel, int control, int event, void* callback_data, int data1, int data2);

// CCDF panel (handle27).
int ShowCCDF(int panel, int control, int event, void* callback_data, int data1, int data2);
int UpdateCCDFCursor(int panel, int control, int event, void* callback_data, int data1, int data2);
int CCDFOk(int panel, int control, int event, void* callback_data, int data1, int data2);
int CCDFPrint(int panel, int control, int event, void* callback_data, int data1, int data2);

// For the command-line compiler: renders the spectrum preview, the CCDF and
// the I/Q plot of the last compile into dir/spectrum.png, dir/ccdf.png and
// dir/iq.png with the panels' own plots, offscreen (it starts the user
// interface on the offscreen platform when none is running). Computes the
// spectrum preview, so it runs once per compile. 0, or -1 after a message.
int SaveAnalysisImages(const char* dir);
