#include "Injection.h"

#include <imagehlp.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

typedef BOOL(WINAPI* SetFileInformationByHandleFn)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// How a function reports failure: its return value, and whether that value is the error itself (registry,
// COM and the access-list calls) or the last error is set.
constexpr intptr_t kFalse = 0;
constexpr intptr_t kInvalidHandle = -1;
constexpr intptr_t kInvalidAttributes = static_cast<intptr_t>(INVALID_FILE_ATTRIBUTES);
constexpr intptr_t kInvalidPointer = static_cast<intptr_t>(INVALID_SET_FILE_POINTER);
constexpr bool kLastError = false, kReturned = true;

// Function, its type, failure value, whether the error is returned, the error. Writes and size changes
// find the disk full, opens a file in use, renames, deletes and attributes access denied, folders a
// missing path, keys and access lists access denied, values an I/O error of the registry.
#define QU_INJECTED_FUNCTIONS(X)                                                                             \
    X(CreateFileA, decltype(&::CreateFileA), kInvalidHandle, kLastError, ERROR_SHARING_VIOLATION)            \
    X(ReadFile, decltype(&::ReadFile), kFalse, kLastError, ERROR_READ_FAULT)                                  \
    X(WriteFile, decltype(&::WriteFile), kFalse, kLastError, ERROR_DISK_FULL)                                 \
    X(SetFilePointer, decltype(&::SetFilePointer), kInvalidPointer, kLastError, ERROR_DISK_FULL)              \
    X(SetFilePointerEx, decltype(&::SetFilePointerEx), kFalse, kLastError, ERROR_DISK_FULL)                   \
    X(SetEndOfFile, decltype(&::SetEndOfFile), kFalse, kLastError, ERROR_DISK_FULL)                           \
    X(FlushFileBuffers, decltype(&::FlushFileBuffers), kFalse, kLastError, ERROR_DISK_FULL)                   \
    X(GetFileSizeEx, decltype(&::GetFileSizeEx), kFalse, kLastError, ERROR_ACCESS_DENIED)                     \
    X(GetFileInformationByHandle, decltype(&::GetFileInformationByHandle), kFalse, kLastError,                \
      ERROR_ACCESS_DENIED)                                                                                   \
    X(SetFileInformationByHandle, SetFileInformationByHandleFn, kFalse, kLastError, ERROR_ACCESS_DENIED)      \
    X(MoveFileA, decltype(&::MoveFileA), kFalse, kLastError, ERROR_SHARING_VIOLATION)                         \
    X(MoveFileExA, decltype(&::MoveFileExA), kFalse, kLastError, ERROR_SHARING_VIOLATION)                     \
    X(CopyFileA, decltype(&::CopyFileA), kFalse, kLastError, ERROR_ACCESS_DENIED)                             \
    X(DeleteFileA, decltype(&::DeleteFileA), kFalse, kLastError, ERROR_ACCESS_DENIED)                         \
    X(GetFileAttributesA, decltype(&::GetFileAttributesA), kInvalidAttributes, kLastError, ERROR_ACCESS_DENIED) \
    X(SetFileAttributesA, decltype(&::SetFileAttributesA), kFalse, kLastError, ERROR_ACCESS_DENIED)           \
    X(FindFirstFileA, decltype(&::FindFirstFileA), kInvalidHandle, kLastError, ERROR_ACCESS_DENIED)           \
    X(CreateDirectoryA, decltype(&::CreateDirectoryA), kFalse, kLastError, ERROR_PATH_NOT_FOUND)              \
    X(RemoveDirectoryA, decltype(&::RemoveDirectoryA), kFalse, kLastError, ERROR_SHARING_VIOLATION)           \
    X(MakeSureDirectoryPathExists, decltype(&::MakeSureDirectoryPathExists), kFalse, kLastError,              \
      ERROR_PATH_NOT_FOUND)                                                                                  \
    X(GetTempFileNameA, decltype(&::GetTempFileNameA), kFalse, kLastError, ERROR_ACCESS_DENIED)               \
    X(CreateProcessA, decltype(&::CreateProcessA), kFalse, kLastError, ERROR_ACCESS_DENIED)                   \
    X(RegOpenKeyA, decltype(&::RegOpenKeyA), ERROR_ACCESS_DENIED, kReturned, 0)                               \
    X(RegOpenKeyExA, decltype(&::RegOpenKeyExA), ERROR_ACCESS_DENIED, kReturned, 0)                           \
    X(RegCreateKeyExA, decltype(&::RegCreateKeyExA), ERROR_ACCESS_DENIED, kReturned, 0)                       \
    X(RegSetValueExA, decltype(&::RegSetValueExA), ERROR_REGISTRY_IO_FAILED, kReturned, 0)                    \
    X(RegDeleteValueA, decltype(&::RegDeleteValueA), ERROR_ACCESS_DENIED, kReturned, 0)                       \
    X(RegDeleteKeyA, decltype(&::RegDeleteKeyA), ERROR_ACCESS_DENIED, kReturned, 0)                           \
    X(SHDeleteKeyA, decltype(&::SHDeleteKeyA), ERROR_ACCESS_DENIED, kReturned, 0)                             \
    X(RegSaveKeyA, decltype(&::RegSaveKeyA), ERROR_REGISTRY_IO_FAILED, kReturned, 0)                          \
    X(RegRestoreKeyA, decltype(&::RegRestoreKeyA), ERROR_REGISTRY_IO_FAILED, kReturned, 0)                    \
    X(CoCreateInstance, decltype(&::CoCreateInstance), E_ACCESSDENIED, kReturned, 0)                          \
    X(GetKernelObjectSecurity, decltype(&::GetKernelObjectSecurity), kFalse, kLastError, ERROR_ACCESS_DENIED) \
    X(SetKernelObjectSecurity, decltype(&::SetKernelObjectSecurity), kFalse, kLastError, ERROR_ACCESS_DENIED)

enum FunctionIndex {
#define QU_INDEX(name, type, failure, returned, error) k##name,
    QU_INJECTED_FUNCTIONS(QU_INDEX)
#undef QU_INDEX
        kFunctionCount
};

const char* const kNames[] = {
#define QU_NAME(name, type, failure, returned, error) #name,
    QU_INJECTED_FUNCTIONS(QU_NAME)
#undef QU_NAME
};

InjectionRecord* g_record = nullptr;
HANDLE g_mapping = nullptr;

// Whether this call is one that must fail; counts it.
bool Injected(int index)
{
    InjectionRecord* record = g_record;
    if (!record || !record->armed)
        return false;
    const LONG position = InterlockedIncrement(&record->calls);
    if (position <= InjectionRecord::kMaxCalls)
        record->trace[position - 1] = static_cast<unsigned char>(index);
    for (int k = 0; k < 2; ++k) {
        if (record->failAt[k] == position) {
            lstrcpynA(record->failed[k], kNames[index], sizeof record->failed[k]);
            return true;
        }
    }
    return false;
}

template <class R>
R FailureValue(intptr_t value)
{
    if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<R>(value);
    else
        return static_cast<R>(value);
}

// The stand-in of each function: the original, unless this call fails.
template <int Index, class F, intptr_t Failure, bool Returned, DWORD Error>
struct Stand;

template <int Index, class R, class... A, intptr_t Failure, bool Returned, DWORD Error>
struct Stand<Index, R(WINAPI*)(A...), Failure, Returned, Error> {
    static inline R(WINAPI* original)(A...) = nullptr;
    static R WINAPI Call(A... args)
    {
        if (Injected(Index)) {
            if (!Returned)
                SetLastError(Error);
            return FailureValue<R>(Failure);
        }
        return original(args...);
    }
};

// Points the stand-in at the original and returns the stand-in, by name; null for other names.
void* StandIn(const char* name, void* original)
{
#define QU_MATCH(name_, type, failure, returned, error)                                                      \
    if (std::strcmp(name, #name_) == 0) {                                                                    \
        using S = Stand<k##name_, type, failure, returned, error>;                                           \
        if (!S::original && original != reinterpret_cast<void*>(&S::Call))                                  \
            S::original = reinterpret_cast<type>(original);                                                  \
        return reinterpret_cast<void*>(&S::Call);                                                            \
    }
    QU_INJECTED_FUNCTIONS(QU_MATCH)
#undef QU_MATCH
    return nullptr;
}

FARPROC(WINAPI* g_getProcAddress)(HMODULE, LPCSTR) = nullptr;

// Functions looked up by name get the stand-in too (the rename through a handle, the access lists).
FARPROC WINAPI InjectedGetProcAddress(HMODULE module, LPCSTR name)
{
    const FARPROC proc = g_getProcAddress(module, name);
    if (!proc || reinterpret_cast<uintptr_t>(name) <= 0xFFFF)
        return proc;
    void* stand = StandIn(name, reinterpret_cast<void*>(proc));
    return stand ? reinterpret_cast<FARPROC>(stand) : proc;
}

// Calls replace(name, current) for each entry of this module's import address table imported by name, and
// puts the function it returns (when not null and not the current one) into the entry.
template <class Replace>
void ForEachImport(Replace replace)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); d->Name; ++d) {
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk
                                                                                               : d->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const char* name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
            void* current = reinterpret_cast<void*>(slots->u1.Function);
            void* stand = replace(name, current);
            if (!stand || stand == current)
                continue;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            slots->u1.Function = reinterpret_cast<uintptr_t>(stand);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
        }
    }
}

// Replaces the entries of this module's import address table that name an intercepted function.
void PatchImports()
{
    ForEachImport([](const char* name, void* current) -> void* {
        if (std::strcmp(name, "GetProcAddress") == 0) {
            g_getProcAddress = reinterpret_cast<decltype(g_getProcAddress)>(current);
            return reinterpret_cast<void*>(&InjectedGetProcAddress);
        }
        return StandIn(name, current);
    });
}

}  // namespace

int InjectedFunctionCount() { return kFunctionCount; }

const char* InjectedFunctionName(int index) { return index >= 0 && index < kFunctionCount ? kNames[index] : "?"; }

void* ReplaceImport(const char* name, void* replacement)
{
    void* original = nullptr;
    ForEachImport([&](const char* imported, void* current) -> void* {
        if (std::strcmp(imported, name) != 0)
            return nullptr;
        original = current;
        return replacement;
    });
    return original;
}

bool AttachInjection()
{
    char name[128] = {}, armed[8] = {};
    if (g_record || !GetEnvironmentVariableA("QU_INJECT", name, sizeof name))
        return g_record != nullptr;
    g_mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (!g_mapping)
        return false;
    g_record = static_cast<InjectionRecord*>(MapViewOfFile(g_mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!g_record)
        return false;
    PatchImports();
    GetEnvironmentVariableA("QU_INJECT_ARMED", armed, sizeof armed);
    ArmInjection(armed[0] == '1');
    return true;
}

void ArmInjection(bool armed)
{
    if (g_record)
        g_record->armed = armed ? 1 : 0;
}

InjectionControl::InjectionControl()
    : m_mapping(nullptr), m_record(nullptr), m_name("qu-inject-" + std::to_string(GetCurrentProcessId()))
{
    m_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(InjectionRecord),
                                   m_name.c_str());
    if (m_mapping)
        m_record = static_cast<InjectionRecord*>(MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
}

InjectionControl::~InjectionControl()
{
    Stop();
    if (m_record)
        UnmapViewOfFile(m_record);
    if (m_mapping)
        CloseHandle(m_mapping);
}

void InjectionControl::Prepare(LONG failAt, LONG alsoFailAt, bool armed)
{
    if (!m_record)
        return;
    std::memset(m_record, 0, sizeof *m_record);
    m_record->failAt[0] = failAt;
    m_record->failAt[1] = alsoFailAt;
    SetEnvironmentVariableA("QU_INJECT", m_name.c_str());
    SetEnvironmentVariableA("QU_INJECT_ARMED", armed ? "1" : "0");
}

void InjectionControl::Stop()
{
    // A program of the run that outlives it (an uninstaller's copy) counts no more and fails nothing.
    if (m_record)
        InterlockedExchange(&m_record->armed, 0);
    SetEnvironmentVariableA("QU_INJECT", nullptr);
    SetEnvironmentVariableA("QU_INJECT_ARMED", nullptr);
}

LONG InjectionControl::Calls() const { return m_record ? m_record->calls : -1; }

std::string InjectionControl::FunctionAt(LONG position) const
{
    if (!m_record || position < 1 || position > InjectionRecord::kMaxCalls || position > m_record->calls)
        return "?";
    return InjectedFunctionName(m_record->trace[position - 1]);
}

std::string InjectionControl::Describe(LONG position) const
{
    const std::string name = FunctionAt(position);
    int rank = 0;
    for (LONG k = 1; k <= position && k <= InjectionRecord::kMaxCalls; ++k)
        rank += FunctionAt(k) == name;
    return name + " #" + std::to_string(rank) + " (call " + std::to_string(position) + ")";
}

std::string InjectionControl::Failed() const
{
    std::string text;
    for (int k = 0; k < 2 && m_record; ++k) {
        if (m_record->failed[k][0])
            text += (text.empty() ? "" : ", ") + Describe(m_record->failAt[k]);
    }
    return text;
}
