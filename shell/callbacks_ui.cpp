// The one table that binds the callback names of "uldo.uir" to the program's functions.
#include "compile/calculate_ui.h"
#include "displays/displays_ui.h"
#include "displays/visual_ui.h"
#include "editors/editors_ui.h"
#include "maps/mapspanels_ui.h"
#include "shell/filemenu_ui.h"
#include "shell/startup_ui.h"
#include "shell/userint_ui.h"

namespace {

struct MenuEntry {
    const char* name;
    MenuCallbackPtr fn;
};
struct CtrlEntry {
    const char* name;
    CtrlCallbackPtr fn;
};

const MenuEntry menu_callbacks[] = {
    {"LoadFile", LoadFile},       {"LoadLastFile", LoadLastFile}, {"AppendFile", AppendFile},
    {"save", save},               {"saveas", saveas},             {"NewTable", NewTable},
    {"LoadSetup", LoadSetup},     {"SaveSetupAs", SaveSetupAs},   {"Shutdown", Shutdown},
    {"HelpTop", HelpTop},         {"CallExtApp", CallExtApp},     {"OpenAbout", OpenAbout},
    {"AcquireData", AcquireData},
    {"GeneralOptions", GeneralOptions}, {"InstrumentOptions", InstrumentOptions},
    {"CompileOptions", CompileOptions},
    {"EditMap1", EditMap1},
    {"Quant_Calculator", Quant_Calculator},
    };
const CtrlEntry ctrl_callbacks[] = {
    {"ShutDown1", ShutDown1},
    {"CloseAbout", CloseAbout},
    {"MainPanel", MainPanel},
    {"Compile2", Compile2},
    {"Compile3", Compile3},
    {"OpenPower", OpenPower},
    {"PowerOk", PowerOk},
    {"PrintPower", PrintPower},
    {"ShowCCDF", ShowCCDF},
    {"UpdateCCDFCursor", UpdateCCDFCursor},
    {"CCDFOk", CCDFOk},
    {"CCDFPrint", CCDFPrint},
    {"CloseAnalysis", CloseAnalysis},
    {"UpdateSpectrumCursor", UpdateSpectrumCursor},
    {"PrintVisual", PrintVisual},
    {"ShowIQ", ShowIQ},
    {"IQOk", IQOk},
    {"Showeye", Showeye},
    {"EyeOk", EyeOk},
    {"OpenZoom", OpenZoom},
    {"OpenZoom2", OpenZoom2},
    {"ZoomOk", ZoomOk},
    {"ZoomPrint", ZoomPrint},
    {"ShowGlim", ShowGlim},
    {"GlimOk", GlimOk},
    {"UpdateGamma", UpdateGamma},
    {"ZoomGlimOk", ZoomGlimOk},
    {"ZoomGlimPrint", ZoomGlimPrint},
    {"MaPreview", MaPreview},
    {"MaPreviewOk", MaPreviewOk},
    {"MaPreviewPrint", MaPreviewPrint},
    {"UpdateQuantGraph", UpdateQuantGraph},
    {"UpdateQuantCursor", UpdateQuantCursor},
    {"Quant_Calculator_OK", Quant_Calculator_OK},
    {"AddLine", AddLine},
    {"EditLine", EditLine},
    {"DeleteLine", DeleteLine},
    {"EditOk", EditOk},
    {"EditCancel", EditCancel},
    {"ProcessMod", ProcessMod},
    {"ProcessFilt", ProcessFilt},
    {"ProcessDSource", ProcessDSource},
    {"IQBrowse", IQBrowse},
    {"FilterBrowse", FilterBrowse},
    {"DataBrowse", DataBrowse},
    {"EditInpair", EditInpair},
    {"EditInpairOk", EditInpairOk},
    {"EditInpairCancel", EditInpairCancel},
    {"ProcessInpairType", ProcessInpairType},
    {"LAsist", LAsist},
    {"AsistantOk", AsistantOk},
    {"AsistantCancel", AsistantCancel},
    {"LoadPrbsAsist", LoadPrbsAsist},
    {"LoadPrbsAsist2", LoadPrbsAsist2},
    {"PrbsAsistOk", PrbsAsistOk},
    {"PrbsApply", PrbsApply},
    {"PrbsDefault", PrbsDefault},
    {"PrbsAsistCancel", PrbsAsistCancel},
    {"ProcessEqual", ProcessEqual},
    {"EditMap", EditMap},
    {"EditMap2", EditMap2},
    {"EditMapCancel", EditMapCancel},
    {"AddLineMap", AddLineMap},
    {"MapEditLine", MapEditLine},
    {"MapDeleteLine", MapDeleteLine},
    {"SymbolEditOk", SymbolEditOk},
    {"SymbolEditCancel", SymbolEditCancel},
    {"ProcessIQ", ProcessIQ},
    {"ProcessMP", ProcessMP},
    {"ProcessMapQam", ProcessMapQam},
    {"ProcessMapOffset", ProcessMapOffset},
    {"ProcessMapRotate", ProcessMapRotate},
    {"ProcessMapScale", ProcessMapScale},
    {"ProcessMapQamOk", ProcessMapQamOk},
    {"ProcessMapOffsetOk", ProcessMapOffsetOk},
    {"ProcessMapRotateOk", ProcessMapRotateOk},
    {"ProcessMapScaleOk", ProcessMapScaleOk},
    {"ProcessMapQamCancel", ProcessMapQamCancel},
    {"ProcessMapOffsetCancel", ProcessMapOffsetCancel},
    {"ProcessMapRotateCancel", ProcessMapRotateCancel},
    {"ProcessMapScaleCancel", ProcessMapScaleCancel},
    {"LoadMapFile", LoadMapFile},
    {"SaveMapAs", SaveMapAs},
    {"GeneralOptOk", GeneralOptOk},
    {"GeneralCancel", GeneralCancel},
    {"InstrumentOk", InstrumentOk},
    {"InstrumentCancel", InstrumentCancel},
    {"ProcessNorm", ProcessNorm},
    {"CompileOk", CompileOk},
    {"CompileCancel", CompileCancel},
};

}  // namespace

void RegisterUldoCallbacks() {
    for (const auto& e : menu_callbacks) RegisterMenuCallback(e.name, e.fn);
    for (const auto& e : ctrl_callbacks) RegisterCtrlCallback(e.name, e.fn);
}
