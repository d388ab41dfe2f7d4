// The arithmetic of the destination disk: when it counts as becoming full,
// how long a full disk is left to settle before its eject, and how many
// disks a complete copy needs. Every size is 64-bit, so disks over 4 GiB
// give the right answers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

namespace tvx::media {

inline constexpr std::uint64_t kMiB = 1024ull * 1024ull;
// A drive of the program that does not tell its capacity counts as this big.
inline constexpr std::uint64_t kAssumedDiskBytes = 540 * kMiB;
// The used share at which the becoming-full warning shows.
inline constexpr std::uint64_t kFillingPercent = 75;
// A fixed or network destination warns only with at most this much left.
inline constexpr std::uint64_t kFillingMostFreeBytes = 500 * kMiB;

// Whole percent of the total that is used; empty when the total is under 100
// bytes (nothing can be said).
std::optional<std::uint64_t> UsedPercent(std::uint64_t totalBytes, std::uint64_t usedBytes) noexcept;

// A destination that is not a drive of the program: at least 75 % used and
// at most 500 MiB free in all.
bool FixedDestinationFilling(std::uint64_t totalBytes, std::uint64_t freeForCaller,
                             std::uint64_t totalFreeBytes) noexcept;

// A disk of the program: at least 75 % used. A capacity of 0 on a drive of
// the maker's family counts as kAssumedDiskBytes.
bool MakerDiskFilling(std::uint64_t capacityBytes, std::uint64_t usedBytes, int family) noexcept;

// The factor of a connection type in the settle time (Praxon::AdapterType).
DWORD AdapterFactor(int adapterType) noexcept;

// Milliseconds to wait before a full disk is ejected, so that the system can
// finish writing: more for more memory (a larger write cache) and more bytes
// copied, times the connection's factor; never less than 5 s.
DWORD SettleTime(std::uint64_t physicalMemoryBytes, std::uint64_t bytesCopied, int adapterType) noexcept;

// Disks a complete copy needs, every size in MiB: 1 when the room left on
// the disk in the drive is more than the total; with some room, 2 plus what
// does not fit divided by the size of one disk; with none, 1 plus the total
// divided by the size of one disk. A disk size of 0 divides to 0.
std::uint64_t DisksNeeded(std::uint64_t roomMiB, std::uint64_t totalMiB, std::uint64_t diskSizeMiB) noexcept;

}  // namespace tvx::media
