// The product's identity and the names it leaves on a machine (registration key, mutex, semaphore, log
// file), and the states of an existing installation: shared by the start-up, the install sequence and the
// wizard. Pure: no <windows.h>.
#pragma once

// Product identity.
constexpr const char* PRODUCT_NAME_FRENCH = "Plankora";
constexpr const char* PRODUCT_NAME_OTHER = "Sarventa";
constexpr const char* PRODUCT_DISPLAY_VERSION = "5.23i";
constexpr const char* REGISTRATION_KEY_NAME = "Plankora 5";
constexpr const char* UNINSTALL_ROOT = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* REGISTRATION_KEY_PATH = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5";
constexpr const char* PUBLISHER_FOLDER_NAME = "Quillon & Partners";
constexpr const char* INSTALLER_MUTEX_NAME = "Plankora5.{5ead623c-dfcd-474d-8e3c-e6978cac039e}";
constexpr const char* PRODUCT_SEMAPHORE_NAME = "Plankora5.{a3526b56-ca7c-4e16-8a26-da7758a378fd}";
constexpr const char* UNINSTALL_LOG_NAME = "Uninstall.ulog";

// State of an existing installation (m_nInstallStatus).
constexpr int INSTALL_STATUS_NONE = 0;
constexpr int INSTALL_STATUS_SAME = 1;
constexpr int INSTALL_STATUS_OLDER = 2;
constexpr int INSTALL_STATUS_NEWER = -1;
