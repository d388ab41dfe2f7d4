#include "media/Asking.h"

#include "framework/MainWindow.h"
#include "framework/ProcessFlags.h"
#include "framework/Prompts.h"
#include "settings/Settings.h"

namespace tvx::media {

INT_PTR AskNow(const Question& question) {
    PromptRequest request;
    request.dialog = question.dialog;
    request.text = question.text;
    request.code = question.code;
    request.detail = question.detail;
    request.reply = question.reply;
    return ShowPrompt(request);
}

INT_PTR AskUnlessBusy(const Question& question) {
    ModalWindowScope modal;
    if (!modal.Entered()) return kBusy;
    return AskNow(question);
}

void CloseIfDisabled() {
    if (Flags().keepRunning.load() == 0) PostToMainWindow(WM_CLOSE);
}

bool IsNotTavrix(const std::wstring& diskId) { return diskId.rfind(L"NotTavrix", 0) == 0; }

std::wstring StoredDiskId() {
    std::wstring diskId;
    settings::ReadDiskID(diskId);
    return diskId;
}

std::wstring StoredDestination() {
    std::wstring destination;
    settings::ReadDestination(destination);
    return destination;
}

void WipeText(std::wstring& text) noexcept {
    ::SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    text.clear();
}

}  // namespace tvx::media
