// make-reglink.exe LINK TARGET: makes the key LINK a registry symbolic link to the existing
// key TARGET, both written "HKCU\..." or "HKLM\...". `reg` can't make links, and the tests
// need them to show that a deletion takes the link, never its target. Exit code 0 on success.

#include <cstring>
#include <cwchar>
#include <string>

#include <windows.h>

namespace {

HKEY split(const wchar_t *path, std::wstring &rest)
{
    const std::wstring text(path);
    const std::size_t slash = text.find(L'\\');
    if (slash == std::wstring::npos)
        return nullptr;
    rest = text.substr(slash + 1);
    const std::wstring root = text.substr(0, slash);
    return root == L"HKCU" ? HKEY_CURRENT_USER : root == L"HKLM" ? HKEY_LOCAL_MACHINE : nullptr;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3)
        return 2;
    std::wstring linkPath;
    std::wstring targetPath;
    const HKEY linkRoot = split(argv[1], linkPath);
    const HKEY targetRoot = split(argv[2], targetPath);
    HKEY target = nullptr;
    if (!linkRoot || !targetRoot || RegOpenKeyExW(targetRoot, targetPath.c_str(), 0, KEY_READ, &target) != 0)
        return 3;

    // A link's value is the target's full native name, "\REGISTRY\USER\<sid>\...".
    using QueryKey = LONG(WINAPI *)(HANDLE, int, void *, ULONG, ULONG *);
    const auto queryKey = reinterpret_cast<QueryKey>(
            reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    alignas(ULONG) char buffer[4096];
    ULONG size = 0;
    const bool named = queryKey && queryKey(target, 3 /* KeyNameInformation */, buffer, sizeof buffer, &size) == 0;
    RegCloseKey(target);
    if (!named)
        return 4;
    ULONG nameBytes = 0;
    std::memcpy(&nameBytes, buffer, sizeof nameBytes);

    HKEY link = nullptr;
    if (RegCreateKeyExW(linkRoot, linkPath.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS, nullptr,
                        &link, nullptr)
        != 0)
        return 5;
    const LONG set = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                                    reinterpret_cast<const BYTE *>(buffer + sizeof nameBytes), nameBytes);
    RegCloseKey(link);
    return set == 0 ? 0 : 6;
}
