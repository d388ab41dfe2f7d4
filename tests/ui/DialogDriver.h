// Drives a modal dialog of this process as a user would: the dialog runs on
// a thread of its own (as a prompt does on the mirror worker), the test finds
// it by a control of its template, clicks and types, and reads the result.
#pragma once

#include <windows.h>

#include <functional>
#include <future>
#include <string>
#include <thread>

namespace tvx::ui::testing {

class DialogThread {
public:
    explicit DialogThread(std::function<INT_PTR()> show) {
        std::promise<DWORD> id;
        m_threadId = id.get_future();
        m_thread = std::thread([this, show = std::move(show), id = std::move(id)]() mutable {
            id.set_value(::GetCurrentThreadId());
            m_result = show();
        });
    }
    ~DialogThread() {
        if (m_thread.joinable()) m_thread.join();
    }

    // The visible dialog of the thread that has the control, or null.
    HWND WaitForDialog(int controlId, DWORD milliseconds = 20000) {
        const DWORD thread = m_threadId.get();
        for (DWORD waited = 0; waited < milliseconds; waited += 20) {
            struct Search {
                int id;
                HWND found;
            } search{controlId, nullptr};
            ::EnumThreadWindows(
                thread,
                [](HWND hwnd, LPARAM data) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(data);
                    if (::IsWindowVisible(hwnd) && ::GetDlgItem(hwnd, s->id)) {
                        s->found = hwnd;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            if (search.found) return search.found;
            ::Sleep(20);
        }
        return nullptr;
    }

    // Ends a dialog the test could not find or answer: a modal loop ends on
    // WM_QUIT, so the test fails instead of waiting for ever.
    void Abandon() { ::PostThreadMessageW(m_threadId.get(), WM_QUIT, 0, 0); }

    // Joins the thread and returns what the dialog ended with.
    INT_PTR Result() {
        if (m_thread.joinable()) m_thread.join();
        return m_result;
    }

private:
    std::shared_future<DWORD> m_threadId;
    std::thread m_thread;
    INT_PTR m_result = -2;
};

inline void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

inline std::wstring Text(HWND dialog, int id) {
    wchar_t buffer[2048] = {};
    ::GetDlgItemTextW(dialog, id, buffer, 2048);
    return buffer;
}

inline bool IsChecked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

}  // namespace tvx::ui::testing
