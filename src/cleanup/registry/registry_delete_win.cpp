#include "cleanup/registry/registry_delete.h"

#include <windows.h>

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

    LONG open(HKEY parent, const std::u16string &path, REGSAM access)
    {
        return RegOpenKeyExW(parent, wide(path), 0, access, &m_key);
    }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

} // namespace

std::uint32_t deleteRegistryName(const RegistryName &name)
{
    OpenKey opened;
    HKEY parent = rootKey(name.root);
    if (!name.parentPath.empty()) {
        // Deleting a value needs the right to set values on its key; deleting a subkey asks
        // for DELETE on the subkey itself, so the parent is only looked through.
        const REGSAM access = name.isKey ? KEY_ENUMERATE_SUB_KEYS : KEY_SET_VALUE;
        if (const LONG error = opened.open(parent, name.parentPath, access); error != ERROR_SUCCESS)
            return static_cast<std::uint32_t>(error);
        parent = opened.get();
    }
    const LONG error = name.isKey ? RegDeleteKeyW(parent, wide(name.name))
                                  : RegDeleteValueW(parent, wide(name.name));
    return static_cast<std::uint32_t>(error);
}

std::uint32_t deleteRegistryEntry(std::u16string_view entry)
{
    const ParseResult parsed = parseRegistryName(entry);
    if (!parsed.ok())
        return parseErrorCode(parsed.error);
    return deleteRegistryName(parsed.name);
}

} // namespace cleanup::registry
