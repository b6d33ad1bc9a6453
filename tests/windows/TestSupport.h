// Helpers of the Windows tests: scratch folders in the build tree, files, registry keys, privileges, and an
// independent archive writer.
#pragma once

#include "Handles.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A Linux path of the build tree as Wine sees it (drive Z:).
std::string WinPath(const std::string& unixPath);

// The Unix form of a path on drive Z: (others are only turned to forward slashes).
std::string UnixPath(std::string path);
// Starts a Unix program from Wine ("Z:\\bin\\ln -s ...") and waits for it up to 10 s; false when it did not start.
bool RunUnix(std::string command);

// A file held open by hold-file.exe (holdFileProgram, a Linux path of the build tree) without delete sharing,
// until Release or the end of this object.
class HeldFile {
public:
    HeldFile(const std::string& holdFileProgram, const std::string& path);
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool IsHeld() const { return m_held; }
    void Release();

private:
    KernelHandle m_job;
    KernelHandle m_process;
    KernelHandle m_release;
    bool m_held = false;
};

// TMP and TEMP of this process (and the programs it starts) point to folder for as long as it lives.
class ScopedTemporaryFolder {
public:
    explicit ScopedTemporaryFolder(const std::string& folder);
    ~ScopedTemporaryFolder();
    ScopedTemporaryFolder(const ScopedTemporaryFolder&) = delete;
    ScopedTemporaryFolder& operator=(const ScopedTemporaryFolder&) = delete;

private:
    std::string m_saved[2];
};

// PendingFileRenameOperations as its strings: pairs of source and target (an empty target deletes the source
// at restart).
std::vector<std::string> PendingRenameOperations();
// Takes the pairs whose source matches out of PendingFileRenameOperations; true when there was one.
bool TakePendingRenames(const std::function<bool(const std::string& source)>& matches);
// text ends in tail, compared without case.
bool EndsWithNoCase(const std::string& text, const std::string& tail);

// The tests' scratch root in the build tree.
std::string TestRoot();

// An empty scratch folder for one test, inside the build tree.
std::string FreshFolder(const std::string& name);
// Every file and folder below folder (a folder before what it holds), with its full path.
void ForEachInTree(const std::string& folder,
                   const std::function<void(const std::string& path, const WIN32_FIND_DATAA& entry)>& visit);
void RemoveTree(const std::string& path);

bool FileExists(const std::string& path);
bool IsFolder(const std::string& path);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Names of the files directly inside folder, sorted.
std::vector<std::string> ListFiles(const std::string& folder);
// Everything below folder: relative path -> content, "<folder>" for a folder; names in skip are left out at
// the top level. To compare a tree before and after a run.
std::map<std::string, std::string> ListTree(const std::string& folder, const std::vector<std::string>& skip = {});
// Names that look like the extractor's temporary files ("qu*.tmp").
std::vector<std::string> TempFilesIn(const std::string& folder);

// Whether the privilege is enabled in this process's token.
bool IsPrivilegeEnabled(const char* name);

bool KeyExists(HKEY root, const std::string& path);
// A string value, or "<no key>" / "<no value>".
std::string GetString(HKEY root, const std::string& path, const char* name);
// Creates the key as needed; a key that can not be created fails the test.
void SetString(HKEY root, const std::string& path, const char* name, const std::string& value);

// A key's values and subkeys, to put a key back exactly as a test found it.
struct KeySnapshot {
    struct Value {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::vector<Value> values;
    std::vector<std::pair<std::string, KeySnapshot>> subkeys;

    // False when the key does not exist.
    static bool Take(HKEY root, const std::string& path, KeySnapshot& out);
    void Put(HKEY root, const std::string& path) const;
};

// A visible message box (#32770) of the process other than other, or null after timeout ms.
HWND FindMessageBox(DWORD processId, HWND other = nullptr, DWORD timeout = 20000);

struct TestFile {
    std::string path;  // destination, may hold placeholders
    std::string content;
    bool compressed = true;
    int32_t kind = 0;
    bool verified = true;        // carry the file's checksum (else 0)
    uint32_t checksumDelta = 0;  // added to the checksum, to make it wrong
};

// An archive written with literal tokens only (every token: flag 0, then the byte), independent of the
// project's encoder. Compressed files must come before stored ones.
std::string BuildArchive(const std::vector<TestFile>& files);
// The same with the checksum field recomputed for the given (for example cut) body.
std::string WithChecksum(const std::string& archive);
