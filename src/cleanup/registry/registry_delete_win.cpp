#include "cleanup/registry/registry_delete.h"

#include <algorithm>
#include <cstring>

#include <windows.h>
#include <winternl.h>

namespace cleanup::registry {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the registry API takes UTF-16");

const wchar_t *wide(const std::u16string &text)
{
    return reinterpret_cast<const wchar_t *>(text.c_str());
}

HKEY rootKey(Root root)
{
    switch (root) {
    case Root::CurrentUser:
        return HKEY_CURRENT_USER;
    case Root::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case Root::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case Root::Users:
        return HKEY_USERS;
    case Root::CurrentConfig:
        break;
    }
    return HKEY_CURRENT_CONFIG;
}

class OpenKey
{
public:
    OpenKey() = default;
    ~OpenKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    OpenKey(const OpenKey &) = delete;
    OpenKey &operator=(const OpenKey &) = delete;

    LONG open(HKEY parent, const std::u16string &path, REGSAM access, DWORD options = 0)
    {
        return RegOpenKeyExW(parent, wide(path), options, access, &m_key);
    }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// The key that holds the entry's value or subkey: the root itself, or opened below it.
LONG openParent(const RegistryName &name, REGSAM access, OpenKey &opened, HKEY &parent)
{
    parent = rootKey(name.root);
    if (name.parentPath.empty())
        return ERROR_SUCCESS;
    const LONG error = opened.open(parent, name.parentPath, access);
    parent = opened.get();
    return error;
}

// The entry's own key, opened as itself even when it is a link: everything a key entry does
// stays with the key it names.
LONG openLeaf(const RegistryName &name, REGSAM access, OpenKey &parentKey, OpenKey &leaf)
{
    HKEY parent = nullptr;
    if (const LONG error = openParent(name, KEY_ENUMERATE_SUB_KEYS, parentKey, parent); error != ERROR_SUCCESS)
        return error;
    return leaf.open(parent, name.name, access, REG_OPTION_OPEN_LINK);
}

template <typename Function>
Function ntdllFunction(const char *name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

std::uint32_t dosError(NTSTATUS status)
{
    using ToDosError = ULONG(WINAPI *)(NTSTATUS);
    static const auto toDosError = ntdllFunction<ToDosError>("RtlNtStatusToDosError");
    return toDosError ? toDosError(status) : ERROR_GEN_FAILURE;
}

// RegDeleteKeyW opens the key it deletes without REG_OPTION_OPEN_LINK, which deletes a link's
// target and leaves the link. NtDeleteKey on a handle opened as the link deletes the link.
std::uint32_t deleteOpenKey(HKEY key)
{
    using DeleteKey = NTSTATUS(WINAPI *)(HANDLE);
    static const auto ntDeleteKey = ntdllFunction<DeleteKey>("NtDeleteKey");
    if (!ntDeleteKey)
        return ERROR_CALL_NOT_IMPLEMENTED;
    const NTSTATUS status = ntDeleteKey(key);
    return status == 0 ? ERROR_SUCCESS : dosError(status);
}

// The last part of the key's full name, as the registry stores it ("K" for an entry that
// says "k").
std::u16string storedName(HKEY key, const std::u16string &fallback)
{
    using QueryKey = NTSTATUS(WINAPI *)(HANDLE, int, void *, ULONG, ULONG *);
    static const auto ntQueryKey = ntdllFunction<QueryKey>("NtQueryKey");
    constexpr int keyNameInformation = 3;
    std::vector<char> buffer(4096);
    ULONG size = 0;
    if (!ntQueryKey || ntQueryKey(key, keyNameInformation, buffer.data(), ULONG(buffer.size()), &size) != 0)
        return fallback;
    ULONG bytes = 0;
    std::memcpy(&bytes, buffer.data(), sizeof bytes);
    const std::u16string full(reinterpret_cast<const char16_t *>(buffer.data() + sizeof bytes),
                              std::min<std::size_t>(bytes, buffer.size() - sizeof bytes) / 2);
    const std::size_t slash = full.rfind(u'\\');
    const std::u16string last = slash == std::u16string::npos ? full : full.substr(slash + 1);
    return last.size() == fallback.size() && CompareStringOrdinal(wide(last), int(last.size()), wide(fallback),
                                                                  int(fallback.size()), TRUE) == CSTR_EQUAL
            ? last
            : fallback;
}

// The value's data as stored, read again should it grow between the calls.
LONG readValue(HKEY key, const std::u16string &name, ExportedValue &value)
{
    DWORD type = 0;
    DWORD size = 0;
    LONG error = RegQueryValueExW(key, wide(name), nullptr, &type, nullptr, &size);
    while (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
        value.data.resize(size);
        error = RegQueryValueExW(key, wide(name), nullptr, &type, reinterpret_cast<BYTE *>(value.data.data()), &size);
        if (error == ERROR_SUCCESS) {
            value.data.resize(size);
            value.name = name;
            value.type = type;
            return ERROR_SUCCESS;
        }
    }
    return error;
}

// Every value name of the key, in the registry's order.
LONG valueNames(HKEY key, std::vector<std::u16string> &names)
{
    DWORD count = 0;
    DWORD longest = 0;
    if (const LONG error = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                            &longest, nullptr, nullptr, nullptr);
        error != ERROR_SUCCESS)
        return error;
    std::u16string name(std::max<DWORD>(longest + 1, 256), u'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = DWORD(name.size());
        const LONG error = RegEnumValueW(key, index, reinterpret_cast<wchar_t *>(name.data()), &length, nullptr,
                                         nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (error == ERROR_MORE_DATA) {
            // A longer name was added meanwhile: read this index again.
            name.resize(name.size() * 2);
            --index;
            continue;
        }
        if (error != ERROR_SUCCESS)
            return error;
        names.emplace_back(name.data(), length);
    }
}

// What makes a key a link: its target, stored as this value.
bool isLinkValue(const ExportedValue &value)
{
    const std::u16string_view linkValueName = u"SymbolicLinkValue";
    return value.type == REG_LINK
            && CompareStringOrdinal(wide(value.name), int(value.name.size()),
                                    reinterpret_cast<const wchar_t *>(linkValueName.data()),
                                    int(linkValueName.size()), TRUE)
            == CSTR_EQUAL;
}

std::uint32_t exportKey(const RegistryName &name, RegistryExport &out)
{
    OpenKey parent;
    OpenKey leaf;
    if (const LONG error = openLeaf(name, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, parent, leaf); error != ERROR_SUCCESS)
        return static_cast<std::uint32_t>(error);
    DWORD subkeys = 0;
    if (const LONG error = RegQueryInfoKeyW(leaf.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr);
        error != ERROR_SUCCESS)
        return static_cast<std::uint32_t>(error);
    // The deletion refuses such a key the same way.
    if (subkeys != 0)
        return ERROR_ACCESS_DENIED;
    std::vector<std::u16string> names;
    if (const LONG error = valueNames(leaf.get(), names); error != ERROR_SUCCESS)
        return static_cast<std::uint32_t>(error);
    out.keyName = storedName(leaf.get(), name.name);
    for (const std::u16string &valueName : names) {
        ExportedValue value;
        const LONG error = readValue(leaf.get(), valueName, value);
        // One deleted meanwhile isn't there to lose.
        if (error == ERROR_FILE_NOT_FOUND)
            continue;
        if (error != ERROR_SUCCESS)
            return static_cast<std::uint32_t>(error);
        // A link: a registry file would bring it back as a plain key holding this value.
        if (isLinkValue(value))
            return ERROR_NOT_SUPPORTED;
        out.values.push_back(std::move(value));
    }
    return ERROR_SUCCESS;
}

std::uint32_t exportValue(const RegistryName &name, RegistryExport &out)
{
    OpenKey opened;
    HKEY parent = nullptr;
    if (const LONG error = openParent(name, KEY_QUERY_VALUE, opened, parent); error != ERROR_SUCCESS)
        return static_cast<std::uint32_t>(error);
    // Most junk isn't there: that is told without going through the key's values.
    if (const LONG error = RegQueryValueExW(parent, wide(name.name), nullptr, nullptr, nullptr, nullptr);
        error != ERROR_SUCCESS)
        return static_cast<std::uint32_t>(error);
    // The name as stored, so a restore doesn't change its letter case.
    std::vector<std::u16string> names;
    if (const LONG error = valueNames(parent, names); error != ERROR_SUCCESS)
        return static_cast<std::uint32_t>(error);
    for (const std::u16string &stored : names) {
        if (CompareStringOrdinal(wide(stored), int(stored.size()), wide(name.name), int(name.name.size()), TRUE)
            != CSTR_EQUAL)
            continue;
        ExportedValue value;
        if (const LONG error = readValue(parent, stored, value); error != ERROR_SUCCESS)
            return static_cast<std::uint32_t>(error);
        out.values.push_back(std::move(value));
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

} // namespace

std::uint32_t deleteRegistryName(const RegistryName &name)
{
    if (name.isKey) {
        // Deleting a subkey asks for DELETE on the subkey itself, so the parent is only
        // looked through.
        OpenKey parent;
        OpenKey leaf;
        if (const LONG error = openLeaf(name, DELETE, parent, leaf); error != ERROR_SUCCESS)
            return static_cast<std::uint32_t>(error);
        return deleteOpenKey(leaf.get());
    }
    // Deleting a value needs the right to set values on its key.
    OpenKey opened;
    HKEY parent = nullptr;
    if (const LONG error = openParent(name, KEY_SET_VALUE, opened, parent); error != ERROR_SUCCESS)
        return static_cast<std::uint32_t>(error);
    return static_cast<std::uint32_t>(RegDeleteValueW(parent, wide(name.name)));
}

std::uint32_t deleteRegistryEntry(std::u16string_view entry)
{
    const ParseResult parsed = parseRegistryName(entry);
    if (!parsed.ok())
        return parseErrorCode(parsed.error);
    return deleteRegistryName(parsed.name);
}

std::uint32_t exportRegistryEntry(std::u16string_view entry, RegistryExport &out)
{
    out = {};
    const ParseResult parsed = parseRegistryName(entry);
    if (!parsed.ok())
        return parseErrorCode(parsed.error);
    return parsed.name.isKey ? exportKey(parsed.name, out) : exportValue(parsed.name, out);
}

std::uint32_t readKeyValues(std::u16string_view keyPath, std::vector<ExportedValue> &out)
{
    out.clear();
    // With a stand-in value name, the path parses into the root and the key to open.
    const ParseResult parsed = parseRegistryName(std::u16string(keyPath) + u"\\*");
    if (!parsed.ok())
        return parseErrorCode(parsed.error);
    OpenKey opened;
    HKEY key = nullptr;
    if (const LONG error = openParent(parsed.name, KEY_QUERY_VALUE, opened, key); error != ERROR_SUCCESS)
        return static_cast<std::uint32_t>(error);
    std::vector<std::u16string> names;
    if (const LONG error = valueNames(key, names); error != ERROR_SUCCESS)
        return static_cast<std::uint32_t>(error);
    for (const std::u16string &name : names) {
        ExportedValue value;
        const LONG error = readValue(key, name, value);
        if (error == ERROR_FILE_NOT_FOUND)
            continue;
        if (error != ERROR_SUCCESS)
            return static_cast<std::uint32_t>(error);
        out.push_back(std::move(value));
    }
    return ERROR_SUCCESS;
}

std::uint32_t deleteIfUnchanged(std::u16string_view entry, const RegistryExport &backedUp, RegistryExport &now)
{
    now = {};
    const ParseResult parsed = parseRegistryName(entry);
    if (!parsed.ok())
        return parseErrorCode(parsed.error);
    // Read as late as can be: the registry has no lock that would keep writers out until
    // the deletion.
    if (parsed.name.isKey || backedUp.values.size() != 1) {
        if (const std::uint32_t error = parsed.name.isKey ? exportKey(parsed.name, now)
                                                          : exportValue(parsed.name, now);
            error != 0)
            return error;
    } else {
        // A value under the name it was backed up with: no need to go through its key's
        // other values again, which costs as much as the rest of the deletion.
        OpenKey opened;
        HKEY parent = nullptr;
        if (const LONG error = openParent(parsed.name, KEY_QUERY_VALUE, opened, parent); error != ERROR_SUCCESS)
            return static_cast<std::uint32_t>(error);
        ExportedValue value;
        if (const LONG error = readValue(parent, backedUp.values.front().name, value); error != ERROR_SUCCESS)
            return static_cast<std::uint32_t>(error);
        now.values.push_back(std::move(value));
    }
    if (now != backedUp)
        return ERROR_RETRY;
    return deleteRegistryName(parsed.name);
}

} // namespace cleanup::registry
