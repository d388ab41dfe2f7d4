#include "media/Praxon.h"

#include <winioctl.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "framework/Trace.h"
#include "media/ProtectionRecord.h"

namespace Praxon {
namespace {

using tvx::Trace;
using tvx::UniqueHandle;

// Handles that hold a medium locked in its drive, or a volume for exclusive
// use, by drive letter: the lock lasts as long as the handle is open.
struct HeldHandles {
    std::mutex lock;
    std::map<wchar_t, UniqueHandle> mediaLocks;
    std::map<wchar_t, UniqueHandle> volumeLocks;
};

HeldHandles& Held() {
    static HeldHandles held;
    return held;
}

std::wstring VolumePath(wchar_t letter) { return std::wstring(L"\\\\.\\") + letter + L":"; }

// Opens the volume for device control. Querying needs no access rights;
// locking and ejecting need read and write.
UniqueHandle OpenVolume(wchar_t letter, DWORD access) {
    return UniqueHandle(::CreateFileW(VolumePath(letter).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
}

bool Control(HANDLE device, DWORD code, void* in = nullptr, DWORD inBytes = 0, void* out = nullptr,
             DWORD outBytes = 0) {
    DWORD returned = 0;
    return ::DeviceIoControl(device, code, in, inBytes, out, outBytes, &returned, nullptr) != FALSE;
}

// The bus the volume's disk hangs on, and whether it seeks (a spinning disk).
struct BusInfo {
    STORAGE_BUS_TYPE bus = BusTypeUnknown;
    bool known = false;
    bool seekPenalty = true;
};

BusInfo QueryBus(wchar_t letter) {
    BusInfo info;
    const UniqueHandle volume = OpenVolume(letter, 0);
    if (!volume) return info;
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    alignas(8) BYTE buffer[1024] = {};
    if (Control(volume.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer, sizeof(buffer))) {
        info.bus = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer)->BusType;
        info.known = true;
    }
    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    DEVICE_SEEK_PENALTY_DESCRIPTOR seek = {};
    if (Control(volume.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), &seek, sizeof(seek)))
        info.seekPenalty = seek.IncursSeekPenalty != FALSE;
    return info;
}

// The system's read-only attribute of a volume. Setting it needs the volume
// opened for writing, which Windows grants only to administrators on most
// systems; mingw's headers lack the set request and its structure.
constexpr DWORD kSetGptAttributes = CTL_CODE(IOCTL_VOLUME_BASE, 13, METHOD_BUFFERED, FILE_ANY_ACCESS);
struct SetGptAttributesInformation {
    ULONGLONG attributes;
    BOOLEAN revertOnClose;
    BOOLEAN applyToAllConnectedVolumes;  // needed for MBR disks
    USHORT reserved1;
    ULONG reserved2;
};

bool VolumeReadOnlyAttribute(wchar_t letter) {
    const UniqueHandle volume = OpenVolume(letter, 0);
    VOLUME_GET_GPT_ATTRIBUTES_INFORMATION current = {};
    return volume && Control(volume.Get(), IOCTL_VOLUME_GET_GPT_ATTRIBUTES, nullptr, 0, &current, sizeof(current)) &&
           (current.GptAttributes & GPT_BASIC_DATA_ATTRIBUTE_READ_ONLY) != 0;
}

bool SetVolumeReadOnly(wchar_t letter, bool readOnly) {
    const UniqueHandle volume = OpenVolume(letter, GENERIC_READ | GENERIC_WRITE);
    VOLUME_GET_GPT_ATTRIBUTES_INFORMATION current = {};
    if (!volume || !Control(volume.Get(), IOCTL_VOLUME_GET_GPT_ATTRIBUTES, nullptr, 0, &current, sizeof(current)))
        return false;
    SetGptAttributesInformation wanted = {};
    wanted.attributes = readOnly ? current.GptAttributes | GPT_BASIC_DATA_ATTRIBUTE_READ_ONLY
                                 : current.GptAttributes & ~GPT_BASIC_DATA_ATTRIBUTE_READ_ONLY;
    wanted.applyToAllConnectedVolumes = TRUE;
    if (wanted.attributes == current.GptAttributes) return true;
    return Control(volume.Get(), kSetGptAttributes, &wanted, sizeof(wanted));
}

bool IsWriteRefusal(DWORD error) { return error == ERROR_WRITE_PROTECT || error == ERROR_ACCESS_DENIED; }

// Whether the medium refuses writes by itself: the volume says so, the disk
// says so, or (where neither answers, as on Wine's drives) an empty
// temporary file, deleted on close, cannot be made in the root. Access denied
// for a file is checked again with a folder, since a root may let a user make
// folders but not files.
bool RefusesWrites(wchar_t letter, DWORD volumeFlags) {
    if (volumeFlags & FILE_READ_ONLY_VOLUME) return true;
    if (const UniqueHandle volume = OpenVolume(letter, 0)) {
        if (!Control(volume.Get(), IOCTL_DISK_IS_WRITABLE) && ::GetLastError() == ERROR_WRITE_PROTECT) return true;
    }
    const std::wstring probe = std::wstring(1, letter) + L":\\~dt3probe.tmp";
    UniqueHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                    nullptr));
    if (file) return false;
    DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED) {
        if (::CreateDirectoryW(probe.c_str(), nullptr)) {
            ::RemoveDirectoryW(probe.c_str());
            return false;
        }
        error = ::GetLastError();
    }
    return IsWriteRefusal(error);
}

bool RootAnswers(wchar_t letter) {
    const std::wstring root = std::wstring(1, letter) + L":\\";
    ULARGE_INTEGER free = {};
    return ::GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES &&
           ::GetDiskFreeSpaceExW(root.c_str(), &free, nullptr, nullptr) != FALSE;
}

}  // namespace

std::wstring DiskIdentity(DWORD serial, std::uint64_t totalBytes) {
    wchar_t text[48] = {};
    std::swprintf(text, 48, L"%08lX-%llu", static_cast<unsigned long>(serial),
                  static_cast<unsigned long long>(totalBytes));
    return text;
}

UINT SubFamilyIconId(int subFamily) noexcept {
    switch (subFamily) {
        case kSubUsbFlash: return 119;
        case kSubPortableSsd: return 125;
        case kSubCartridge: return 122;
        case kSubCardReader: return 123;
        case kSubSdCard: return 120;
        case kSubCompactFlash: return 124;
        case kSubUsbHardDisk: return 121;
        case kSubRemovable:
        case 15: return 126;
        default: return 0;
    }
}

Drive::Drive(wchar_t letter) : m_letter(static_cast<wchar_t>(::towupper(letter))) {
    const std::wstring root = getDrvRootPath();
    m_type = ::GetDriveTypeW(root.c_str());
    if (m_type != DRIVE_REMOVABLE && m_type != DRIVE_FIXED) return;
    const BusInfo bus = QueryBus(m_letter);
    switch (bus.bus) {
        case BusTypeUsb: m_adapter = kAdapterUsb; break;
        case BusTypeSd:
        case BusTypeMmc:
        case BusType1394: m_adapter = kAdapterCardOr1394; break;
        case BusTypeAta:
        case BusTypeAtapi:
        case BusTypeSata: m_adapter = kAdapterAta; break;
        default: m_adapter = kAdapterOther; break;
    }
    const bool leavesThePc =
        bus.bus == BusTypeUsb || bus.bus == BusType1394 || bus.bus == BusTypeSd || bus.bus == BusTypeMmc;
    m_maker = m_type == DRIVE_REMOVABLE || leavesThePc;
    if (!m_maker) return;
    if (bus.bus == BusTypeSd || bus.bus == BusTypeMmc)
        m_subFamily = kSubSdCard;
    else if (bus.bus == BusTypeUsb && m_type == DRIVE_REMOVABLE)
        m_subFamily = kSubUsbFlash;
    else if (bus.bus == BusTypeUsb || bus.bus == BusType1394)
        m_subFamily = bus.seekPenalty ? kSubUsbHardDisk : kSubPortableSsd;
    else
        m_subFamily = kSubRemovable;
}

bool Drive::hasDisk() const { return RootAnswers(m_letter); }

Disk Drive::getDisk() const {
    Disk disk;
    if (!hasDisk()) return disk;
    const std::wstring root = getDrvRootPath();
    wchar_t label[MAX_PATH + 1] = {};
    DWORD serial = 0, flags = 0;
    if (!::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, nullptr, &flags, nullptr, 0))
        return disk;
    ULARGE_INTEGER available = {}, total = {}, free = {};
    if (!::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) return disk;
    disk.label = label;
    disk.identity = DiskIdentity(serial, total.QuadPart);
    disk.freeBytes = QWord(free.QuadPart);
    disk.totalBytes = QWord(total.QuadPart);
    disk.usedBytes = QWord(total.QuadPart - free.QuadPart);
    disk.readOnly = (flags & FILE_READ_ONLY_VOLUME) != 0;
    return disk;
}

bool Drive::isRemovable() const {
    HeldHandles& held = Held();
    std::lock_guard<std::mutex> hold(held.lock);
    return held.mediaLocks.find(m_letter) == held.mediaLocks.end();
}

bool Drive::makeNonRemovable(bool) {
    HeldHandles& held = Held();
    std::lock_guard<std::mutex> hold(held.lock);
    if (held.mediaLocks.count(m_letter)) return true;
    UniqueHandle volume = OpenVolume(m_letter, GENERIC_READ | GENERIC_WRITE);
    PREVENT_MEDIA_REMOVAL prevent = {TRUE};
    if (!volume || !Control(volume.Get(), IOCTL_STORAGE_MEDIA_REMOVAL, &prevent, sizeof(prevent))) {
        Trace(L"drive %lc: the medium cannot be locked (%lu)", m_letter, ::GetLastError());
        return false;
    }
    held.mediaLocks.emplace(m_letter, std::move(volume));
    return true;
}

bool Drive::makeRemovable(bool) {
    HeldHandles& held = Held();
    std::lock_guard<std::mutex> hold(held.lock);
    const auto found = held.mediaLocks.find(m_letter);
    if (found == held.mediaLocks.end()) return true;
    PREVENT_MEDIA_REMOVAL allow = {FALSE};
    const bool ok = Control(found->second.Get(), IOCTL_STORAGE_MEDIA_REMOVAL, &allow, sizeof(allow));
    held.mediaLocks.erase(found);  // closing the handle ends its lock in any case
    return ok;
}

bool Drive::osFormatLock() {
    HeldHandles& held = Held();
    std::lock_guard<std::mutex> hold(held.lock);
    if (held.volumeLocks.count(m_letter)) return true;
    UniqueHandle volume = OpenVolume(m_letter, GENERIC_READ | GENERIC_WRITE);
    if (!volume || !Control(volume.Get(), FSCTL_LOCK_VOLUME)) return false;
    held.volumeLocks.emplace(m_letter, std::move(volume));
    return true;
}

bool Drive::osFormatUnlock() {
    HeldHandles& held = Held();
    std::lock_guard<std::mutex> hold(held.lock);
    const auto found = held.volumeLocks.find(m_letter);
    if (found == held.volumeLocks.end()) return false;
    const bool ok = Control(found->second.Get(), FSCTL_UNLOCK_VOLUME);
    held.volumeLocks.erase(found);
    return ok;
}

bool Drive::eject() {
    makeRemovable();
    osFormatUnlock();
    UniqueHandle volume = OpenVolume(m_letter, GENERIC_READ | GENERIC_WRITE);
    if (!volume) return false;
    // What the system still holds for the disk is written first: the eject
    // does not rely on a wait alone.
    ::FlushFileBuffers(volume.Get());
    const bool locked = Control(volume.Get(), FSCTL_LOCK_VOLUME);
    Control(volume.Get(), FSCTL_DISMOUNT_VOLUME);
    PREVENT_MEDIA_REMOVAL allow = {FALSE};
    Control(volume.Get(), IOCTL_STORAGE_MEDIA_REMOVAL, &allow, sizeof(allow));
    const bool ejected = Control(volume.Get(), IOCTL_STORAGE_EJECT_MEDIA);
    if (!ejected) Trace(L"drive %lc: the medium cannot be ejected (%lu)", m_letter, ::GetLastError());
    if (locked) Control(volume.Get(), FSCTL_UNLOCK_VOLUME);
    return ejected;
}

bool Drive::forceMediaChange() {
    const UniqueHandle volume = OpenVolume(m_letter, GENERIC_READ);
    return volume && Control(volume.Get(), IOCTL_STORAGE_CHECK_VERIFY);
}

std::wstring Drive::getSubFamilyText() const {
    switch (m_subFamily) {
        case kSubUsbFlash: return L"USB flash drive";
        case kSubPortableSsd: return L"Portable SSD";
        case kSubCartridge: return L"Removable disk";
        case kSubCardReader: return L"Card reader";
        case kSubSdCard: return L"SD card";
        case kSubCompactFlash: return L"CompactFlash card";
        case kSubUsbHardDisk: return L"External hard disk";
        case kSubRemovable: return L"Removable drive";
        default: return {};
    }
}

std::wstring Drive::getLabelText() const {
    wchar_t label[MAX_PATH + 1] = {};
    if (hasDisk() && ::GetVolumeInformationW(getDrvRootPath().c_str(), label, MAX_PATH + 1, nullptr, nullptr,
                                             nullptr, nullptr, 0) &&
        label[0])
        return std::wstring(label) + L" (" + m_letter + L":)";
    return getSubFamilyText() + L" (" + m_letter + L":)";
}

HICON Drive::getIcon(int size) const {
    const UINT id = SubFamilyIconId(m_subFamily);
    if (!id) return nullptr;
    return static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

std::uint64_t Drive::getMaxRawCapacity() const {
    ULARGE_INTEGER available = {}, total = {};
    if (!hasDisk() || !::GetDiskFreeSpaceExW(getDrvRootPath().c_str(), &available, &total, nullptr)) return 0;
    return total.QuadPart;
}

int Drive::getProtectState() const {
    if (!hasDisk()) return kUnprotected;
    const std::wstring root = getDrvRootPath();
    if (const auto record = ReadRecord(root)) return static_cast<int>(record->state);
    DWORD flags = 0;
    ::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
    return RefusesWrites(m_letter, flags) ? kHardwareProtected : kUnprotected;
}

bool Drive::isVolumeReadOnly() const { return hasDisk() && VolumeReadOnlyAttribute(m_letter); }

DWORD Drive::setProtect(int state, const std::wstring& password) {
    if (!hasDisk()) return ERROR_NOT_READY;
    const std::wstring root = getDrvRootPath();
    const auto record = ReadRecord(root);
    if (state == kUnprotected) {
        if (!record) return 0;
        if (!PasswordMatches(*record, password)) {
            Trace(L"drive %lc: the protection stays (wrong password)", m_letter);
            return ERROR_INVALID_PASSWORD;
        }
        // The system's attribute first: the record cannot go while it holds.
        if (VolumeReadOnlyAttribute(m_letter)) SetVolumeReadOnly(m_letter, false);
        return RemoveRecord(root);
    }
    if (state < 1 || state > 7) return ERROR_INVALID_PARAMETER;
    // A protected disk keeps its password: protecting it again needs it.
    if (record && !PasswordMatches(*record, password)) return ERROR_INVALID_PASSWORD;
    const auto made = MakeRecord(static_cast<std::uint32_t>(state), password);
    if (!made) return ERROR_ENCRYPTION_FAILED;
    if (const DWORD error = WriteRecord(root, *made)) return error;
    if (!SetVolumeReadOnly(m_letter, true))
        Trace(L"drive %lc: the system refused to make the volume read-only (%lu); the record alone protects it",
              m_letter, ::GetLastError());
    return 0;
}

DriveArray::DriveArray(int, bool) {}

bool DriveArray::init(int) {
    m_drives.clear();
    const DWORD present = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(present & (1u << i))) continue;
        Drive drive(static_cast<wchar_t>(L'A' + i));
        if (drive.isTavrixDrive()) m_drives.push_back(drive);
    }
    return true;
}

}  // namespace Praxon
