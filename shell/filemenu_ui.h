// Menu operations on carrier-table and setup files.
#pragma once

void LoadFile(int menu_bar, int menu_item, void* callback_data, int panel);
void LoadLastFile(int menu_bar, int menu_item, void* callback_data, int panel);
void AppendFile(int menu_bar, int menu_item, void* callback_data, int panel);
void save(int menu_bar, int menu_item, void* callback_data, int panel);
void saveas(int menu_bar, int menu_item, void* callback_data, int panel);
void NewTable(int menu_bar, int menu_item, void* callback_data, int panel);
void LoadSetup(int menu_bar, int menu_item, void* callback_data, int panel);
void SaveSetupAs(int menu_bar, int menu_item, void* callback_data, int panel);
