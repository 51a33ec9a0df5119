// The registry-name parser, fed the input as UTF-16. A name it accepts, written out again
// (the shortest root spelling, so it never grows), parses to the same thing.

#include "fuzz_support.h"
#include "cleanup/registry/registry_name.h"

#include <cstdint>
#include <cstring>

using namespace cleanup::registry;

namespace {

std::u16string rootName(Root root)
{
    switch (root) {
    case Root::CurrentUser:
        return u"HKCU";
    case Root::LocalMachine:
        return u"HKLM";
    case Root::ClassesRoot:
        return u"HKCR";
    case Root::Users:
        return u"HKEY_USERS";
    case Root::CurrentConfig:
        return u"HKEY_CURRENT_CONFIG";
    }
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::u16string entry(size / 2, u'\0');
    std::memcpy(entry.data(), data, size / 2 * 2);

    const ParseResult result = parseRegistryName(entry);
    FUZZ_CHECK((parseErrorCode(result.error) == 0) == result.ok());
    if (!result.ok())
        return 0;
    const RegistryName &name = result.name;
    FUZZ_CHECK(!name.name.empty());
    FUZZ_CHECK(name.name.find(u'\\') == std::u16string::npos);

    std::u16string written = rootName(name.root) + u'\\';
    if (!name.parentPath.empty())
        written += name.parentPath + u'\\';
    written += name.name;
    if (name.isKey)
        written += u'\\';
    const ParseResult again = parseRegistryName(written);
    FUZZ_CHECK(again.ok() && again.name == name);
    return 0;
}
