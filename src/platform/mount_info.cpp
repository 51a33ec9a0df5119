#include "platform/mount_info.h"

#include <algorithm>

namespace platform {

namespace {

// The kernel writes blank, tab, newline and backslash as \ooo in octal.
std::string unescapeField(std::string_view field)
{
    std::string bytes;
    bytes.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], d = field[i + 3];
            const auto octal = [](char x) { return x >= '0' && x <= '7'; };
            if (octal(a) && octal(b) && octal(d)) {
                bytes += char(((a - '0') << 6) | ((b - '0') << 3) | (d - '0'));
                i += 3;
                continue;
            }
        }
        bytes += c;
    }
    return bytes;
}

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ') {
            if (i > start)
                fields.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

} // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text)
{
    std::vector<MountEntry> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::vector<std::string_view> fields = splitFields(text.substr(start, end - start));
        start = end + 1;

        // id parent MAJ:MIN root mountpoint options [optional...] - fstype source superoptions
        std::size_t separator = 0;
        for (std::size_t i = 6; i < fields.size(); ++i) {
            if (fields[i] == "-") {
                separator = i;
                break;
            }
        }
        if (separator == 0 || separator + 2 >= fields.size())
            continue;
        MountEntry entry;
        if (const std::string_view id = fields[0];
            id.size() <= 19 && std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            for (const char c : id)
                entry.id = entry.id * 10 + std::uint64_t(c - '0');
        }
        entry.device = fields[2];
        entry.root = unescapeField(fields[3]);
        entry.mountPoint = unescapeField(fields[4]);
        entry.mountOptions = fields[5];
        entry.fsType = unescapeField(fields[separator + 1]);
        entry.source = unescapeField(fields[separator + 2]);
        if (separator + 3 < fields.size())
            entry.superOptions = fields[separator + 3];
        entries.push_back(std::move(entry));
    }
    return entries;
}

const MountEntry *findMount(const std::vector<MountEntry> &table, std::uint64_t device)
{
    const std::string wanted = deviceNumberText(device);
    const auto found =
        std::find_if(table.begin(), table.end(), [&](const MountEntry &m) { return m.device == wanted; });
    return found == table.end() ? nullptr : &*found;
}

const MountEntry *findMountById(const std::vector<MountEntry> &table, std::uint64_t id)
{
    if (id == 0)
        return nullptr;
    const auto found = std::find_if(table.begin(), table.end(), [&](const MountEntry &m) { return m.id == id; });
    return found == table.end() ? nullptr : &*found;
}

} // namespace platform
