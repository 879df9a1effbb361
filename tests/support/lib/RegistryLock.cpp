#include "support/RegistryLock.h"

#include <windows.h>

#include "platform/Text.h"

namespace testing_support {

RegistryLock::RegistryLock(const std::string& path) : path_(path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Utf8ToWide(path_).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
    locked_ = SetAccessList(true);
}

RegistryLock::~RegistryLock()
{
    if (locked_)
        SetAccessList(false);
}

bool RegistryLock::SetAccessList(bool empty)
{
    // The owner may always change the list, whatever it says.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToWide(path_).c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    ACL acl;
    InitializeAcl(&acl, sizeof acl, ACL_REVISION);
    // An empty list refuses everyone; no list at all lets everyone in.
    SetSecurityDescriptorDacl(&sd, TRUE, empty ? &acl : nullptr, FALSE);
    const bool ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

}  // namespace testing_support
