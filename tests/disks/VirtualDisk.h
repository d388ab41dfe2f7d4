// Virtual removable disks for tests that run inside Wine.
//
// A "disk" is a Unix folder holding two small files that Wine reads when it
// mounts the folder as a volume: `.windows-serial` (the volume serial as 8 hex
// digits) and `.windows-label` (the volume label). A drive letter becomes a
// removable drive with such a disk in it by asking Wine's mount manager to
// define the letter on the folder, type removable. Wine keeps a volume's
// serial and label cached until the letter is defined again, so every change
// here goes through the mount manager rather than through the `dosdevices`
// links alone; afterwards GetVolumeInformationW answers for the new disk at
// once.
//
// "No disk in the drive" is the letter defined as removable on a folder that
// does not exist (kNoDiskFolder). Wine then fails a query of the root with
// ERROR_PATH_NOT_FOUND where Windows gives ERROR_NOT_READY.
//
// Unix paths are absolute UTF-8 byte strings. Files are reached from the
// Windows side through Wine's Z: drive, which maps to the Unix root.
// Every function returns a Windows error code (ERROR_SUCCESS on success) and
// throws nothing.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tvx::testdisks {

// The folder an empty drive points at. It must never exist; RemoveDisk refuses
// to run when it does, because the drive would then show a disk.
inline constexpr std::string_view kNoDiskFolder = "/nonexistent/tvx-no-disk";

// Puts the disk in unixFolder into the drive `letter` (E, F, ...; C and Z are
// refused because the prefix needs them). The folder must exist.
DWORD InsertDisk(wchar_t letter, std::string_view unixFolder);

// Takes the current disk out and puts the one in unixFolder in, the way a user
// swaps disks: the drive is empty for a moment in between.
DWORD SwapDisk(wchar_t letter, std::string_view unixFolder);

// Leaves the drive `letter` removable and empty.
DWORD RemoveDisk(wchar_t letter);

// Creates unixPath (and missing parents) and writes its serial and label
// files, making it a disk that InsertDisk can use. An existing folder keeps
// its contents; only the two files are rewritten.
DWORD MakeDiskFolder(std::string_view unixPath, DWORD serial, std::wstring_view label);

// Deletes unixPath and everything below it. A missing folder is success.
DWORD DeleteDiskFolder(std::string_view unixPath);

// Mounts a tmpfs of `bytes` bytes on unixPath (created if missing), so that a
// disk can run full. Runs /bin/sh through Wine's Unix process launch, which
// needs root (or CAP_SYS_ADMIN) on the Unix side. On failure `message`, when
// given, receives what mount said.
DWORD MountTmpfsDisk(std::string_view unixPath, ULONGLONG bytes, std::string* message = nullptr);

// Makes a disk that MountTmpfsDisk mounted refuse every write (as a medium
// with its write-protect switch on does), or take writes again.
DWORD SetTmpfsReadOnly(std::string_view unixPath, bool readOnly, std::string* message = nullptr);

// Unmounts what MountTmpfsDisk mounted on unixPath (lazily when busy). A
// folder that is no mount point is success.
DWORD UnmountDisk(std::string_view unixPath, std::string* message = nullptr);

// "/tmp/a b" -> L"Z:\\tmp\\a b". Empty when the path is not absolute or not
// valid UTF-8.
std::wstring WindowsPathOf(std::string_view unixPath);

// UTF-8 bytes of a text (for Unix paths, files on the Unix side, and output).
std::string ToUtf8(std::wstring_view text);

}  // namespace tvx::testdisks
