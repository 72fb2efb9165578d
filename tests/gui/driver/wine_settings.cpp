#include "wine_settings.h"

#include <windows.h>

namespace gui {

namespace {
const wchar_t kValueName[] = L"Managed";
}

UnmanagedWindows::UnmanagedWindows(const std::wstring& exeName)
    : keyPath_(L"Software\\Wine\\AppDefaults\\" + exeName + L"\\X11 Driver")
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (RegQueryValueExW(key, kValueName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        const wchar_t no[] = L"N";
        added_ = RegSetValueExW(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(no), sizeof no) ==
                 ERROR_SUCCESS;
    }
    RegCloseKey(key);
}

UnmanagedWindows::~UnmanagedWindows()
{
    if (added_) {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, keyPath_.c_str(), kValueName);
    }
}

}  // namespace gui
