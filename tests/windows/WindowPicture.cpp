#include "WindowPicture.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct ScreenDC {
    HDC hdc = GetDC(nullptr);
    ~ScreenDC()
    {
        if (hdc)
            ReleaseDC(nullptr, hdc);
    }
};

struct MemoryDC {
    HDC hdc;
    explicit MemoryDC(HDC like) : hdc(CreateCompatibleDC(like)) {}
    ~MemoryDC()
    {
        if (hdc)
            DeleteDC(hdc);
    }
};

struct GdiObject {
    HGDIOBJ object;
    explicit GdiObject(HGDIOBJ o) : object(o) {}
    ~GdiObject()
    {
        if (object)
            DeleteObject(object);
    }
};

struct SelectedObject {
    HDC hdc;
    HGDIOBJ old;
    SelectedObject(HDC dc, HGDIOBJ object) : hdc(dc), old(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(hdc, old); }
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

namespace {

// One copy of the screen's rectangle as bottom-up 24-bit rows; empty when it could not be made.
std::vector<unsigned char> CopyScreen(const RECT& rc, BITMAPINFO& info)
{
    const ScreenDC screen;
    const MemoryDC memory(screen.hdc);
    void* bits = nullptr;
    const GdiObject bitmap(CreateDIBSection(screen.hdc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!screen.hdc || !memory.hdc || !bitmap.object || !bits)
        return {};
    const SelectedObject selected(memory.hdc, bitmap.object);
    if (!BitBlt(memory.hdc, 0, 0, info.bmiHeader.biWidth, info.bmiHeader.biHeight, screen.hdc, rc.left, rc.top,
                SRCCOPY | CAPTUREBLT))
        return {};
    GdiFlush();
    const auto* begin = static_cast<const unsigned char*>(bits);
    return std::vector<unsigned char>(begin, begin + info.bmiHeader.biSizeImage);
}

}  // namespace

bool SaveWindowPicture(HWND hwnd, const std::string& bmpPath)
{
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rc = {};
    if (!GetWindowRect(hwnd, &rc))
        return false;
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0)
        return false;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    info.bmiHeader.biSizeImage = stride * static_cast<DWORD>(height);

    // The window's process hands its painting to the display on its own schedule: the picture is taken
    // once two copies a moment apart agree (the last copy after a few seconds).
    std::vector<unsigned char> previous, pixels;
    for (int attempt = 0; attempt < 20; ++attempt) {
        Sleep(250);
        pixels = CopyScreen(rc, info);
        if (pixels.empty())
            return false;
        if (pixels == previous)
            break;
        previous.swap(pixels);
    }

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + info.bmiHeader.biSizeImage;
    const std::unique_ptr<std::FILE, FileCloser> out(std::fopen(bmpPath.c_str(), "wb"));
    if (!out)
        return false;
    return std::fwrite(&file, sizeof file, 1, out.get()) == 1 &&
           std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out.get()) == 1 &&
           std::fwrite(previous.data(), previous.size(), 1, out.get()) == 1 && std::fflush(out.get()) == 0;
}
