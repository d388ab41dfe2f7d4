#include "media/DiskCheck.h"

#include "framework/MainWindow.h"
#include "framework/ProcessFlags.h"
#include "framework/Prompts.h"
#include "framework/TimeSeam.h"
#include "framework/Trace.h"
#include "media/Asking.h"
#include "media/DiskProtection.h"
#include "media/DiskRules.h"
#include "media/DriveArray.h"
#include "media/Praxon.h"
#include "media/Volume.h"
#include "settings/Settings.h"

namespace tvx::media {
namespace {

constexpr wchar_t kNoDiskChosen[] = L"0";
constexpr int kInsertDiskPrompt = 136;
constexpr int kNotMyDiskPrompt = 115;
constexpr int kNoDiskPrompt = 160;
constexpr int kFileErrorPrompt = 163;
constexpr int kFillingWithLinkPrompt = 202;
constexpr int kFillingFixedPrompt = 214;
constexpr int kFillingBuyPrompt = 215;
constexpr int kFirstCopyDone = 207;
constexpr INT_PTR kOpenTheSettings = 1151;  // the first copy's "Open Dovetrak's control panel"
// While another window of the program is open, the check waits this long
// before it tries to ask again.
constexpr DWORD kBusyPause = 1000;

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

INT_PTR Ask(int dialog, const std::wstring& text, DWORD code = 0) {
    return AskUnlessBusy(Question{dialog, text, code});
}

bool RemovableOrCd(const std::wstring& path) {
    const std::wstring root = VolumeRootOf(path);
    const UINT type = ::GetDriveTypeW(root.c_str());
    return type == DRIVE_REMOVABLE || type == DRIVE_CDROM;
}

}  // namespace

int CheckDestinationDisk(DiskCheckContext& context) {
    std::wstring diskId = StoredDiskId();
    ForgetLiftedProtection();
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
                if (answer != kBusy) CloseIfDisabled();
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
    Praxon::Drive ready(drive.letter());
    if (!LiftProtectionForPass(ready)) {
        Trace(L"disk check: the disk in %lc: stays write-protected; no copy", drive.letter());
        return 0;
    }
    if (!ProtectionLifted()) settings::WriteDiskID(diskId);
    return 1;
}

void RunFillWarning(const DiskCheckContext& context) {
    ModalWindowScope modal;
    if (!modal.Entered()) return;
    DWORD buy = 0;
    settings::ReadBuyStatus(buy);
    if (buy != 1 || context.destination.empty()) return;
    int dialog = 0;
    if (IsNotTavrix(StoredDiskId())) {
        const std::wstring root = VolumeRootOf(context.destination);
        ULARGE_INTEGER available = {}, total = {}, free = {};
        if (!::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) return;
        if (FixedDestinationFilling(total.QuadPart, available.QuadPart, free.QuadPart))
            dialog = RemovableOrCd(context.destination) ? kFillingBuyPrompt : kFillingFixedPrompt;
    } else {
        const Praxon::Drive drive(context.destination[0]);
        const Praxon::Disk disk = drive.getDisk();
        if (MakerDiskFilling(disk.totalBytes.value(), disk.usedBytes.value(), drive.getFamily()))
            dialog = kFillingWithLinkPrompt;
    }
    if (dialog == 0) return;
    Trace(L"fill warning: the disk in %ls is becoming full", context.destination.c_str());
    AskNow(Question{dialog, context.destination});
}

void RunAfterPass(const DiskCheckContext& context) {
    // The first complete copy after the setup wizard: what next.
    if (Flags().firstRun.load() == 1) {
        const INT_PTR choice = AskUnlessBusy(Question{kFirstCopyDone});
        if (choice != kBusy) Flags().firstRun.store(0);
        if (choice == kOpenTheSettings) PostToMainWindow(kOpenSettingsMessage);
    }
    RestoreProtectionAfterPass(context.destination);
}

}  // namespace tvx::media
