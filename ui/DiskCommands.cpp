#include "ui/DiskCommands.h"

#include <string>

#include "framework/Prompts.h"
#include "framework/Trace.h"
#include "media/Praxon.h"
#include "res/resource.h"
#include "ui/PraxonUI.h"
#include "ui/Prompts.h"

namespace tvx::ui {
namespace {

// The system's error texts shown in dialog 199 are cut to this length.
constexpr size_t kMostErrorChars = 260;

// 0 when the volume took the name, else the system's error code.
DWORD SetLabel(const std::wstring& root, const std::wstring& label) {
    if (::SetVolumeLabelW(root.c_str(), label.c_str())) return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
}

}  // namespace

void ProtectDiskCommand(HWND, wchar_t letter) {
    Praxon::Drive drive(letter);
    if (drive.hasDisk()) PraxonUI::protect(drive, true);
}

void UnprotectDiskCommand(HWND, wchar_t letter) {
    Praxon::Drive drive(letter);
    if (drive.hasDisk()) PraxonUI::unprotect(drive, false, true, nullptr, nullptr);
}

UINT ProtectionPictureId(wchar_t letter) {
    const Praxon::Drive drive(letter);
    return drive.hasDisk() && drive.isProtected() ? IDB_PROTECTED : IDB_UNPROTECTED;
}

void RenameVolumeCommand(HWND owner, wchar_t letter) {
    const Praxon::Drive drive(letter);
    std::wstring typed;
    PromptRequest request;
    request.dialog = IDD_RENAME_VOLUME;
    request.text = drive.getDisk().label;
    request.reply = &typed;
    if (ShowPromptDialog(request, owner) != IDOK) return;

    const std::wstring root = drive.getDrvRootPath();
    DWORD error = SetLabel(root, typed);
    while (error != ERROR_SUCCESS) {
        Trace(L"drive %lc: the volume name was not set (%lu)", letter, error);
        PromptRequest retry;
        retry.dialog = IDD_RENAME_NO_DISK;
        // Without a disk the prompt says to insert one.
        if (Praxon::Drive(letter).hasDisk()) retry.text = SystemErrorText(error).substr(0, kMostErrorChars);
        if (ShowPromptDialog(retry, owner) != IDOK) return;
        error = SetLabel(root, typed);
    }
}

}  // namespace tvx::ui
