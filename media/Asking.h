// What the disk steps share: asking the user through the prompt seam, and
// the settings every step reads afresh.
#pragma once

#include <windows.h>

#include <string>

namespace tvx::media {

// AskUnlessBusy's answer while another window of the program is open.
inline constexpr INT_PTR kBusy = -1;

struct Question {
    int dialog = 0;
    std::wstring text{};
    DWORD code = 0;
    std::wstring detail{};
    std::wstring* reply = nullptr;
};

// Shows the prompt now; the caller holds the modal-window flag.
INT_PTR AskNow(const Question& question);
// Shows the prompt, holding the modal-window flag meanwhile; kBusy without
// asking when another window of the program holds it.
INT_PTR AskUnlessBusy(const Question& question);

// After a prompt that offers "Disable": when the user chose it, the main
// window is asked to close (the program ends after the pass).
void CloseIfDisabled();

bool IsNotTavrix(const std::wstring& diskId);
std::wstring StoredDiskId();
std::wstring StoredDestination();

// Wipes a text that held a password before it is emptied.
void WipeText(std::wstring& text) noexcept;

}  // namespace tvx::media
