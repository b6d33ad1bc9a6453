// Owner types for system handles and temporary files: one owner per handle kind, the invalid value
// belongs to the type, uncopyable, movable, released on every path out.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>
#include <utility>

template <class Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type h) : m_h(h) {}
    ~UniqueHandle() { Close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const { return m_h; }
    bool IsValid() const { return m_h != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // Takes ownership of h, closing the handle held before.
    void Reset(Type h = Traits::Invalid())
    {
        Close();
        m_h = h;
    }
    // Closes the handle held and gives the address that an API call fills with a new one.
    Type* Receive()
    {
        Close();
        return &m_h;
    }
    Type Release()
    {
        Type h = m_h;
        m_h = Traits::Invalid();
        return h;
    }
    // Closes the handle; true when nothing was held or the close succeeded.
    bool Close()
    {
        if (!IsValid())
            return true;
        const bool ok = Traits::Close(m_h);
        m_h = Traits::Invalid();
        return ok;
    }

private:
    Type m_h = Traits::Invalid();
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return CloseHandle(h) != FALSE; }
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return CloseHandle(h) != FALSE; }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return FreeLibrary(h) != FALSE; }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return FindClose(h) != FALSE; }
};

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return LocalFree(h) == nullptr; }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};

using FileHandle = UniqueHandle<FileHandleTraits>;      // CreateFile: INVALID_HANDLE_VALUE when empty
using KernelHandle = UniqueHandle<KernelHandleTraits>;  // events, processes, mutexes: null when empty
using ModuleHandle = UniqueHandle<ModuleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
using RegKeyHandle = UniqueHandle<RegKeyTraits>;     // RegOpenKeyEx/RegCreateKeyEx: null when empty

// Owner of one COM interface reference: released on every path out.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : m_p(p) {}
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For functions that return a new reference through T**: releases the one held first.
    T** Put()
    {
        Reset();
        return &m_p;
    }
    void Reset()
    {
        if (m_p)
            std::exchange(m_p, nullptr)->Release();
    }

private:
    T* m_p = nullptr;
};

// Deletes a file when it goes out of scope, unless dismissed. The last error survives the deletion.
class TempFileGuard {
public:
    TempFileGuard() = default;
    explicit TempFileGuard(std::string path) : m_path(std::move(path)) {}
    ~TempFileGuard() { Delete(); }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;

    void Set(std::string path)
    {
        Delete();
        m_path = std::move(path);
    }
    const std::string& Path() const { return m_path; }
    bool IsSet() const { return !m_path.empty(); }
    // The file stays; the guard forgets it.
    std::string Dismiss() { return std::exchange(m_path, std::string()); }
    void Delete()
    {
        if (m_path.empty())
            return;
        const DWORD error = GetLastError();
        DeleteFileA(m_path.c_str());
        SetLastError(error);
        m_path.clear();
    }

private:
    std::string m_path;
};

// Runs a function when it goes out of scope, unless released.
template <class F>
class ScopeGuard {
public:
    explicit ScopeGuard(F f) : m_f(std::move(f)) {}
    ~ScopeGuard()
    {
        if (m_active)
            m_f();
    }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    void release() { m_active = false; }

private:
    F m_f;
    bool m_active = true;
};

template <class F>
ScopeGuard<F> MakeScopeGuard(F f)
{
    return ScopeGuard<F>(std::move(f));
}
