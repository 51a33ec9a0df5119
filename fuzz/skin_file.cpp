// The skin file parser and the KDE colour-scheme import, fed any bytes. A skin that parses,
// written out again, parses to the same colours (as 8-bit channels: "#rrrgggbbb" is read at
// 12 bits but written at 8) and the same style sheet.

#include "fuzz_support.h"
#include "skins/kde_scheme.h"
#include "skins/skin_file.h"

#include <algorithm>
#include <cstdint>

namespace {

bool sameColours(const skins::RoleColours &a, const skins::RoleColours &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto &x, const auto &y) {
        return x.first == y.first && x.second.rgba() == y.second.rgba();
    });
}

void checkRewrite(const skins::Skin &skin)
{
    const skins::SkinLoad again = skins::parseSkin(skins::skinText(skin));
    if (skin.isEmpty())
        return;
    FUZZ_CHECK(again.status == skins::SkinStatus::Ok);
    for (std::size_t group = 0; group < skin.colours.size(); ++group)
        FUZZ_CHECK(sameColours(again.skin.colours[group], skin.colours[group]));
    FUZZ_CHECK(again.skin.styleSheet == skin.styleSheet);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const skins::SkinLoad load = skins::parseSkin(bytes);
    if (load.status == skins::SkinStatus::Ok) {
        FUZZ_CHECK(!load.skin.isEmpty());
        checkRewrite(load.skin);
    }

    if (const std::optional<skins::Skin> imported = skins::skinFromKdeScheme(bytes, QStringLiteral("导入")))
        checkRewrite(*imported);
    return 0;
}
