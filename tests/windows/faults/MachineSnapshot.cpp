#include "MachineSnapshot.h"

#include "Handles.h"
#include "TestSupport.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

std::string Hex(uint64_t value, int digits)
{
    char text[24];
    std::snprintf(text, sizeof text, "%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

// FNV-1a over the file's content; "unreadable" when it cannot be opened (held by another process).
std::string ContentHash(const std::string& path)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return "unreadable";
    uint64_t hash = 0xcbf29ce484222325ull;
    std::vector<unsigned char> block(65536);
    DWORD got = 0;
    while (ReadFile(file.Get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i)
            hash = (hash ^ block[i]) * 0x100000001b3ull;
    }
    return Hex(hash, 16);
}

std::string LinkDescription(const std::string& path)
{
    std::string text = "unreadable link";
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return text;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t wide[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        char target[MAX_PATH] = {}, folder[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(wide, STGM_READ)) && SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0)) &&
            SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH)))
            text = std::string("target ") + target + ", folder " + folder;
        file->Release();
    }
    link->Release();
    return text;
}

void AddTree(MachineSnapshot& snapshot, const std::string& path)
{
    ForEachInTree(path, [&](const std::string& child, const WIN32_FIND_DATAA& data) {
        const std::string attributes = "attributes " + Hex(data.dwFileAttributes, 4);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            snapshot.items["folder " + child] = attributes;
            return;
        }
        const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        snapshot.items["file " + child] =
            "size " + std::to_string(size) + ", hash " + ContentHash(child) + ", " + attributes;
        if (EndsWithNoCase(child, ".lnk"))
            snapshot.items["link " + child] = LinkDescription(child);
    });
}

void AddKey(MachineSnapshot& snapshot, HKEY root, const std::string& rootName, const std::string& path)
{
    RegKeyHandle key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return;
    const std::string name = rootName + "\\" + path;
    snapshot.items["key " + name] = "";
    for (DWORD index = 0;; ++index) {
        char valueName[16384];
        DWORD nameSize = sizeof valueName;
        DWORD type = 0;
        BYTE data[8192];
        DWORD size = sizeof data;
        if (RegEnumValueA(key.Get(), index, valueName, &nameSize, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        std::string text = "type " + std::to_string(type) + ", ";
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            text += "\"" + std::string(reinterpret_cast<const char*>(data), size) + "\"";
            // The stored length tells whether the terminating zero was counted.
            text += " (" + std::to_string(size) + " bytes)";
        } else {
            for (DWORD i = 0; i < size; ++i)
                text += Hex(data[i], 2);
        }
        snapshot.items["value " + name + " : " + valueName] = text;
    }
    for (DWORD index = 0;; ++index) {
        char subName[256];
        DWORD subSize = sizeof subName;
        if (RegEnumKeyExA(key.Get(), index, subName, &subSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        AddKey(snapshot, root, rootName, path + "\\" + subName);
    }
}

// The path of an item name: what follows its kind word.
std::string ItemPath(const std::string& item) { return item.substr(item.find(' ') + 1); }

}  // namespace

MachineSnapshot MachineSnapshot::Take(const std::string& root)
{
    const HRESULT com = CoInitialize(nullptr);
    MachineSnapshot snapshot;
    AddTree(snapshot, root);
    AddKey(snapshot, HKEY_LOCAL_MACHINE, "HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Plankora 5");
    AddKey(snapshot, HKEY_CLASSES_ROOT, "HKCR", ".plk");
    AddKey(snapshot, HKEY_CLASSES_ROOT, "HKCR", "Plankora.Document");
    if (SUCCEEDED(com))
        CoUninitialize();
    return snapshot;
}

MachineSnapshot MachineSnapshot::Without(const std::string& prefix) const
{
    MachineSnapshot out;
    for (const auto& item : items) {
        if (ItemPath(item.first).compare(0, prefix.size(), prefix) != 0)
            out.items.insert(item);
    }
    return out;
}

MachineSnapshot MachineSnapshot::Only(const std::string& prefix) const
{
    MachineSnapshot out;
    for (const auto& item : items) {
        if (ItemPath(item.first).compare(0, prefix.size(), prefix) == 0)
            out.items.insert(item);
    }
    return out;
}

std::string SnapshotDifference(const MachineSnapshot& before, const MachineSnapshot& after)
{
    std::string text;
    for (const auto& item : before.items) {
        const auto found = after.items.find(item.first);
        if (found == after.items.end())
            text += "  removed: " + item.first + " (" + item.second + ")\n";
        else if (found->second != item.second)
            text += "  changed: " + item.first + ": " + item.second + " -> " + found->second + "\n";
    }
    for (const auto& item : after.items) {
        if (before.items.find(item.first) == before.items.end())
            text += "  added:   " + item.first + " (" + item.second + ")\n";
    }
    return text;
}
