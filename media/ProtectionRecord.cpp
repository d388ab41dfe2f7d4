#include "media/ProtectionRecord.h"

#include <bcrypt.h>

#include <cstring>

#include "framework/Handle.h"

namespace Praxon {
namespace {

constexpr char kMagic[8] = {'D', 'T', '3', 'P', 'R', 'O', 'T', 1};
static_assert(sizeof(kMagic) + 4 + 4 + 16 + 32 == kRecordBytes, "the record's fields fill its 64 bytes");

void PutU32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return value;
}

// The password as UTF-8 bytes, wiped when it goes.
class PasswordBytes {
public:
    explicit PasswordBytes(const std::wstring& password) {
        if (password.empty()) return;
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, password.data(), static_cast<int>(password.size()), nullptr,
                                            0, nullptr, nullptr);
        if (n <= 0) return;
        m_bytes.resize(static_cast<std::size_t>(n));
        ::WideCharToMultiByte(CP_UTF8, 0, password.data(), static_cast<int>(password.size()),
                              reinterpret_cast<char*>(m_bytes.data()), n, nullptr, nullptr);
    }
    ~PasswordBytes() { ::SecureZeroMemory(m_bytes.data(), m_bytes.size()); }
    PasswordBytes(const PasswordBytes&) = delete;
    PasswordBytes& operator=(const PasswordBytes&) = delete;
    PUCHAR data() { return m_bytes.empty() ? nullptr : m_bytes.data(); }
    ULONG size() const { return static_cast<ULONG>(m_bytes.size()); }

private:
    std::vector<UCHAR> m_bytes;
};

bool DeriveKey(const std::wstring& password, const ProtectionRecord& record, std::array<std::uint8_t, 32>& key) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG) != 0)
        return false;
    PasswordBytes bytes(password);
    std::array<std::uint8_t, 16> salt = record.salt;
    const NTSTATUS status = ::BCryptDeriveKeyPBKDF2(algorithm, bytes.data(), bytes.size(), salt.data(),
                                                    static_cast<ULONG>(salt.size()), record.iterations, key.data(),
                                                    static_cast<ULONG>(key.size()), 0);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    return status == 0;
}

std::wstring RecordPath(const std::wstring& root) {
    std::wstring path = root;
    if (!path.empty() && path.back() != L'\\') path.push_back(L'\\');
    return path + kProtectionRecordName;
}

}  // namespace

std::vector<std::uint8_t> EncodeRecord(const ProtectionRecord& record) {
    std::vector<std::uint8_t> bytes(kRecordBytes);
    std::memcpy(bytes.data(), kMagic, sizeof(kMagic));
    PutU32(&bytes[8], record.state);
    PutU32(&bytes[12], record.iterations);
    std::memcpy(&bytes[16], record.salt.data(), record.salt.size());
    std::memcpy(&bytes[32], record.key.data(), record.key.size());
    return bytes;
}

std::optional<ProtectionRecord> DecodeRecord(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != kRecordBytes || std::memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0) return std::nullopt;
    ProtectionRecord record;
    record.state = GetU32(&bytes[8]);
    record.iterations = GetU32(&bytes[12]);
    if (record.state < 1 || record.state > 7 || record.iterations < 1 || record.iterations > kMostIterations)
        return std::nullopt;
    std::memcpy(record.salt.data(), &bytes[16], record.salt.size());
    std::memcpy(record.key.data(), &bytes[32], record.key.size());
    return record;
}

std::optional<ProtectionRecord> MakeRecord(std::uint32_t state, const std::wstring& password) {
    ProtectionRecord record;
    record.state = state;
    if (::BCryptGenRandom(nullptr, record.salt.data(), static_cast<ULONG>(record.salt.size()),
                          BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0 ||
        !DeriveKey(password, record, record.key))
        return std::nullopt;
    return record;
}

bool PasswordMatches(const ProtectionRecord& record, const std::wstring& password) {
    std::array<std::uint8_t, 32> key{};
    if (!DeriveKey(password, record, key)) return false;
    std::uint8_t difference = 0;
    for (std::size_t i = 0; i < key.size(); ++i) difference |= static_cast<std::uint8_t>(key[i] ^ record.key[i]);
    return difference == 0;
}

std::optional<ProtectionRecord> ReadRecord(const std::wstring& root) {
    const tvx::UniqueHandle file(::CreateFileW(RecordPath(root).c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    if (!file) return std::nullopt;
    // One byte more than a record, so that a longer file is seen as damaged.
    std::vector<std::uint8_t> bytes(kRecordBytes + 1);
    DWORD read = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return std::nullopt;
    bytes.resize(read);
    return DecodeRecord(bytes);
}

DWORD WriteRecord(const std::wstring& root, const ProtectionRecord& record) {
    const std::wstring path = RecordPath(root), temporary = path + L".new";
    const std::vector<std::uint8_t> bytes = EncodeRecord(record);
    {
        const tvx::UniqueHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, nullptr));
        if (!file) return ::GetLastError();
        DWORD written = 0;
        if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size() || !::FlushFileBuffers(file.Get())) {
            const DWORD error = ::GetLastError();
            ::DeleteFileW(temporary.c_str());
            return error ? error : ERROR_WRITE_FAULT;
        }
    }
    if (!::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(temporary.c_str());
        return error;
    }
    return 0;
}

DWORD RemoveRecord(const std::wstring& root) {
    const std::wstring path = RecordPath(root);
    if (::DeleteFileW(path.c_str())) return 0;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

}  // namespace Praxon
