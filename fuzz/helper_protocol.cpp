// Both sides of the registry helper's line protocol. The input is tried as a request line
// (delete, export or checked delete), as an entry (UTF-16) to encode, as a line of an export
// answer and as an answer line.

#include "fuzz_support.h"
#include "cleanup/registry/helper_protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

using namespace cleanup::registry;

namespace {

// What a request line may hold: no control character or DEL, so nothing splits it.
bool isOneLine(std::string_view line)
{
    return std::none_of(line.cbegin(), line.cend(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

bool isWellFormedUtf16(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0xDC00 && text[i] <= 0xDFFF)
            return false;
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return false;
            ++i;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char *>(data), size);

    // The helper's side: a request it accepts encodes back to a request with the same entry.
    if (const std::optional<std::u16string> entry = decodeRequest(line)) {
        const std::optional<std::string> encoded = encodeRequest(*entry);
        FUZZ_CHECK(encoded && isOneLine(*encoded));
        FUZZ_CHECK(decodeRequest(*encoded) == entry);
    }

    // The bridge's side: any well-formed entry encodes to one line that decodes to it.
    std::u16string entry(size / 2, u'\0');
    std::memcpy(entry.data(), data, size / 2 * 2);
    const std::optional<std::string> encoded = encodeRequest(entry);
    FUZZ_CHECK(encoded.has_value() == isWellFormedUtf16(entry));
    if (encoded) {
        FUZZ_CHECK(isOneLine(*encoded));
        FUZZ_CHECK(decodeRequest(*encoded) == entry);
    }

    // Either kind of request, and the lines of an export answer: what parses is written
    // again as one line that parses to the same thing.
    if (const std::optional<Request> request = parseRequest(line)) {
        const std::optional<std::string> again = encodeRequest(request->kind, request->entry);
        FUZZ_CHECK(again && isOneLine(*again));
        const std::optional<Request> reparsed = parseRequest(*again);
        FUZZ_CHECK(reparsed && reparsed->kind == request->kind && reparsed->entry == request->entry);
    }
    if (const std::optional<ExportLine> exported = parseExportLine(line)) {
        const std::optional<std::string> again = exported->isKey ? formatKeyLine(exported->keyName)
                                                                 : formatValueLine(exported->value);
        FUZZ_CHECK(again && isOneLine(*again));
        const std::optional<ExportLine> reparsed = parseExportLine(*again);
        FUZZ_CHECK(reparsed && reparsed->isKey == exported->isKey);
        if (exported->isKey)
            FUZZ_CHECK(reparsed->keyName == exported->keyName);
        else
            FUZZ_CHECK(reparsed->value == exported->value);
    }

    // Answers: a code read from a line is written and read back unchanged.
    if (const std::optional<std::uint32_t> code = parseAnswer(line)) {
        FUZZ_CHECK(parseAnswer(formatAnswer(*code)) == code);
        FUZZ_CHECK((*code == 0) == (line == "0"));
    }
    if (size >= 4) {
        std::uint32_t code = 0;
        std::memcpy(&code, data, 4);
        FUZZ_CHECK(parseAnswer(formatAnswer(code)) == code);
    }
    return 0;
}
