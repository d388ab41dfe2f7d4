#include "engine/Alerts.h"

#include "framework/ProcessFlags.h"
#include "framework/Prompts.h"
#include "settings/Settings.h"

namespace tvx::engine {
namespace {

// The show-again value that gates the dialog; 0 when it cannot be read.
DWORD ShowAgainValue(int dialog) {
    DWORD value = 0;
    switch (dialog) {
        case kFileTooLargeAlert: settings::Read2LargeStatus(value); break;
        case kFileErrorAlert: settings::ReadFileErrorStatus(value); break;
        case kLongNameAlert: settings::ReadFileNameStatus(value); break;
        default: break;
    }
    return value;
}

}  // namespace

int RaiseAlert(int dialog, const std::wstring& text, DWORD code) {
    // Another window of the program is up: no alert, and the flag stays its.
    ModalWindowScope modal;
    if (!modal.Entered()) return 0;
    if (ShowAgainValue(dialog) != 1) return 0;
    ShowPrompt(PromptRequest{dialog, text, code, {}});
    return 1;
}

}  // namespace tvx::engine
