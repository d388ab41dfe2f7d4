#include "media/DiskExchange.h"

#include "framework/ProcessFlags.h"
#include "framework/TimeSeam.h"
#include "framework/Trace.h"
#include "media/Asking.h"
#include "media/DiskProtection.h"
#include "media/DiskRules.h"
#include "media/Praxon.h"
#include "media/Volume.h"
#include "settings/Settings.h"

namespace tvx::media {
namespace {

constexpr int kFullWithLinkPrompt = 104;
constexpr int kFullFixedPrompt = 211;
constexpr int kFullRemovablePrompt = 212;
constexpr int kNoDiskPrompt = 160;
constexpr int kReadyTries = 20;

std::uint64_t PhysicalMemory() {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    return ::GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

// Makes the system read the medium again and gives the free bytes of the
// disk now in the drive; 0 without a disk or when the query fails.
std::uint64_t LookAtDrive(Praxon::Drive& drive) {
    drive.forceMediaChange();
    timeseam::Sleep(1000);
    if (!drive.hasDisk()) return 0;
    for (int i = 0; i < kReadyTries && !drive.testUnitReady(); ++i) timeseam::Sleep(1000);
    ULARGE_INTEGER available = {};
    if (!::GetDiskFreeSpaceExW(drive.getDrvRootPath().c_str(), &available, nullptr, nullptr)) return 0;
    return available.QuadPart;
}

// A declined question ends the exchange; "Disable" also ends the program.
DWORD Declined() {
    CloseIfDisabled();
    return ERROR_OPERATION_ABORTED;
}

DWORD ExchangeMakerDisk(std::uint64_t fileSize, std::uint64_t bytesCopied, const std::wstring& dates) {
    const std::wstring destination = StoredDestination();
    if (destination.empty()) return 0;
    Praxon::Drive drive(destination[0]);
    const DWORD settle = SettleTime(PhysicalMemory(), bytesCopied, drive.getAdapter().getType());
    Trace(L"disk full: %lc: settles %lu ms before its eject", drive.letter(), settle);
    timeseam::Sleep(settle);
    drive.makeRemovable();
    timeseam::Sleep(1000);
    RestoreProtectionBeforeEject(drive);
    timeseam::Sleep(1000);
    drive.eject();

    if (AskNow(Question{kFullWithLinkPrompt, destination, 0, dates}) == IDCANCEL) return Declined();
    timeseam::Sleep(50);
    std::uint64_t free = LookAtDrive(drive);
    while (free < fileSize) {
        if (free == 0) {
            DWORD warn = 0;
            settings::ReadWarningStatus(warn);
            if (warn != 1 || AskNow(Question{kNoDiskPrompt, destination}) == IDCANCEL) return Declined();
        } else if (AskNow(Question{kFullWithLinkPrompt, destination, 0, dates}) == IDCANCEL) {
            return Declined();
        }
        free = LookAtDrive(drive);
    }
    const std::wstring identity = drive.getDisk().identity;
    if (identity.empty()) return ERROR_NOT_READY;  // gone again while it was looked at
    drive.makeNonRemovable();
    settings::WriteDiskID(identity);
    Trace(L"disk full: the new disk %ls in %lc: is the program's disk now", identity.c_str(), drive.letter());
    return 0;
}

DWORD AskForRoom(const std::wstring& destinationRoot, const std::wstring& dates) {
    const std::wstring root = VolumeRootOf(destinationRoot);
    const UINT type = ::GetDriveTypeW(root.c_str());
    const bool removable = type == DRIVE_REMOVABLE || type == DRIVE_CDROM;
    if (AskNow(Question{removable ? kFullRemovablePrompt : kFullFixedPrompt, destinationRoot, 0, dates}) == IDCANCEL)
        return Declined();
    // The user swaps the disk after answering.
    if (removable) timeseam::Sleep(5000);
    return 0;
}

}  // namespace

std::wstring StampDateText(std::uint64_t stamp) {
    SYSTEMTIME local = {};
    FILETIME utc = {static_cast<DWORD>(stamp), static_cast<DWORD>(stamp >> 32)}, localTime = {};
    if (stamp == 0 || !::FileTimeToLocalFileTime(&utc, &localTime) || !::FileTimeToSystemTime(&localTime, &local))
        ::GetLocalTime(&local);
    wchar_t text[128] = {};
    if (!::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, text, 128)) return {};
    return text;
}

DWORD CTVXDiskExchange::DiskFullExchange(std::uint64_t& diskStartStamp, std::uint64_t& newestCopiedStamp,
                                         std::uint64_t fileSize, const std::wstring& destinationRoot,
                                         std::uint64_t bytesCopied) {
    ModalWindowScope modal;
    if (!modal.Entered()) return 0;  // the copy tries the file again (a bounded number of times)
    Trace(L"disk full: %ls has no room for %llu bytes", destinationRoot.c_str(),
          static_cast<unsigned long long>(fileSize));
    const std::wstring dates = StampDateText(diskStartStamp) + L"|" + StampDateText(newestCopiedStamp);
    const DWORD result = IsNotTavrix(StoredDiskId()) ? AskForRoom(destinationRoot, dates)
                                                     : ExchangeMakerDisk(fileSize, bytesCopied, dates);
    return result == 0 ? MakeNewDiskWritable() : result;
}

}  // namespace tvx::media
