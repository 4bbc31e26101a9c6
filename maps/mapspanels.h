// Callbacks of the PRBS assistant and the symbol-map editor panels.
#pragma once

int LoadPrbsAsist(int panel, int control, int event, void* data, int event_data1, int event_data2);
int LoadPrbsAsist2(int panel, int control, int event, void* data, int event_data1, int event_data2);
int PrbsAsistOk(int panel, int control, int event, void* data, int event_data1, int event_data2);
int PrbsApply(int panel, int control, int event, void* data, int event_data1, int event_data2);
int PrbsDefault(int panel, int control, int event, void* data, int event_data1, int event_data2);
int PrbsAsistCancel(int panel, int control, int event, void* data, int event_data1, int event_data2);
int ProcessEqual(int panel, int control, int event, void* data, int event_data1, int event_data2);
