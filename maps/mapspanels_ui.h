// Callbacks of the PRBS assistant and the symbol-map editor panels.
#pragma once

int LoadPrbsAsist(int panel, int control, int event, void* data, int event_data1, int event_data2);
int LoadPrbsAsist2(int panel, int control, int event, void* data, int event_data1, int event_data2);
int PrbsAsistOk(int panel, int control, int event, void* data, int event_data1, int event_data2);
int PrbsApply(int panel, int control, int event, void* data, int event_data1, int event_data2);
int PrbsDefault(int panel, int control, int event, void* data, int event_data1, int event_data2);
int PrbsAsistCancel(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessEqual(int panel, int control, int event, void* data, int event_data1, int event_data2);

int EditMap(int panel, int control, int event, void* data, int event_data1, int event_data2);
void EditMap1(int menu_bar, int menu_item, void* data, int panel);
int EditMap2(int panel, int control, int event, void* data, int event_data1, int event_data2);
int EditMapCancel(int panel, int control, int event, void* data, int event_data1, int event_data2);
int AddLineMap(int panel, int control, int event, void* data, int event_data1, int event_data2);
int MapEditLine(int panel, int control, int event, void* data, int event_data1, int event_data2);
int MapDeleteLine(int panel, int control, int event, void* data, int event_data1, int event_data2);
int SymbolEditOk(int panel, int control, int event, void* data, int event_data1, int event_data2);
int SymbolEditCancel(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessIQ(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMP(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapQam(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapOffset(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapRotate(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapScale(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapQamOk(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapOffsetOk(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapRotateOk(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapScaleOk(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapQamCancel(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapOffsetCancel(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapRotateCancel(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessMapScaleCancel(int panel, int control, int event, void* data, int event_data1, int event_data2);
int LoadMapFile(int panel, int control, int event, void* data, int event_data1, int event_data2);
int SaveMapAs(int panel, int control, int event, void* data, int event_data1, int event_data2);
// Shows `map` in the editor; returns num_points.
int UpdateSymbolMapTable();
