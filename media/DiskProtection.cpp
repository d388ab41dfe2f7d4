#include "media/DiskProtection.h"

#include "framework/TimeSeam.h"
#include "framework/Trace.h"
#include "media/Asking.h"

namespace tvx::media {
namespace {

constexpr int kPasswordPrompt = 203;
constexpr int kUnprotectPrompt = 204;
constexpr DWORD kProtectSettles = 2000;  // after a change of protection, before reading it again
constexpr int kVolumeLockTries = 30;

// The protection lifted by the program and what puts it back.
struct Lifted {
    bool active = false;
    int state = Praxon::kUnprotected;
    std::wstring password;

    void Save(int newState, std::wstring& typed) {
        WipeText(password);
        state = newState;
        password.swap(typed);
        active = true;
    }
    void Forget() {
        active = false;
        state = Praxon::kUnprotected;
        WipeText(password);
    }
};

Lifted& TheLifted() {
    static Lifted lifted;
    return lifted;
}

// Which question a state needs: 204 (no password), 203 (a password), or 0
// when the state cannot be lifted by asking.
int QuestionFor(int state, bool sevenAsks) {
    if (state == Praxon::kProtectedNoPassword) return kUnprotectPrompt;
    if (state == 2 || state == 3 || (state == 7 && sevenAsks)) return kPasswordPrompt;
    return 0;
}

// Asks, lifts with the answer and reads the state again, until the disk is
// writable (true) or the user declines (false).
bool AskAndLift(Praxon::Drive& drive, int state, bool sevenAsks, bool holdingModalFlag, bool waitForVolume) {
    for (;;) {
        const int dialog = QuestionFor(state, sevenAsks);
        if (dialog == 0) return false;
        std::wstring password;
        const Question question{dialog, drive.getLabelText(), 0, {}, dialog == kPasswordPrompt ? &password : nullptr};
        const INT_PTR answer = holdingModalFlag ? AskNow(question) : AskUnlessBusy(question);
        if (answer != IDOK) {
            WipeText(password);
            return false;
        }
        if (waitForVolume) {
            for (int i = 0; i < kVolumeLockTries && !drive.osFormatLock(); ++i) timeseam::Sleep(1000);
            drive.osFormatUnlock();
        }
        drive.setProtect(Praxon::kUnprotected, password);
        TheLifted().Save(state, password);
        timeseam::Sleep(kProtectSettles);
        const int now = drive.getProtectState();
        if (now == Praxon::kUnprotected) {
            Trace(L"protection: lifted on %lc: for the copy", drive.letter());
            return true;
        }
        TheLifted().Forget();
        state = now;  // a wrong password: asked again
    }
}

void PutBack(Praxon::Drive& drive) {
    Lifted& lifted = TheLifted();
    drive.setProtect(lifted.state, lifted.password);
    timeseam::Sleep(kProtectSettles);
    Trace(L"protection: put back on %lc: (state %d)", drive.letter(), drive.getProtectState());
    lifted.Forget();
}

}  // namespace

void ForgetLiftedProtection() { TheLifted().Forget(); }

bool ProtectionLifted() { return TheLifted().active; }

int LiftProtectionForPass(Praxon::Drive& drive) {
    const int state = drive.getProtectState();
    if (state == Praxon::kUnprotected || (state >= 4 && state <= 7)) return 1;
    if (state == Praxon::kHardwareProtected) Trace(L"protection: %lc: refuses writes by itself", drive.letter());
    return AskAndLift(drive, state, false, false, false) ? 1 : 0;
}

DWORD MakeNewDiskWritable() {
    ForgetLiftedProtection();
    if (IsNotTavrix(StoredDiskId())) return 0;
    const std::wstring destination = StoredDestination();
    if (destination.empty()) return ERROR_OPERATION_ABORTED;
    Praxon::Drive drive(destination[0]);
    const int state = drive.getProtectState();
    const bool sevenIsWritable = drive.getFamily() == Praxon::kMakerFamily;
    if (state == Praxon::kUnprotected || (state >= 4 && state <= 6) || (state == 7 && sevenIsWritable)) return 0;
    return AskAndLift(drive, state, !sevenIsWritable, true, true) ? 0 : ERROR_OPERATION_ABORTED;
}

void RestoreProtectionBeforeEject(Praxon::Drive& drive) {
    if (!TheLifted().active) return;
    timeseam::Sleep(5000);
    PutBack(drive);
}

void RestoreProtectionAfterPass(const std::wstring& destination) {
    if (!TheLifted().active) return;
    if (destination.empty()) {
        TheLifted().Forget();
        return;
    }
    Praxon::Drive drive(destination[0]);
    timeseam::Sleep(5000);
    for (int i = 0; i < kVolumeLockTries && !drive.osFormatLock(); ++i) timeseam::Sleep(1000);
    drive.osFormatUnlock();
    PutBack(drive);
}

}  // namespace tvx::media
