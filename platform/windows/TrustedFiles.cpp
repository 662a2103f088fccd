#include "platform/TrustedFiles.h"

#include <windows.h>

// After <windows.h>:
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include "platform/windows/WideText.h"

namespace platform {
namespace {

constexpr ACCESS_MASK kWriting = FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER |
                                 DELETE | GENERIC_WRITE | GENERIC_ALL;

// The groups every user of the machine is in.
bool IsEveryUser(PSID sid) {
    constexpr WELL_KNOWN_SID_TYPE kEveryUser[] = {WinWorldSid, WinAuthenticatedUserSid,
                                                  WinBuiltinUsersSid, WinInteractiveSid};
    for (WELL_KNOWN_SID_TYPE type : kEveryUser) {
        if (IsWellKnownSid(sid, type))
            return true;
    }
    return false;
}

}  // namespace

std::string SystemConfigFolder(const char*, const char* windowsFolder) {
    // CSIDL_COMMON_APPDATA is ProgramData; its known-folder GUID would pull
    // in libuuid, whose IIDs clash with oleacc's in the dialog's tests.
    wchar_t programData[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, programData) !=
        S_OK)
        return "";
    return Utf8Text(programData) + "\\" + windowsFolder;
}

std::string WhoElseMayWrite(const std::string& path) {
    const std::wstring wide = WideText(path.c_str());
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return "it cannot be looked at";
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return "it is a link, which others may point elsewhere";
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return "its permissions cannot be read";
    std::string who;
    if (dacl == nullptr) {
        who = "anyone may write it (it has no access list)";
    } else {
        for (DWORD i = 0; i < dacl->AceCount && who.empty(); ++i) {
            ACE_HEADER* header = nullptr;
            if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)) ||
                header->AceType != ACCESS_ALLOWED_ACE_TYPE)
                continue;
            auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
            if ((ace->Mask & kWriting) && IsEveryUser(&ace->SidStart))
                who = "every user of this computer may write it";
        }
    }
    LocalFree(descriptor);
    return who;
}

}  // namespace platform
