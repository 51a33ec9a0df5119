#include "cleanup/registry/helper_protocol.h"

namespace cleanup::registry {

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

bool needsEscape(unsigned char byte) { return byte < 0x20 || byte == 0x7F || byte == '%'; }

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

void appendEscaped(std::string &out, unsigned char byte)
{
    if (needsEscape(byte)) {
        out += '%';
        out += hexDigits[byte >> 4];
        out += hexDigits[byte & 0xF];
    } else {
        out += char(byte);
    }
}

// Strict UTF-8: no overlong forms, no encoded surrogates, nothing above U+10FFFF.
std::optional<std::u16string> fromUtf8(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        char32_t cp = 0;
        std::size_t extra = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            cp = lead & 0x1F;
            extra = 1;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            cp = lead & 0x0F;
            extra = 2;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            cp = lead & 0x07;
            extra = 3;
            minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (bytes.size() - i - 1 < extra)
            return std::nullopt;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
        i += extra + 1;
    }
    return out;
}

constexpr std::string_view exportPrefix = "EXPORT ";
constexpr std::string_view checkedPrefix = "CHECKED ";
constexpr std::string_view valuesPrefix = "VALUES ";
constexpr std::string_view keyPrefix = "KEY ";
constexpr std::string_view valuePrefix = "VALUE ";

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// Decimal digits only, no sign, within 32 bits.
std::optional<std::uint32_t> parseNumber(std::string_view digits)
{
    if (digits.empty() || digits.size() > 10)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (value > 0xFFFFFFFFu)
        return std::nullopt;
    return std::uint32_t(value);
}

} // namespace

std::optional<std::string> encodeRequest(std::u16string_view entry)
{
    std::string out;
    out.reserve(entry.size() * 2);
    for (std::size_t i = 0; i < entry.size(); ++i) {
        char32_t cp = entry[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 == entry.size() || entry[i + 1] < 0xDC00 || entry[i + 1] > 0xDFFF)
                return std::nullopt;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (entry[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return std::nullopt;
        }
        if (cp < 0x80) {
            appendEscaped(out, static_cast<unsigned char>(cp));
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::optional<std::u16string> decodeRequest(std::string_view line)
{
    std::string bytes;
    bytes.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7F)
            return std::nullopt;
        if (c != '%') {
            bytes += char(c);
            continue;
        }
        if (line.size() - i < 3)
            return std::nullopt;
        const int high = hexValue(line[i + 1]);
        const int low = hexValue(line[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += char(high * 16 + low);
        i += 2;
    }
    return fromUtf8(bytes);
}

std::optional<std::string> encodeExportRequest(std::u16string_view entry)
{
    std::optional<std::string> encoded = encodeRequest(entry);
    if (encoded)
        encoded->insert(0, exportPrefix);
    return encoded;
}

std::optional<std::string> encodeCheckedDeleteRequest(std::u16string_view entry)
{
    std::optional<std::string> encoded = encodeRequest(entry);
    if (encoded)
        encoded->insert(0, checkedPrefix);
    return encoded;
}

std::optional<std::string> encodeRequest(RequestKind kind, std::u16string_view entry)
{
    switch (kind) {
    case RequestKind::Export:
        return encodeExportRequest(entry);
    case RequestKind::CheckedDelete:
        return encodeCheckedDeleteRequest(entry);
    case RequestKind::Values:
        if (std::optional<std::string> encoded = encodeRequest(entry)) {
            encoded->insert(0, valuesPrefix);
            return encoded;
        }
        return std::nullopt;
    case RequestKind::Delete:
        break;
    }
    return encodeRequest(entry);
}

std::optional<Request> parseRequest(std::string_view line)
{
    Request request;
    if (startsWith(line, exportPrefix)) {
        request.kind = RequestKind::Export;
        line.remove_prefix(exportPrefix.size());
    } else if (startsWith(line, checkedPrefix)) {
        request.kind = RequestKind::CheckedDelete;
        line.remove_prefix(checkedPrefix.size());
    } else if (startsWith(line, valuesPrefix)) {
        request.kind = RequestKind::Values;
        line.remove_prefix(valuesPrefix.size());
    }
    std::optional<std::u16string> entry = decodeRequest(line);
    if (!entry)
        return std::nullopt;
    request.entry = std::move(*entry);
    return request;
}

std::optional<std::string> formatKeyLine(std::u16string_view name)
{
    std::optional<std::string> encoded = encodeRequest(name);
    if (encoded)
        encoded->insert(0, keyPrefix);
    return encoded;
}

std::optional<std::string> formatValueLine(const ExportedValue &value)
{
    const std::optional<std::string> name = encodeRequest(value.name);
    if (!name)
        return std::nullopt;
    std::string line(valuePrefix);
    line += std::to_string(value.type);
    line += ' ';
    line.reserve(line.size() + value.data.size() * 2 + 1 + name->size());
    for (const char byte : value.data) {
        line += hexDigits[static_cast<unsigned char>(byte) >> 4];
        line += hexDigits[static_cast<unsigned char>(byte) & 0xF];
    }
    line += ' ';
    line += *name;
    return line;
}

std::optional<ExportLine> parseExportLine(std::string_view line)
{
    ExportLine parsed;
    if (startsWith(line, keyPrefix)) {
        std::optional<std::u16string> name = decodeRequest(line.substr(keyPrefix.size()));
        if (!name || name->empty())
            return std::nullopt;
        parsed.isKey = true;
        parsed.keyName = std::move(*name);
        return parsed;
    }
    if (!startsWith(line, valuePrefix))
        return std::nullopt;
    line.remove_prefix(valuePrefix.size());
    const std::size_t typeEnd = line.find(' ');
    if (typeEnd == std::string_view::npos)
        return std::nullopt;
    const std::optional<std::uint32_t> type = parseNumber(line.substr(0, typeEnd));
    const std::size_t dataEnd = line.find(' ', typeEnd + 1);
    if (!type || dataEnd == std::string_view::npos)
        return std::nullopt;
    const std::string_view hex = line.substr(typeEnd + 1, dataEnd - typeEnd - 1);
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string data;
    data.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        data += char(high * 16 + low);
    }
    std::optional<std::u16string> name = decodeRequest(line.substr(dataEnd + 1));
    if (!name)
        return std::nullopt;
    parsed.value = ExportedValue{std::move(*name), *type, std::move(data)};
    return parsed;
}

std::string formatAnswer(std::uint32_t errorCode)
{
    return errorCode == 0 ? std::string("0") : "ERR " + std::to_string(errorCode);
}

std::optional<std::uint32_t> parseAnswer(std::string_view line)
{
    if (line == "0")
        return 0;
    constexpr std::string_view prefix = "ERR ";
    if (line.size() <= prefix.size() || line.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    const std::optional<std::uint32_t> code = parseNumber(line.substr(prefix.size()));
    if (!code || *code == 0)
        return std::nullopt;
    return code;
}

} // namespace cleanup::registry
