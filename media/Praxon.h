// The drive library: what the program asks of a drive that can leave the PC
// (a USB stick, an SD card, a USB or FireWire hard disk), written over the
// Windows API under the names the rest of the program uses.
//
// Which drives are the program's ("the maker's drives"): drives of type
// DRIVE_REMOVABLE, and fixed drives attached by USB, IEEE 1394, SD or MMC
// (the bus type from IOCTL_STORAGE_QUERY_PROPERTY). CD drives never are.
//
// The disk identity is read from the volume, never written onto it: the
// volume serial number and the volume's total size in bytes, as
// "XXXXXXXX-SIZE" (8 hex digits, a dash, the size in decimal). It is the
// same under any drive letter, and a reformatted disk (a new serial) is a
// new disk. An empty drive has no identity (an empty text).
//
// A drive object is made from a drive letter for each use and destroyed
// right after. What must outlive it is kept by the library per drive letter:
// the lock of the medium in the drive (Windows ties it to an open handle)
// and the exclusive use of the volume.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Handle.h"

namespace Praxon {

// The family of every drive of the maker; other drives are family 0.
inline constexpr int kMakerFamily = 0x8000;

// Sub-families (each has its own icon): what kind of medium the drive holds.
enum SubFamily : int {
    kSubUnknown = 0,
    kSubUsbFlash = 1,       // a USB stick
    kSubPortableSsd = 2,    // a USB drive without a seek penalty
    kSubCartridge = 3,      // a removable disk cartridge
    kSubCardReader = 4,     // a reader of memory cards with its medium out
    kSubSdCard = 5,         // an SD or MMC card
    kSubCompactFlash = 6,   // a CompactFlash card
    kSubUsbHardDisk = 7,    // a USB or FireWire hard disk
    kSubRemovable = 11,     // any other removable drive
};

// Connection types. The settle time before an eject multiplies by a factor
// of the type: 1 for types 0, 2 and 3, 5 for type 4. USB, SD and FireWire
// disks flush their writes when asked (the eject flushes first), so they
// need no long wait.
enum AdapterType : int {
    kAdapterOther = 0,
    kAdapterUsb = 2,
    kAdapterCardOr1394 = 3,  // SD, MMC, IEEE 1394
    kAdapterAta = 4,         // ATA, ATAPI, SATA
};

// Protection states a disk reports. States 1 to 7 come from the disk's
// protection record (media/ProtectionRecord.h); the library itself writes 1
// (no password) and 2 (a password). A disk that refuses writes on its own
// (a read-only volume, the medium's write-protect switch) reports
// kHardwareProtected: nothing the program can lift.
inline constexpr int kUnprotected = 0;
inline constexpr int kProtectedNoPassword = 1;
inline constexpr int kProtectedWithPassword = 2;
inline constexpr int kHardwareProtected = 8;

// A 64-bit byte count that prints itself in decimal.
class QWord {
public:
    QWord() = default;
    explicit QWord(std::uint64_t value) noexcept : m_value(value) {}
    std::uint64_t value() const noexcept { return m_value; }
    std::wstring toDecDigits() const { return std::to_wstring(m_value); }

private:
    std::uint64_t m_value = 0;
};

// What the drive's medium says of itself, read when the object is made.
struct Disk {
    std::wstring identity;  // empty: no disk, or it cannot be read
    std::wstring label;
    QWord freeBytes, usedBytes, totalBytes;
    bool readOnly = false;  // the volume (or the medium's switch) refuses writes
};

class Adapter {
public:
    explicit Adapter(int type) noexcept : m_type(type) {}
    int getType() const noexcept { return m_type; }

private:
    int m_type;
};

// The identity text for a serial number and a total size.
std::wstring DiskIdentity(DWORD serial, std::uint64_t totalBytes);

// The icon resource of a sub-family (119 to 126), or 0 for none.
UINT SubFamilyIconId(int subFamily) noexcept;

class Drive {
public:
    // From a drive letter or any path whose first character is one.
    explicit Drive(wchar_t letter);

    wchar_t letter() const noexcept { return m_letter; }
    std::wstring getDrvRootPath() const { return std::wstring(1, m_letter) + L":\\"; }

    // A medium is in the drive: its root answers (an empty removable drive's
    // volume query may still succeed).
    bool hasDisk() const;
    Disk getDisk() const;
    // The drive can be accessed now.
    bool testUnitReady() const { return hasDisk(); }

    // The medium is not locked in the drive by this program.
    bool isRemovable() const;
    // Lock and unlock the medium against ejection; false where the drive
    // does not support it (Wine's removable drives answer 50).
    bool makeNonRemovable(bool unused = false);
    bool makeRemovable(bool unused = false);
    // Exclusive use of the volume (no other program has a file open on it).
    bool osFormatLock();
    bool osFormatUnlock();
    // Flush, lock, dismount and eject the medium; for a drive that cannot
    // eject (a USB hard disk), the system is asked to let the device go.
    bool eject();
    // Makes the system read the medium again (after a swap).
    bool forceMediaChange();

    bool isTavrixDrive() const noexcept { return m_maker; }
    bool isTavrixCDDrive() const noexcept { return false; }
    int getFamily() const noexcept { return m_maker ? kMakerFamily : 0; }
    int getSubFamily() const noexcept { return m_subFamily; }
    std::wstring getSubFamilyText() const;
    Adapter getAdapter() const noexcept { return Adapter(m_adapter); }
    std::wstring getLabelText() const;
    // The drive's icon (sub-family icon from the program's resources) at the
    // size asked for; the caller destroys it. Null for no sub-family.
    HICON getIcon(int size) const;
    // The size of the medium (the volume's total), 0 without a disk.
    std::uint64_t getMaxRawCapacity() const;

    // The disk's protection state (see kUnprotected and the states after
    // it); 0 without a disk. Finding a write-protected medium may take a
    // write attempt of an empty temporary file that is deleted on close, so
    // ask only about the program's own disk.
    int getProtectState() const;
    bool isProtected() const { return getProtectState() != kUnprotected; }
    // State 0 lifts the protection when the password is the disk's; states
    // 1 to 7 protect the disk with the password (empty for none): the record
    // is written, then the volume is made read-only where Windows allows it.
    // A Windows error code: ERROR_INVALID_PASSWORD for a wrong password,
    // ERROR_NOT_READY without a disk. Success is judged by the caller reading
    // the state again.
    DWORD setProtect(int state, const std::wstring& password);
    // Whether the volume is read-only for every program (the system's
    // attribute held), not only for this one.
    bool isVolumeReadOnly() const;

private:
    wchar_t m_letter;
    UINT m_type = DRIVE_UNKNOWN;
    bool m_maker = false;
    int m_subFamily = kSubUnknown;
    int m_adapter = kAdapterOther;
};

// The maker's drives present now, in drive-letter order.
class DriveArray {
public:
    DriveArray(int family = 0xFF, bool unused = true);
    // Lists the drives; the mask is accepted for the callers' sake (every
    // maker's drive is listed).
    bool init(int mask = 0x80FF);
    std::size_t count() const noexcept { return m_drives.size(); }
    const Drive& operator[](std::size_t i) const { return m_drives[i]; }

private:
    std::vector<Drive> m_drives;
};

}  // namespace Praxon
