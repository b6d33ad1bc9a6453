#include "TestSupport.h"

#include "ArchiveFormat.h"
#include "Handles.h"
#include "Hash33.h"
#include "WindowDriver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

std::string WinPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

HeldFile::HeldFile(const std::string& holdFileProgram, const std::string& path)
{
    static unsigned count = 0;
    const std::string name = "QuHoldFile." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++count);
    KernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, (name + "_ready").c_str()));
    m_release.Reset(CreateEventA(nullptr, TRUE, FALSE, (name + "_release").c_str()));
    std::string command = "\"" + WinPath(holdFileProgram) + "\" \"" + path + "\" " + name;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    m_job.Reset(CreateKillOnCloseJob());
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi))
        return;
    m_process.Reset(pi.hProcess);
    const KernelHandle thread(pi.hThread);
    if (!ResumeInJob(m_job.Get(), pi))
        return;
    const HANDLE waits[] = {ready.Get(), m_process.Get()};
    m_held = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

void HeldFile::Release()
{
    if (m_release)
        SetEvent(m_release.Get());
    if (m_process)
        WaitForSingleObject(m_process.Get(), 30000);
    m_process.Reset();
    m_held = false;
}

void ForEachInTree(const std::string& folder,
                   const std::function<void(const std::string& path, const WIN32_FIND_DATAA& entry)>& visit)
{
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string child = folder + "\\" + name;
        visit(child, data);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ForEachInTree(child, visit);
    } while (FindNextFileA(find.Get(), &data));
}

void RemoveTree(const std::string& path)
{
    std::vector<std::string> folders{path};
    ForEachInTree(path, [&](const std::string& child, const WIN32_FIND_DATAA& entry) {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            folders.push_back(child);
        } else {
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(child.c_str());
        }
    });
    // Innermost first.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        RemoveDirectoryA(it->c_str());
}

std::string TestRoot() { return WinPath(QU_TEST_TMP); }

std::string FreshFolder(const std::string& name)
{
    const std::string root = TestRoot();
    CreateDirectoryA(root.c_str(), nullptr);
    const std::string folder = root + "\\" + name;
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ReadFileBytes(const std::string& path)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    std::string bytes;
    if (!file)
        return bytes;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), block, sizeof block, &got, nullptr) && got > 0)
        bytes.append(block, got);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::vector<std::string> ListFiles(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (find) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(data.cFileName);
        } while (FindNextFileA(find.Get(), &data));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> ListTree(const std::string& folder, const std::vector<std::string>& skip)
{
    std::map<std::string, std::string> tree;
    ForEachInTree(folder, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
        const std::string relative = path.substr(folder.size() + 1);
        // The names to skip are those of entries directly in the folder, with everything below them.
        if (std::find(skip.begin(), skip.end(), relative.substr(0, relative.find('\\'))) != skip.end())
            return;
        tree[relative] = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "<folder>" : ReadFileBytes(path);
    });
    return tree;
}

std::vector<std::string> TempFilesIn(const std::string& folder)
{
    std::vector<std::string> found;
    for (const std::string& name : ListFiles(folder)) {
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return static_cast<char>(tolower(c)); });
        if (lower.size() > 6 && lower.compare(0, 2, "qu") == 0 && lower.compare(lower.size() - 4, 4, ".tmp") == 0)
            found.push_back(name);
    }
    return found;
}

bool IsPrivilegeEnabled(const char* name)
{
    LUID luid = {};
    if (!LookupPrivilegeValueA(nullptr, name, &luid))
        return false;
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken))
        return false;
    const KernelHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    bool enabled = false;
    if (size && GetTokenInformation(token.Get(), TokenPrivileges, buffer.data(), size, &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID& id = privileges->Privileges[i].Luid;
            if (id.LowPart == luid.LowPart && id.HighPart == luid.HighPart)
                enabled = (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    return enabled;
}

bool KeyExists(HKEY root, const std::string& path)
{
    RegKeyHandle key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

std::string GetString(HKEY root, const std::string& path, const char* name)
{
    RegKeyHandle key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return "<no key>";
    char value[256] = {};
    DWORD size = sizeof value - 1;
    const LONG result = RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    return result == ERROR_SUCCESS ? value : "<no value>";
}

void SetString(HKEY root, const std::string& path, const char* name, const std::string& value)
{
    RegKeyHandle key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             key.Receive(), nullptr));
    RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

bool KeySnapshot::Take(HKEY root, const std::string& path, KeySnapshot& out)
{
    RegKeyHandle key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return false;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameSize = sizeof name, type = 0, dataSize = 0;
        if (RegEnumValueA(key.Get(), i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS)
            break;
        Value value{name, type, std::vector<BYTE>(dataSize)};
        nameSize = sizeof name;
        RegEnumValueA(key.Get(), i, name, &nameSize, nullptr, &type, value.data.data(), &dataSize);
        out.values.push_back(value);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        if (RegEnumKeyA(key.Get(), i, name, sizeof name) != ERROR_SUCCESS)
            break;
        KeySnapshot child;
        Take(key.Get(), name, child);
        out.subkeys.emplace_back(name, child);
    }
    return true;
}

void KeySnapshot::Put(HKEY root, const std::string& path) const
{
    RegKeyHandle key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) !=
        ERROR_SUCCESS)
        return;
    for (const Value& v : values)
        RegSetValueExA(key.Get(), v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
    for (const auto& child : subkeys)
        child.second.Put(key.Get(), child.first);
}

HWND FindMessageBox(DWORD processId, HWND other, DWORD timeout)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindProcessDialog(processId, other)) != nullptr; }, timeout);
    return found;
}

namespace {

class BitWriter {
public:
    void Put(unsigned value, unsigned bits)
    {
        for (unsigned k = bits; k-- > 0;) {
            m_byte = static_cast<unsigned char>((m_byte << 1) | ((value >> k) & 1));
            if (++m_bits == 8) {
                m_out.push_back(static_cast<char>(m_byte));
                m_byte = 0;
                m_bits = 0;
            }
        }
    }
    std::string Finish()
    {
        if (m_bits > 0)
            m_out.push_back(static_cast<char>(m_byte << (8 - m_bits)));
        m_bits = 0;
        return m_out;
    }

private:
    std::string m_out;
    unsigned char m_byte = 0;
    unsigned m_bits = 0;
};

}  // namespace

std::string BuildArchive(const std::vector<TestFile>& files)
{
    std::vector<DirectoryEntry> entries;
    for (const TestFile& f : files) {
        DirectoryEntry e;
        e.size = static_cast<uint32_t>(f.content.size());
        e.checksum = f.verified ? Hash33(f.content.data(), f.content.size()) + f.checksumDelta : 0;
        e.path = f.path;
        e.compressed = f.compressed;
        e.kind = f.kind;
        entries.push_back(e);
    }
    const std::vector<unsigned char> directory = EncodeDirectory(entries);
    std::string compressed(directory.begin(), directory.end());
    std::string stored;
    for (const TestFile& f : files)
        (f.compressed ? compressed : stored) += f.content;
    BitWriter writer;
    for (unsigned char c : compressed) {
        writer.Put(0, 1);
        writer.Put(c, 8);
    }
    return WithChecksum(std::string(4, '\0') + writer.Finish() + stored);
}

std::string WithChecksum(const std::string& archive)
{
    std::string out = archive;
    if (out.size() < 4)
        return out;
    unsigned char field[4];
    WriteLE32(field, Hash33(out.data() + 4, out.size() - 4));
    out.replace(0, 4, reinterpret_cast<const char*>(field), 4);
    return out;
}

std::string UnixPath(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path.compare(0, 2, "Z:") == 0 ? path.substr(2) : path;
}

bool RunUnix(std::string command)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

namespace {

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";

}  // namespace

std::vector<std::string> PendingRenameOperations()
{
    std::vector<std::string> entries;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return entries;
    DWORD size = 0, type = 0;
    std::vector<char> data;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data.assign(size + 2, '\0');
        if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &size) != ERROR_SUCCESS)
            size = 0;
    }
    RegCloseKey(key);
    for (const char* p = data.data(); p && p < data.data() + size && *p;) {
        entries.push_back(p);
        p += entries.back().size() + 1;
        entries.push_back(p < data.data() + size ? p : "");
        p += entries.back().size() + 1;
    }
    return entries;
}

bool TakePendingRenames(const std::function<bool(const std::string& source)>& matches)
{
    const std::vector<std::string> entries = PendingRenameOperations();
    bool found = false;
    std::string kept;
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
        if (matches(entries[i]))
            found = true;
        else
            kept += entries[i] + '\0' + entries[i + 1] + '\0';
    }
    if (!found)
        return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return found;
    if (kept.empty()) {
        RegDeleteValueA(key, "PendingFileRenameOperations");
    } else {
        kept += '\0';
        RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size()));
    }
    RegCloseKey(key);
    return found;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && lstrcmpiA(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

ScopedTemporaryFolder::ScopedTemporaryFolder(const std::string& folder)
{
    const char* names[] = {"TMP", "TEMP"};
    for (int i = 0; i < 2; ++i) {
        char value[MAX_PATH] = {};
        m_saved[i] = GetEnvironmentVariableA(names[i], value, MAX_PATH) ? value : "";
        SetEnvironmentVariableA(names[i], folder.c_str());
    }
}

ScopedTemporaryFolder::~ScopedTemporaryFolder()
{
    SetEnvironmentVariableA("TMP", m_saved[0].c_str());
    SetEnvironmentVariableA("TEMP", m_saved[1].c_str());
}
