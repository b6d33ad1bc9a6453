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

// The dialog library's page containers: the tab control or the tree that a host template holds.
#define IDC_PAGE_TAB 98
#define IDC_PAGE_TREE 97

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The wizard: About box, frame and pages, each template with its controls. A control that several pages
// share keeps one id and is named once, with the first template that has it.
#define IDD_ABOUT 100
#define IDC_ABOUT_PRODUCT 1019
#define IDC_ABOUT_LEGAL 1020

#define IDD_INSTALL 102
#define IDC_BACK 3
#define IDC_SEPARATOR 1002
#define IDC_PANEL 1005

// Every page: the status line at the bottom.
#define IDC_STATUS 1003

#define IDD_LANGUAGE_PAGE 132
#define IDC_INFO 1016  // also on the information page
#define IDC_LANGUAGE_TITLE 1020
#define IDC_LANGUAGE_LABEL 1022
#define IDC_LANGUAGE_LIST 1023

#define IDD_METHOD_PAGE 136
#define IDC_QUICK 1018
#define IDC_ADVANCED 1019
#define IDC_METHOD_GROUP 1021

#define IDD_FOLDER_PAGE 133
#define IDC_BROWSE 1006  // also on the shortcut page
#define IDC_FOLDER 1007  // also on the shortcut page: the Start-menu folder
#define IDC_FOLDER_GROUP 1008
#define IDC_FOLDER_LABEL 1009

#define IDD_SHORTCUT_PAGE 134
#define IDC_DESKTOP_SHORTCUT 1010
#define IDC_MENU_SHORTCUT 1011
#define IDC_MENU_GROUP 1012

#define IDD_PROGRESS_PAGE 135
#define IDC_PROGRESS 1014
#define IDC_LOG 1015

#define IDD_INFO_PAGE 137
