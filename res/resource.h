// Resource ids of setup.exe, one block per kind. Shared by setup.rc and the C++ code.
#pragma once

// Payload archive: a resource of its own numeric type.
#define IDR_PAYLOAD 134
#define RT_PAYLOAD 260

// Application icon.
#define IDI_APPLICATION_ICON 128

// Language flag icons (16 by 12 pixels), by language.
#define IDI_FLAG_GERMAN 141
#define IDI_FLAG_DANISH 142
#define IDI_FLAG_SPANISH 143
#define IDI_FLAG_FRENCH 144
#define IDI_FLAG_ENGLISH 145
#define IDI_FLAG_ITALIAN 146
#define IDI_FLAG_DUTCH 147
#define IDI_FLAG_PORTUGUESE 148
#define IDI_FLAG_TURKISH 149
#define IDI_FLAG_BULGARIAN 150
#define IDI_FLAG_ROMANIAN 151
#define IDI_FLAG_CHINESE 152
#define IDI_FLAG_CZECH 153
#define IDI_FLAG_NORWEGIAN 154
#define IDI_FLAG_GREEK 155
#define IDI_FLAG_POLISH 156

// Picture on the wizard's left panel.
#define IDB_WIZARD 137

// Folder tree dialog of the dialog library.
#define IDD_FOLDER_DIALOG 10001
#define IDC_FOLDER_PATH 50001
#define IDC_FOLDER_TREE 50002
