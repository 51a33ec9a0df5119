// brisquel-regdel.exe: deletes registry keys and values for the Linux build, which runs it
// under Wine. The running wineserver owns the hive files, so the registry API is the only
// safe way in. One request per line on stdin, one answer per line on stdout; see
// helper_protocol.h.

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_delete.h"

#include <cstdio>
#include <optional>
#include <string>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

enum class ReadResult { Line, TooLong, End };

// Reads up to LF. An unterminated last line is dropped: the sender died mid-write, and a
// cut-off name could name some other value.
ReadResult readLine(std::string &line)
{
    line.clear();
    bool tooLong = false;
    for (;;) {
        const int c = std::getc(stdin);
        if (c == EOF)
            return ReadResult::End;
        if (c == '\n')
            return tooLong ? ReadResult::TooLong : ReadResult::Line;
        if (line.size() < cleanup::registry::maxRequestBytes)
            line += static_cast<char>(c);
        else
            tooLong = true;
    }
}

void send(std::string text)
{
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void answer(std::uint32_t errorCode)
{
    send(cleanup::registry::formatAnswer(errorCode));
}

// The lines of an export answer, all made before any is sent: a name that can't be written
// fails the whole export rather than leave part of it out.
std::uint32_t exportLines(const cleanup::registry::RegistryExport &exported, std::string &lines)
{
    using namespace cleanup::registry;
    if (!exported.keyName.empty()) {
        const std::optional<std::string> line = formatKeyLine(exported.keyName);
        if (!line)
            return ERROR_NO_UNICODE_TRANSLATION;
        lines += *line + '\n';
    }
    for (const ExportedValue &value : exported.values) {
        const std::optional<std::string> line = formatValueLine(value);
        if (!line)
            return ERROR_NO_UNICODE_TRANSLATION;
        lines += *line + '\n';
    }
    return 0;
}

// The last export sent, which a checked delete compares with: it is what the bridge backed up.
struct LastExport
{
    std::u16string entry;
    cleanup::registry::RegistryExport exported;
};

void exportEntry(const std::u16string &entry, std::optional<LastExport> &last)
{
    using namespace cleanup::registry;
    last.reset();
    RegistryExport exported;
    std::string lines;
    std::uint32_t error = exportRegistryEntry(entry, exported);
    if (error == 0)
        error = exportLines(exported, lines);
    if (error != 0)
        return answer(error);
    send(lines + formatAnswer(0));
    last = LastExport{entry, std::move(exported)};
}

void listValues(const std::u16string &keyPath, std::optional<LastExport> &last)
{
    using namespace cleanup::registry;
    last.reset();
    RegistryExport listed;
    std::string lines;
    std::uint32_t error = readKeyValues(keyPath, listed.values);
    if (error == 0)
        error = exportLines(listed, lines);
    if (error != 0)
        return answer(error);
    send(lines + formatAnswer(0));
}

void checkedDelete(const std::u16string &entry, std::optional<LastExport> &last)
{
    using namespace cleanup::registry;
    // Not what was backed up (a new helper, another entry): the bridge exports it again.
    if (!last || last->entry != entry) {
        last.reset();
        return answer(ERROR_RETRY);
    }
    RegistryExport now;
    const std::uint32_t error = deleteIfUnchanged(entry, last->exported, now);
    last.reset();
    answer(error);
}

} // namespace

int main()
{
    // No crash or drive dialogs: nobody is there to click them away.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    // Text mode would turn LF into CR LF and stop at a 0x1A byte.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);

    std::string line;
    std::optional<LastExport> last;
    for (;;) {
        const ReadResult read = readLine(line);
        if (read == ReadResult::End)
            return 0;
        if (read == ReadResult::TooLong) {
            answer(ERROR_FILENAME_EXCED_RANGE);
            continue;
        }
        const auto request = cleanup::registry::parseRequest(line);
        if (!request) {
            answer(ERROR_INVALID_DATA);
        } else if (request->kind == cleanup::registry::RequestKind::Export) {
            exportEntry(request->entry, last);
        } else if (request->kind == cleanup::registry::RequestKind::Values) {
            listValues(request->entry, last);
        } else if (request->kind == cleanup::registry::RequestKind::CheckedDelete) {
            checkedDelete(request->entry, last);
        } else {
            last.reset();
            answer(cleanup::registry::deleteRegistryEntry(request->entry));
        }
    }
}
