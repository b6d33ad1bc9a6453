#include "FlagStrip.h"

#include "Handles.h"
#include "Languages.h"

#include <cstring>

const BYTE* ReadFlagImage(const BYTE* image, DWORD size, FlagBits& flag)
{
    static_assert(FLAG_WIDTH % 32 == 16, "a mask row is the flag's bytes and two more");
    constexpr DWORD MASK_BYTES = FLAG_WIDTH / 8;
    if (size < sizeof flag.header)
        return nullptr;
    memcpy(&flag.header, image, sizeof flag.header);
    const unsigned bpp = flag.header.biBitCount;
    if (flag.header.biSize != sizeof flag.header || flag.header.biWidth != FLAG_WIDTH ||
        flag.header.biHeight != 2 * FLAG_HEIGHT || flag.header.biPlanes != 1 ||
        flag.header.biCompression != BI_RGB || (bpp != 1 && bpp != 4 && bpp != 8))
        return nullptr;
    const DWORD colours = flag.header.biClrUsed ? flag.header.biClrUsed : 1u << bpp;
    const DWORD bitsOffset = sizeof flag.header + colours * sizeof(RGBQUAD);
    const DWORD colourBytes = (FLAG_WIDTH * bpp + 31) / 32 * 4 * FLAG_HEIGHT;
    if (colours > 1u << bpp || bitsOffset + colourBytes + (MASK_BYTES + 2) * FLAG_HEIGHT > size)
        return nullptr;
    // Only an opaque flag looks the same without its mask.
    for (DWORD i = 0; i < (MASK_BYTES + 2) * FLAG_HEIGHT; ++i) {
        if (i % (MASK_BYTES + 2) < MASK_BYTES && image[bitsOffset + colourBytes + i])
            return nullptr;
    }
    memcpy(flag.colours, image + sizeof flag.header, colours * sizeof(RGBQUAD));
    flag.header.biHeight = FLAG_HEIGHT;
    flag.header.biSizeImage = 0;
    return image + bitsOffset;
}

namespace {

const BYTE* LockedResource(HINSTANCE hModule, int id, LPCSTR type, DWORD& size)
{
    const HRSRC hResource = ::FindResourceA(hModule, MAKEINTRESOURCEA(id), type);
    const HGLOBAL hData = hResource ? ::LoadResource(hModule, hResource) : nullptr;
    size = hResource ? ::SizeofResource(hModule, hResource) : 0;
    return hData ? static_cast<const BYTE*>(::LockResource(hData)) : nullptr;
}

// The image of a flag's icon resource that LoadImage picks for the flag size, as ReadFlagImage reads it.
const BYTE* ReadFlagBits(HINSTANCE hModule, int iconId, FlagBits& flag)
{
    DWORD size = 0;
    BYTE* group = const_cast<BYTE*>(LockedResource(hModule, iconId, RT_GROUP_ICON, size));
    // The directory: a 6-byte header whose last word counts the 14-byte entries that follow.
    const int imageId = group && size >= 6 && size >= 6 + 14u * (group[4] | group[5] << 8)
                            ? ::LookupIconIdFromDirectoryEx(group, TRUE, FLAG_WIDTH, FLAG_HEIGHT, LR_DEFAULTCOLOR)
                            : 0;
    const BYTE* image = imageId ? LockedResource(hModule, imageId, RT_ICON, size) : nullptr;
    return image ? ReadFlagImage(image, size, flag) : nullptr;
}

}  // namespace

// Each flag's image, stretched to the list's size as the list itself does with an icon, goes into one strip,
// and the strip is added at once. Under Wine that takes a tenth of the time of loading and adding icon by
// icon, with the same pixels. Nothing is added when a flag is not an opaque bitmap of the flag size or GDI
// fails.
int AppendFlagStrip(HIMAGELIST hList, HINSTANCE hModule, const std::vector<int>& languages)
{
    int width = 0;
    int height = 0;
    const HDC hScreen = ::GetDC(nullptr);
    if (!hScreen || languages.empty() || !ImageList_GetIconSize(hList, &width, &height)) {
        ::ReleaseDC(nullptr, hScreen);
        return -1;
    }
    const HDC hDC = ::CreateCompatibleDC(hScreen);
    const HBITMAP hStrip = ::CreateCompatibleBitmap(hScreen, width * static_cast<int>(languages.size()), height);
    ::ReleaseDC(nullptr, hScreen);
    // Deleting the memory DC first also lets go of the strip selected into it.
    const auto release = MakeScopeGuard([hDC, hStrip] {
        ::DeleteDC(hDC);
        ::DeleteObject(hStrip);
    });
    const HGDIOBJ hOld = hDC && hStrip ? ::SelectObject(hDC, hStrip) : nullptr;
    bool drawn = hOld != nullptr;
    for (size_t i = 0; drawn && i < languages.size(); ++i) {
        FlagBits flag;
        const BYTE* bits = ReadFlagBits(hModule, GetLanguageFlagIcon(languages[i]), flag);
        drawn = bits && ::StretchDIBits(hDC, width * static_cast<int>(i), 0, width, height, 0, 0, FLAG_WIDTH,
                                        FLAG_HEIGHT, bits, reinterpret_cast<const BITMAPINFO*>(&flag.header),
                                        DIB_RGB_COLORS, SRCCOPY) > 0;
    }
    if (!drawn)
        return -1;
    ::SelectObject(hDC, hOld);
    return ImageList_Add(hList, hStrip, nullptr);
}

