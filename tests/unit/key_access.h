// Makes a registry key unwritable (or unreadable) for everyone, as a policy or security software
// would, or writable again. Used by the tests of korvane's registry write test, of the service list,
// and by the regdeny tool of the end-to-end tests.
#pragma once

#include <windows.h>
#include <aclapi.h>

// Gives the open key (opened with WRITE_DAC) a DACL by which everyone may do everything but the
// denied rights (none: everything). False when the key's security cannot be set.
inline bool SetKeyDeniedRights(HKEY key, DWORD denied) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    EXPLICIT_ACCESSA rules[2] = {};
    rules[0].grfAccessPermissions = denied;
    rules[0].grfAccessMode = DENY_ACCESS;
    rules[1].grfAccessPermissions = KEY_ALL_ACCESS;
    rules[1].grfAccessMode = GRANT_ACCESS;
    for (EXPLICIT_ACCESSA &rule : rules) {
        rule.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        rule.Trustee.ptstrName = static_cast<LPSTR>(everyone);
    }
    PACL acl = nullptr;
    SetEntriesInAclA(denied ? 2 : 1, denied ? rules : rules + 1, nullptr, &acl);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    LONG result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
    LocalFree(acl);
    FreeSid(everyone);
    return result == ERROR_SUCCESS;
}

// deny: everyone may read the key but neither set values nor create subkeys (the key is created
// when missing); otherwise everyone may do everything. False when the key's security cannot be set.
inline bool SetKeyWritable(HKEY root, const char *path, bool writable) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, READ_CONTROL | WRITE_DAC, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool set = SetKeyDeniedRights(key, writable ? 0 : KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
    RegCloseKey(key);
    return set;
}
