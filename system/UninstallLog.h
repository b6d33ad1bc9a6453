// The uninstall log: the record of every change the installer makes, and the previous installation's
// records read back from its "Uninstall.ulog".
#pragma once

#include "LogRecords.h"

#include <windows.h>

#include <string>

class CUninstallLog {
public:
    CUninstallLog() = default;
    ~CUninstallLog();
    CUninstallLog(const CUninstallLog&) = delete;
    CUninstallLog& operator=(const CUninstallLog&) = delete;

    // Installation and Start-menu folders of the previous log; empty when none or no longer existing.
    std::string m_strInstallPath;
    std::string m_strShortcutPath;

private:
    LOG_RECORD* m_pOldFirst = nullptr;  // the old list: the previous log's records, in file order
    LOG_RECORD* m_pOldLast = nullptr;
    LOG_RECORD* m_pFirst = nullptr;  // the new list: this run's records, in the order added
    LOG_RECORD* m_pLast = nullptr;

public:
    std::string m_strPreviousProduct;  // product that wrote the previous log; empty when none
    std::string m_strProduct;          // product being installed, with its version

    // Sets the product and reads the previous log at path into the old list and the header fields.
    // A null path gives an empty log. A missing file or a line that breaks the format ends the reading
    // without an error; whatever was read before stays. Returns false when a path was given and the file
    // could not be opened or a read failed; a line that breaks the format is not a failure.
    bool Load(const char* path, const std::string& product);

    // Path of the previous installation's main program: the last done LR_FILE record of the old list
    // with code 1 (payload entry kind "main program"); empty when none.
    std::string FindMainProgram() const;

    // Creates each missing folder of path, from the root outwards, and records every folder it created.
    // Stops at the first folder that cannot be created. A path of MAX_PATH characters or more is refused.
    void CreateFolderPath(const char* path);

    // Moves (or with bCopy copies) the item at path to a new "qu" file in the backup folder, keeping its
    // attributes; returns that file's path, or empty when no backup was made (GetLastError tells why). A null
    // path only reserves a free name: no file of that name exists on return.
    static std::string BackupFile(const char* path, bool bCopy);
    // This run's folder of backups inside the temporary folder, made on first use (with a trailing
    // backslash); only the system and administrators may use it, so no other program of the user can change
    // a backup before it is put back. Empty when it cannot be made. RemoveBackupFolder removes it once it
    // is empty.
    static std::string GetBackupFolder();
    static void RemoveBackupFolder();

    // True when the previous log lists path (byte for byte) as a file that was written.
    bool IsKeptFile(const char* path) const;

    // Records a file about to be written at path, after creating (and recording) its parent folders. An
    // existing file is moved to a backup, or copied there with bCopyBackup (the user's file stays in place).
    // False when the file exists and no backup could be made (GetLastError tells why): it must not be
    // replaced then, since nothing could put it back.
    bool AddFile(const char* path, int nEntryKind, bool bCopyBackup);
    // Records a shortcut about to be created in folder: selector 0 Start-menu program link, 1 Start-menu
    // uninstall link, 2 (or any other) desktop link. The folder is created and recorded first; the previous
    // installation's link of the same kind, when it still exists, is moved to a backup.
    void AddShortcut(int nSelector, const char* folder);
    // Records the product's uninstall key. hKey: the key when it existed before this run (opened with
    // KEY_ALL_ACCESS), saved to a backup first; null when the run created it.
    void AddUninstallKey(HKEY hKey);
    // Records the installed program's own registration run.
    void AddSelfRegistration();
    // Marks the record added last done or failed; a non-null path replaces its path. No record: nothing.
    void SetStatus(bool bDone, const char* path);

    // Undoes this run's records, last first, putting backups back; every record is freed. Returns the folder
    // that still holds a backup that could not be put back (the item of this run stays in its place then),
    // empty when every backup went back.
    std::string Rollback();
    // Merges the previous log's records into this run's, writes the log file, and discards every backup.
    // True when the file was written completely.
    bool Save(const char* logPath, const std::string& installPath, const std::string& shortcutPath);

    const LOG_RECORD* GetOldFirst() const { return m_pOldFirst; }
    const LOG_RECORD* GetOldLast() const { return m_pOldLast; }
    const LOG_RECORD* GetFirst() const { return m_pFirst; }
    const LOG_RECORD* GetLast() const { return m_pLast; }
};

// UTF-16 text in the system's ANSI code page (characters it lacks become its default character).
std::string AnsiFromWide(const char16_t* text, size_t count);
