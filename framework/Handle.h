// Small owners for Win32 handles: one non-copyable, movable owner per handle
// kind. Both NULL and INVALID_HANDLE_VALUE count as "no handle", because
// CreateFile and FindFirstFile report failure with the latter and most other
// calls with the former.
#pragma once

#include <windows.h>

#include <utility>

namespace tvx {

template <typename Traits>
class UniqueHandleT {
public:
    using Type = typename Traits::Type;

    UniqueHandleT() noexcept = default;
    explicit UniqueHandleT(Type h) noexcept : m_h(h) {}
    ~UniqueHandleT() { Close(); }

    UniqueHandleT(const UniqueHandleT&) = delete;
    UniqueHandleT& operator=(const UniqueHandleT&) = delete;

    UniqueHandleT(UniqueHandleT&& other) noexcept : m_h(other.Detach()) {}
    UniqueHandleT& operator=(UniqueHandleT&& other) noexcept {
        if (this != &other) Attach(other.Detach());  // closes what we held
        return *this;
    }

    bool IsValid() const noexcept { return !Traits::IsEmpty(m_h); }
    explicit operator bool() const noexcept { return IsValid(); }
    Type Get() const noexcept { return m_h; }

    // Closes the current handle (if any) and takes ownership of h.
    void Attach(Type h) noexcept {
        Close();
        m_h = h;
    }
    // Gives up ownership without closing.
    Type Detach() noexcept { return std::exchange(m_h, Traits::Empty()); }
    void Close() noexcept {
        if (IsValid()) Traits::Close(m_h);
        m_h = Traits::Empty();
    }

private:
    Type m_h = Traits::Empty();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Empty() noexcept { return nullptr; }
    static bool IsEmpty(Type h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Empty() noexcept { return nullptr; }
    static bool IsEmpty(Type h) noexcept { return h == nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(Type h) noexcept { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};

// Fonts, bitmaps, brushes, pens and regions: anything DeleteObject frees.
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Empty() noexcept { return nullptr; }
    static bool IsEmpty(Type h) noexcept { return h == nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};

// Icons loaded with LoadImage at a chosen size, or made by CopyIcon (shared
// icons from LoadIcon need no owner and must not be destroyed).
struct IconTraits {
    using Type = HICON;
    static Type Empty() noexcept { return nullptr; }
    static bool IsEmpty(Type h) noexcept { return h == nullptr; }
    static void Close(Type h) noexcept { ::DestroyIcon(h); }
};

// Menus loaded with LoadMenu or made with CreatePopupMenu that belong to no
// window (a menu attached to a window goes with it).
struct MenuTraits {
    using Type = HMENU;
    static Type Empty() noexcept { return nullptr; }
    static bool IsEmpty(Type h) noexcept { return h == nullptr; }
    static void Close(Type h) noexcept { ::DestroyMenu(h); }
};

using UniqueHandle = UniqueHandleT<KernelHandleTraits>;
using UniqueRegKey = UniqueHandleT<RegKeyTraits>;
using UniqueFindHandle = UniqueHandleT<FindHandleTraits>;
using UniqueGdiObject = UniqueHandleT<GdiObjectTraits>;
using UniqueIcon = UniqueHandleT<IconTraits>;
using UniqueMenu = UniqueHandleT<MenuTraits>;

}  // namespace tvx
