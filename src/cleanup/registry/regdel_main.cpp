// brisquel-regdel.exe: deletes registry keys and values for the Linux build, which runs it
// under Wine. The running wineserver owns the hive files, so the registry API is the only
// safe way in. One request per line on stdin, one answer per line on stdout; see
// helper_protocol.h.

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_delete.h"

#include <cstdio>
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

void answer(std::uint32_t errorCode)
{
    const std::string text = cleanup::registry::formatAnswer(errorCode) + '\n';
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
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
    for (;;) {
        const ReadResult read = readLine(line);
        if (read == ReadResult::End)
            return 0;
        if (read == ReadResult::TooLong) {
            answer(ERROR_FILENAME_EXCED_RANGE);
            continue;
        }
        const auto entry = cleanup::registry::decodeRequest(line);
        answer(entry ? cleanup::registry::deleteRegistryEntry(*entry) : ERROR_INVALID_DATA);
    }
}
