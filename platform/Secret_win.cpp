// The system headers need windows.h first.
// clang-format off
#include <windows.h>
#include <dpapi.h>
#include <wincrypt.h>
// clang-format on

#include <vector>

#include "platform/Secret.h"

namespace sentrel {

namespace {
const char kMark[] = "dpapi:";
constexpr std::size_t kMarkLen = sizeof kMark - 1;
}  // namespace

std::string ProtectSecret(const std::string& plain) {
    if (plain.empty()) return plain;
    DATA_BLOB in{static_cast<DWORD>(plain.size()),
                 reinterpret_cast<BYTE*>(const_cast<char*>(plain.data()))};
    DATA_BLOB out{};
    if (!CryptProtectData(&in, L"HalvexSentrel", nullptr, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN, &out))
        return plain;  // kept as before rather than lost
    DWORD n = 0;
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    std::string text;
    if (CryptBinaryToStringA(out.pbData, out.cbData, flags, nullptr, &n)) {
        std::vector<char> buf(n);
        if (CryptBinaryToStringA(out.pbData, out.cbData, flags, buf.data(), &n))
            text = kMark + std::string(buf.data(), n);
    }
    LocalFree(out.pbData);
    return text.empty() ? plain : text;
}

bool UnprotectSecret(const std::string& stored, std::string& plain) {
    if (stored.compare(0, kMarkLen, kMark) != 0) {
        plain = stored;  // written by an older version, or by hand
        return true;
    }
    const std::string b64 = stored.substr(kMarkLen);
    DWORD n = 0;
    if (!CryptStringToBinaryA(b64.c_str(), static_cast<DWORD>(b64.size()), CRYPT_STRING_BASE64,
                              nullptr, &n, nullptr, nullptr))
        return false;
    std::vector<BYTE> sealed(n);
    if (!CryptStringToBinaryA(b64.c_str(), static_cast<DWORD>(b64.size()), CRYPT_STRING_BASE64,
                              sealed.data(), &n, nullptr, nullptr))
        return false;
    DATA_BLOB in{n, sealed.data()};
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out))
        return false;
    plain.assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return true;
}

}  // namespace sentrel
