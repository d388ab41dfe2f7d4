// The prompt seam: how code below the user interface (the copy engine, the
// disk checks) asks the user something on the thread it runs on, by dialog id,
// without knowing the dialogs. The application sets the sink that shows the
// real dialogs; tests set their own. Without a sink a prompt is traced and
// answered IDCANCEL (do not go on now).
//
// A prompt is shown in the raising thread's own modal loop and returns the
// dialog's result: IDOK (go on as the first choice offers), IDCANCEL (not
// now) or kMakeCurrentDisk (take the disk now in the drive as the program's
// disk). Dialogs that offer "Disable" leave the keep-running flag
// (ProcessFlags) at 0 when the user chose it; the caller reads the flag right
// after the prompt returns.
//
// The caller holds the modal-window flag while a prompt is up (see
// ModalWindowScope), so that no other window of the program opens meanwhile.
//
// A prompt raised on the mirror worker must not be owned by a window of the
// user-interface thread: that thread may be waiting for the worker to end
// (the controller's Stop, the last pass at the session's end), and a dialog
// whose owner lives on a waiting thread makes Windows send that thread
// messages (disabling the owner) that it cannot answer.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tvx {

// The result of the not-my-disk prompt's "make the current disk mine" choice.
inline constexpr INT_PTR kMakeCurrentDisk = 1045;

// What a prompt shows.
struct PromptRequest {
    int dialog = 0;      // resource id of the dialog template
    std::wstring text{};   // the path, destination or drive it is about
    DWORD code = 0;      // a Windows error code, where the dialog shows one
    std::wstring detail{}; // a second text (for instance the dates a full disk holds)
    // Where the dialogs that ask for a text (the volume name, the password)
    // put what the user typed when they end with IDOK; may be null.
    std::wstring* reply = nullptr;
};

// Shows one prompt and returns its result when it has been answered.
using PromptSink = std::function<INT_PTR(const PromptRequest&)>;

// Replaces the sink and returns the one it replaces. An empty function puts
// the default (trace, IDCANCEL) back.
PromptSink SetPromptSink(PromptSink sink);

// Shows a prompt through the current sink. A sink that throws is traced and
// counts as IDCANCEL: a prompt never ends the thread that raised it.
INT_PTR ShowPrompt(const PromptRequest& request);

}  // namespace tvx
