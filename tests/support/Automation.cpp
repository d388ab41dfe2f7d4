#include "tests/support/Automation.h"

#include <cstring>
#include <fstream>

namespace tvx::test {

std::wstring ExecutableFolder() {
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash);
}

// ------------------------------------------------------------ ProgramProcess

ProgramProcess::~ProgramProcess() {
    if (IsRunning()) Terminate();
}

bool ProgramProcess::Start(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info))
        return false;
    ::CloseHandle(info.hThread);
    m_process.Attach(info.hProcess);
    m_id = info.dwProcessId;
    return true;
}

bool ProgramProcess::WaitExit(DWORD milliseconds) {
    return m_process && ::WaitForSingleObject(m_process.Get(), milliseconds) == WAIT_OBJECT_0;
}

bool ProgramProcess::IsRunning() const {
    return m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
}

DWORD ProgramProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (m_process) ::GetExitCodeProcess(m_process.Get(), &code);
    return code;
}

void ProgramProcess::Terminate() {
    if (!m_process) return;
    ::TerminateProcess(m_process.Get(), 99);
    ::WaitForSingleObject(m_process.Get(), 5000);
}

// ------------------------------------------------------------------- windows

HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD milliseconds) {
    HWND hwnd = nullptr;
    WaitUntil([&] { return (hwnd = ::FindWindowW(className, title)) != nullptr; }, milliseconds);
    return hwnd;
}

bool WaitForNoWindow(const wchar_t* className, DWORD milliseconds) {
    return WaitUntil([&] { return !::FindWindowW(className, nullptr); }, milliseconds);
}

std::vector<WindowInfo> ListTopLevelWindows(DWORD processId) {
    struct Context {
        DWORD processId;
        std::vector<WindowInfo> windows;
    } context{processId, {}};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto* ctx = reinterpret_cast<Context*>(lParam);
            WindowInfo info;
            info.hwnd = hwnd;
            ::GetWindowThreadProcessId(hwnd, &info.processId);
            if (ctx->processId != 0 && info.processId != ctx->processId) return TRUE;
            wchar_t text[256] = {};
            ::GetClassNameW(hwnd, text, 256);
            info.className = text;
            text[0] = L'\0';
            ::GetWindowTextW(hwnd, text, 256);
            info.title = text;
            info.visible = ::IsWindowVisible(hwnd) != FALSE;
            ctx->windows.push_back(std::move(info));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&context));
    return context.windows;
}

HWND VisibleChildDialog(HWND parent) {
    HWND found = nullptr;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = {};
        ::GetClassNameW(child, name, 16);
        if (std::wstring(name) == L"#32770" && ::IsWindowVisible(child)) found = child;
    }
    return found;
}

bool ClickButton(HWND dialog, int controlId) {
    const HWND control = ::GetDlgItem(dialog, controlId);
    return ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                          reinterpret_cast<LPARAM>(control)) != FALSE;
}

HWND WaitForDialogWithControl(DWORD processId, int controlId, DWORD milliseconds) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (const WindowInfo& window : ListTopLevelWindows(processId))
                if (window.visible && window.className == L"#32770" && ::GetDlgItem(window.hwnd, controlId))
                    found = window.hwnd;
            return found != nullptr;
        },
        milliseconds, 50);
    return found;
}

bool SaveNamedScreenshot(const std::wstring& name) {
    const std::wstring folder = ExecutableFolder() + L"\\..\\screenshots";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    // The DPI the picture was drawn at is part of its name: the same window
    // is shot at 96 and at 144 DPI.
    return SaveScreenshot(folder + L"\\" + name + L"-" + std::to_wstring(::GetDpiForSystem()) + L"dpi.bmp");
}

bool SaveScreenshot(const std::wstring& path) {
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    if (width <= 0 || height <= 0) return false;
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        const HGDIOBJ old = ::SelectObject(memory, bitmap);
        ok = ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != FALSE;
        ::GdiFlush();
        ::SelectObject(memory, old);
        if (ok) {
            const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
            const DWORD imageSize = stride * static_cast<DWORD>(height);
            BITMAPFILEHEADER file = {};
            file.bfType = 0x4D42;  // "BM"
            file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
            file.bfSize = file.bfOffBits + imageSize;
            info.bmiHeader.biSizeImage = imageSize;
            std::ofstream out(path.c_str(), std::ios::binary);
            out.write(reinterpret_cast<const char*>(&file), sizeof(file));
            out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
            out.write(static_cast<const char*>(bits), imageSize);
            ok = static_cast<bool>(out);
        }
    }
    if (bitmap) ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

// -------------------------------------------------------------- DebugMonitor
//
// The system's debug-output protocol: a writer waits for DBWIN_BUFFER_READY,
// writes its process id and an 8-bit text into the shared DBWIN_BUFFER, and
// sets DBWIN_DATA_READY; the monitor reads it and sets DBWIN_BUFFER_READY.

namespace {
constexpr DWORD kDbwinSize = 4096;
}

DebugMonitor::DebugMonitor()
    : m_bufferReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
      m_dataReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
      m_mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kDbwinSize, L"DBWIN_BUFFER")) {
    if (!m_bufferReady || !m_dataReady || !m_mapping) return;
    m_view = ::MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, 0, 0, kDbwinSize);
    if (!m_view) return;
    m_active = true;
    m_thread = std::thread([this] { Listen(); });
    ::SetEvent(m_bufferReady.Get());
}

DebugMonitor::~DebugMonitor() {
    m_stop = true;
    if (m_thread.joinable()) {
        ::SetEvent(m_dataReady.Get());
        m_thread.join();
    }
    if (m_view) ::UnmapViewOfFile(m_view);
}

void DebugMonitor::Listen() noexcept {
    while (!m_stop) {
        if (::WaitForSingleObject(m_dataReady.Get(), 200) != WAIT_OBJECT_0) continue;
        if (m_stop) break;
        const auto* base = static_cast<const char*>(m_view);
        DWORD pid = 0;
        std::memcpy(&pid, base, sizeof(pid));
        const char* text = base + sizeof(pid);
        const size_t len = strnlen(text, kDbwinSize - sizeof(pid));
        std::wstring line(text, text + len);  // the program writes ASCII traces
        while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.emplace_back(pid, std::move(line));
        }
        ::SetEvent(m_bufferReady.Get());
    }
}

bool DebugMonitor::Saw(const std::wstring& text, DWORD processId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [pid, line] : m_lines)
        if ((processId == 0 || pid == processId) && line.find(text) != std::wstring::npos) return true;
    return false;
}

bool DebugMonitor::WaitFor(const std::wstring& text, DWORD processId, DWORD milliseconds) {
    return WaitUntil([&] { return Saw(text, processId); }, milliseconds);
}

std::vector<std::wstring> DebugMonitor::Lines(DWORD processId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::wstring> lines;
    for (const auto& [pid, line] : m_lines)
        if (processId == 0 || pid == processId) lines.push_back(line);
    return lines;
}

void DebugMonitor::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}

// ------------------------------------------------------------------ registry

namespace reg {

LONG DeleteTree(HKEY root, const wchar_t* subKey) {
    const LONG rc = ::RegDeleteTreeW(root, subKey);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return rc;
    const LONG rc2 = ::RegDeleteKeyW(root, subKey);
    return rc2 == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc2;
}

namespace {
LONG SetValue(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    LONG rc = ::RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
    return rc;
}
}  // namespace

LONG SetDword(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD value) {
    return SetValue(root, subKey, name, REG_DWORD, &value, sizeof(value));
}

LONG SetString(HKEY root, const wchar_t* subKey, const wchar_t* name, const std::wstring& value) {
    return SetValue(root, subKey, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG SetMultiString(HKEY root, const wchar_t* subKey, const wchar_t* name, const std::vector<std::wstring>& list) {
    std::wstring data;
    for (const std::wstring& item : list) {
        data += item;
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    return SetValue(root, subKey, name, REG_MULTI_SZ, data.data(), static_cast<DWORD>(data.size() * sizeof(wchar_t)));
}

bool ValueExists(HKEY root, const wchar_t* subKey, const wchar_t* name) {
    return ::RegGetValueW(root, subKey, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool Import(const std::wstring& regFile) {
    wchar_t windows[MAX_PATH] = {};
    const UINT n = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    ProgramProcess editor;
    const std::wstring exe = std::wstring(windows) + L"\\regedit.exe";
    return editor.Start(exe, L"/s \"" + regFile + L"\"") && editor.WaitExit(60000);
}

}  // namespace reg
}  // namespace tvx::test
