#include "ui/SettingsRules.h"

#include <cwctype>

#include "settings/Settings.h"

namespace tvx::ui {
namespace {

constexpr DWORD kDefaultLimit = 5;

DWORD Clamp(const std::wstring& text, DWORD most) {
    DWORD value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') break;
        value = value * 10 + static_cast<DWORD>(c - L'0');
        if (value >= most) return most;
    }
    return value == 0 ? 1 : value;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The path in lower case with one trailing backslash, for prefix tests.
std::wstring AsFolder(const std::wstring& path) {
    std::wstring folder = Lower(path);
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder + L'\\';
}

bool Below(const std::wstring& inner, const std::wstring& outer) {
    const std::wstring a = AsFolder(inner), b = AsFolder(outer);
    return a.compare(0, b.size(), b) == 0;
}

}  // namespace

DWORD ClampRevisionLimit(const std::wstring& text) { return Clamp(text, 99); }
DWORD ClampInterval(const std::wstring& text) { return Clamp(text, 999); }

DWORD RevisionsValue(RevisionChoice choice, DWORD limit) {
    switch (choice) {
        case RevisionChoice::kNone: return settings::kRevisionsNone;
        case RevisionChoice::kUnlimited: return settings::kRevisionsUnlimited;
        case RevisionChoice::kLimited: return limit < 1 ? 1 : limit > 99 ? 99 : limit;
    }
    return settings::kRevisionsNone;
}

RevisionChoice RevisionChoiceOf(DWORD stored) {
    if (stored == settings::kRevisionsNone) return RevisionChoice::kNone;
    if (stored == settings::kRevisionsUnlimited) return RevisionChoice::kUnlimited;
    return RevisionChoice::kLimited;
}

DWORD RevisionLimitOf(DWORD stored) {
    return RevisionChoiceOf(stored) == RevisionChoice::kLimited ? stored : kDefaultLimit;
}

DWORD DayBitsAfterClick(DWORD bits, int day, bool checked) {
    const DWORD bit = 1u << day;
    return checked ? bits | bit : bits ^ bit;
}

std::wstring DestinationRoot(const std::wstring& destination) {
    if (destination.size() == 2) return destination + L'\\';
    return destination.substr(0, 3);
}

std::wstring ShareOf(const std::wstring& uncPath) {
    if (uncPath.rfind(L"\\\\", 0) != 0) return {};
    std::size_t end = uncPath.find(L'\\', 2);
    if (end != std::wstring::npos) end = uncPath.find(L'\\', end + 1);
    return Lower(uncPath.substr(0, end));
}

SourceConflict CheckSource(const std::wstring& source, const std::wstring& destination,
                           const std::vector<std::wstring>& destinationPaths, const std::wstring& sourceVolume,
                           const std::wstring& destinationVolume) {
    if (source.empty() || destination.empty()) return SourceConflict::kNoConflict;
    const std::wstring share = ShareOf(destination);
    if (share.empty() ? std::towupper(source[0]) == std::towupper(destination[0]) && source.size() > 1 &&
                            source[1] == L':'
                      : ShareOf(source) == share)
        return SourceConflict::kSameDrive;
    if (!sourceVolume.empty() && Lower(sourceVolume) == Lower(destinationVolume)) return SourceConflict::kSameDrive;
    for (const std::wstring& path : destinationPaths) {
        if (Below(source, path)) return SourceConflict::kInsideBackup;
        if (Below(path, source)) return SourceConflict::kHoldsBackup;
    }
    return SourceConflict::kNoConflict;
}

SourceConflict CheckSourceOnThisSystem(const std::wstring& source, const std::wstring& destination) {
    const auto volumeOf = [](const std::wstring& path) {
        wchar_t mount[MAX_PATH + 1] = {}, volume[MAX_PATH + 1] = {};
        if (!::GetVolumePathNameW(path.c_str(), mount, MAX_PATH + 1) ||
            !::GetVolumeNameForVolumeMountPointW(mount, volume, MAX_PATH + 1))
            return std::wstring();
        return std::wstring(volume);
    };
    const std::wstring destinationVolume = volumeOf(DestinationRoot(destination));
    std::vector<std::wstring> paths{DestinationRoot(destination)};
    if (!destinationVolume.empty()) {
        // Every folder the destination's volume is mounted on: a source that
        // holds one of them would copy the backup into itself.
        std::vector<wchar_t> names(4096, L'\0');
        DWORD length = 0;
        if (::GetVolumePathNamesForVolumeNameW(destinationVolume.c_str(), names.data(),
                                               static_cast<DWORD>(names.size()), &length))
            for (const wchar_t* name = names.data(); *name; name += wcslen(name) + 1) paths.emplace_back(name);
    }
    return CheckSource(source, destination, paths, volumeOf(source), destinationVolume);
}

}  // namespace tvx::ui
