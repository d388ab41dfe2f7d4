#include "media/DiskCheck.h"

#include "framework/MainWindow.h"
#include "framework/ProcessFlags.h"
#include "framework/Prompts.h"
#include "framework/TimeSeam.h"
#include "framework/Trace.h"
#include "media/DriveArray.h"
#include "media/Praxon.h"
#include "settings/Settings.h"

namespace tvx::media {
namespace {

constexpr wchar_t kNoDiskChosen[] = L"0";
constexpr int kInsertDiskPrompt = 136;
constexpr int kNotMyDiskPrompt = 115;
constexpr int kNoDiskPrompt = 160;
constexpr int kFileErrorPrompt = 163;
// While another window of the program is open, the check waits this long
// before it tries to ask again.
constexpr DWORD kBusyPause = 1000;

bool IsNotTavrix(const std::wstring& diskId) { return diskId.rfind(L"NotTavrix", 0) == 0; }

std::wstring StoredDiskId() {
    std::wstring diskId;
    settings::ReadDiskID(diskId);
    return diskId;
}

// Looks for the disk with the identity in every drive of the program, in
// drive-letter order; when it is found, the destination moves to its drive
// and is stored. The caller holds the drive-array lock.
bool FollowDisk(const std::wstring& diskId, std::wstring& destination) {
    Praxon::DriveArray drives(0xFF, true);
    drives.init(0x80FF);
    for (std::size_t i = 0; i < drives.count(); ++i) {
        const Praxon::Drive& drive = drives[i];
        if (drive.getDisk().identity != diskId) continue;
        if (!destination.empty() && towupper(destination[0]) != drive.letter()) {
            destination[0] = drive.letter();
            settings::WriteDestination(destination);
            Trace(L"disk check: the disk is now in %lc:", drive.letter());
        }
        return true;
    }
    return false;
}

// Shows a prompt when no other window of the program is open; kBusy when
// one is (the caller asks again later).
constexpr INT_PTR kBusy = -1;
INT_PTR Ask(int dialog, const std::wstring& text, DWORD code = 0) {
    ModalWindowScope modal;
    if (!modal.Entered()) return kBusy;
    PromptRequest request;
    request.dialog = dialog;
    request.text = text;
    request.code = code;
    return ShowPrompt(request);
}

}  // namespace

int CheckDestinationDisk(DiskCheckContext& context) {
    std::wstring diskId = StoredDiskId();
    if (IsNotTavrix(diskId)) return context.destination.empty() ? 0 : 1;
    {
        DriveArrayHold hold;
        FollowDisk(diskId, context.destination);
    }
    if (context.destination.empty()) return 0;

    auto stopped = [&] { return context.stopRequested && context.stopRequested(); };
    Praxon::Drive drive(context.destination[0]);
    std::wstring current = drive.getDisk().identity;
    diskId = StoredDiskId();
    if (context.warningStatus == 1 && !drive.isTavrixDrive()) {
        // A fixed or network drive where the program's disk was expected.
        DWORD show = 0;
        settings::ReadFileErrorStatus(show);
        if (show == 1) Ask(kFileErrorPrompt, context.destination, ERROR_INVALID_DRIVE);
    } else if (context.warningStatus == 1) {
        for (;;) {
            if (stopped()) return 0;
            if (!current.empty() && current == diskId) break;
            INT_PTR answer = IDCANCEL;
            if (diskId == kNoDiskChosen) {
                // The first disk: the one the user puts in becomes the program's.
                answer = Ask(kInsertDiskPrompt, drive.getLabelText(), static_cast<DWORD>(drive.getSubFamily()));
                if (answer == IDOK) {
                    const std::wstring inserted = Praxon::Drive(drive.letter()).getDisk().identity;
                    // Without a disk there is nothing to adopt: ask again.
                    if (!inserted.empty()) {
                        settings::WriteDiskID(inserted);
                        diskId = StoredDiskId();
                        current = inserted;
                        Trace(L"disk check: the disk %ls is the program's disk now", inserted.c_str());
                    }
                    continue;
                }
            } else {
                DriveArrayHold hold;
                if (FollowDisk(diskId, context.destination)) {
                    drive = Praxon::Drive(context.destination[0]);
                    current = drive.getDisk().identity;
                    continue;
                }
                if (drive.hasDisk()) {
                    DWORD show = 0;
                    settings::ReadNotCurrentStatus(show);
                    answer = show == 1 ? Ask(kNotMyDiskPrompt, context.destination) : IDCANCEL;
                } else {
                    answer = Ask(kNoDiskPrompt, context.destination);
                }
                if (answer != kBusy && Flags().keepRunning.load() == 0) PostToMainWindow(WM_CLOSE);
            }
            current = Praxon::Drive(drive.letter()).getDisk().identity;
            if (answer == kBusy) {
                timeseam::Sleep(kBusyPause);
                continue;
            }
            if (answer == kMakeCurrentDisk) {
                if (current.empty()) continue;
                settings::WriteDiskID(current);
                diskId = StoredDiskId();
                break;
            }
            if (answer == IDOK) continue;  // the user put the disk in (or says so)
            break;
        }
    }
    if (current.empty() || current != diskId || !drive.isTavrixDrive()) {
        Trace(L"disk check: not the program's disk in %lc:; no copy", drive.letter());
        return 0;
    }
    if (Praxon::Drive(drive.letter()).getDisk().readOnly) {
        Trace(L"disk check: the disk in %lc: is write-protected; no copy", drive.letter());
        return 0;
    }
    settings::WriteDiskID(diskId);
    return 1;
}

void RunFillWarning(const DiskCheckContext&) {}

void RunAfterPass(const DiskCheckContext&) {}

}  // namespace tvx::media
