#include "engine/Alerts.h"

#include "app/ProcessFlags.h"
#include "framework/Trace.h"
#include "settings/Settings.h"

#include <utility>

namespace tvx::engine {
namespace {

SRWLOCK g_sinkLock = SRWLOCK_INIT;
AlertSink g_sink;  // empty: trace only

void TraceAlert(const AlertRequest& alert) {
    Trace(L"alert %d: %ls (error %lu)", alert.dialog, alert.text.c_str(), alert.code);
}

AlertSink CurrentSink() {
    ::AcquireSRWLockShared(&g_sinkLock);
    AlertSink sink = g_sink;
    ::ReleaseSRWLockShared(&g_sinkLock);
    return sink;
}

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

AlertSink SetAlertSink(AlertSink sink) {
    ::AcquireSRWLockExclusive(&g_sinkLock);
    std::swap(g_sink, sink);
    ::ReleaseSRWLockExclusive(&g_sinkLock);
    return sink;
}

int RaiseAlert(int dialog, const std::wstring& text, DWORD code) {
    auto& modal = Flags().modalWindow;
    std::int32_t clear = 0;
    // Another window of the program is up: no alert, and the flag stays its.
    if (!modal.compare_exchange_strong(clear, 1)) return 0;

    int shown = 0;
    if (ShowAgainValue(dialog) == 1) {
        const AlertRequest alert{dialog, text, code};
        if (AlertSink sink = CurrentSink()) {
            try {
                sink(alert);
            } catch (...) {
                // A failing sink must not end the copy loop; the file is
                // skipped either way.
                Trace(L"alert %d: the sink failed", dialog);
            }
        } else {
            TraceAlert(alert);
        }
        shown = 1;
    }
    modal.store(0);
    return shown;
}

}  // namespace tvx::engine
