// Text ids (French base ids) and control ids the wizard's classes share.
#pragma once

constexpr int IDS_INSTALLER = 1000;
constexpr int IDS_OK = 1001;
constexpr int IDS_CANCEL = 1002;
constexpr int IDS_ABOUT = 1003;
constexpr int IDS_EXIT = 1004;
constexpr int IDS_BACK = 1005;
constexpr int IDS_NEXT = 1006;
constexpr int IDS_INSTALL = 1007;
constexpr int IDS_BROWSE = 1008;
constexpr int IDS_START_MENU = 1009;
constexpr int IDS_FOLDER_SELECTION = 1010;
constexpr int IDS_SELECT_LANGUAGE = 1014;
constexpr int IDS_METHOD = 1015;
constexpr int IDS_QUICK = 1016;
constexpr int IDS_ADVANCED = 1017;
constexpr int IDS_PRODUCT_INSTALLATION = 1100;
constexpr int IDS_UPDATE_FROM_TO = 1101;
constexpr int IDS_ALREADY_INSTALLED = 1102;
constexpr int IDS_MORE_RECENT = 1103;
constexpr int IDS_CONFIRM_REINSTALL = 1104;
constexpr int IDS_CLICK_CONTINUE_OR_EXIT = 1105;
constexpr int IDS_CLICK_CONTINUE = 1106;
constexpr int IDS_CLICK_EXIT = 1107;
constexpr int IDS_CLICK_START = 1108;
constexpr int IDS_LANGUAGE_TITLE = 1109;
constexpr int IDS_CONFIRM_EXIT = 1110;
constexpr int IDS_SELECT_FOLDER = 1111;
constexpr int IDS_MENU_SHORTCUT = 1112;
constexpr int IDS_DESKTOP_SHORTCUT = 1113;
constexpr int IDS_INSTALL_COMPLETE = 1120;
constexpr int IDS_OPTIONS = 1122;
constexpr int IDS_FOLDER_LINE = 1123;
constexpr int IDS_MENU_LINE = 1124;
constexpr int IDS_DESKTOP_LINE = 1125;

