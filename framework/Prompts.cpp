#include "framework/Prompts.h"

#include "framework/Trace.h"

#include <exception>
#include <utility>

namespace tvx {
namespace {

SRWLOCK g_sinkLock = SRWLOCK_INIT;
PromptSink g_sink;  // empty: trace and answer IDCANCEL

PromptSink CurrentSink() {
    ::AcquireSRWLockShared(&g_sinkLock);
    PromptSink sink = g_sink;
    ::ReleaseSRWLockShared(&g_sinkLock);
    return sink;
}

}  // namespace

PromptSink SetPromptSink(PromptSink sink) {
    ::AcquireSRWLockExclusive(&g_sinkLock);
    std::swap(g_sink, sink);
    ::ReleaseSRWLockExclusive(&g_sinkLock);
    return sink;
}

INT_PTR ShowPrompt(const PromptRequest& request) {
    const PromptSink sink = CurrentSink();
    if (!sink) {
        Trace(L"prompt %d: %ls (error %lu) -> cancel", request.dialog, request.text.c_str(), request.code);
        return IDCANCEL;
    }
    try {
        return sink(request);
    } catch (const std::exception& e) {
        Trace(L"prompt %d: the dialog failed (%hs)", request.dialog, e.what());
    } catch (...) {
        Trace(L"prompt %d: the dialog failed", request.dialog);
    }
    return IDCANCEL;
}

}  // namespace tvx
