#include "media/DiskRules.h"

#include "media/Praxon.h"

namespace tvx::media {

std::optional<std::uint64_t> UsedPercent(std::uint64_t totalBytes, std::uint64_t usedBytes) noexcept {
    const std::uint64_t onePercent = totalBytes / 100;
    if (onePercent == 0) return std::nullopt;
    return usedBytes / onePercent;
}

bool FixedDestinationFilling(std::uint64_t totalBytes, std::uint64_t freeForCaller,
                             std::uint64_t totalFreeBytes) noexcept {
    const std::uint64_t used = totalBytes > freeForCaller ? totalBytes - freeForCaller : 0;
    const auto percent = UsedPercent(totalBytes, used);
    return percent && *percent >= kFillingPercent && totalFreeBytes <= kFillingMostFreeBytes;
}

bool MakerDiskFilling(std::uint64_t capacityBytes, std::uint64_t usedBytes, int family) noexcept {
    if (capacityBytes == 0 && family == Praxon::kMakerFamily) capacityBytes = kAssumedDiskBytes;
    const auto percent = UsedPercent(capacityBytes, usedBytes);
    return percent && *percent >= kFillingPercent;
}

DWORD AdapterFactor(int adapterType) noexcept {
    switch (adapterType) {
        case 1:
        case 5: return 75;
        case Praxon::kAdapterAta: return 5;
        case Praxon::kAdapterOther:
        case Praxon::kAdapterUsb:
        case Praxon::kAdapterCardOr1394: return 1;
        default: return 0;
    }
}

DWORD SettleTime(std::uint64_t physicalMemoryBytes, std::uint64_t bytesCopied, int adapterType) noexcept {
    constexpr std::uint64_t kLargeMemory = 128 * kMiB, kSmallMemory = 64 * kMiB;
    constexpr std::uint64_t kMuchCopied = 200 * kMiB, kSomeCopied = 100 * kMiB;
    DWORD table = 0;
    if (physicalMemoryBytes >= kLargeMemory)
        table = bytesCopied >= kMuchCopied ? 5000 : bytesCopied >= kSomeCopied ? 4000 : 0;
    else if (physicalMemoryBytes >= kSmallMemory)
        table = bytesCopied >= kMuchCopied ? 2500 : bytesCopied >= kSomeCopied ? 1250 : 0;
    const DWORD product = table * AdapterFactor(adapterType);
    return product == 0 ? 5000 : product;
}

std::uint64_t DisksNeeded(std::uint64_t roomMiB, std::uint64_t totalMiB, std::uint64_t diskSizeMiB) noexcept {
    if (roomMiB > totalMiB) return 1;
    if (roomMiB != 0) return 2 + (diskSizeMiB ? (totalMiB - roomMiB) / diskSizeMiB : 0);
    return 1 + (diskSizeMiB ? totalMiB / diskSizeMiB : 0);
}

}  // namespace tvx::media
