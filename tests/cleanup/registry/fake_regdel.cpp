// A stand-in for brisquel-regdel.exe that misbehaves on purpose, so the bridge's handling of
// a helper that dies, hangs or talks nonsense can be tested under Wine. The behaviour comes
// from BRISQUEL_FAKE_REGDEL:
//   die-first    exits without answering the first request
//   die-first:F  the same while file F doesn't exist, creating it; once it does, like "ok"
//   die-second   answers "0" to the first request, exits without answering the second
//   hang-second  answers "0" to the first request, never answers the second
//   garbage      answers every request with a line that is no answer
//   silent       reads requests and never answers
//   (other)      answers "0" to every request

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

int main()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    const char *env = std::getenv("BRISQUEL_FAKE_REGDEL");
    const std::string mode = env ? env : "";

    int requests = 0;
    std::string line;
    for (int c = std::getc(stdin); c != EOF; c = std::getc(stdin)) {
        if (c != '\n') {
            line += char(c);
            continue;
        }
        ++requests;
        line.clear();
        const char *answer = "0\n";
        if (requests >= 2 && mode == "die-second")
            ExitProcess(3);
        if (requests == 1 && mode.rfind("die-first", 0) == 0) {
            const std::string marker = mode.size() > 10 ? mode.substr(10) : std::string();
            if (marker.empty())
                ExitProcess(3);
            const HANDLE file = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                CloseHandle(file);
                ExitProcess(3);
            }
        }
        if (mode == "silent" || (requests >= 2 && mode == "hang-second")) {
            for (;;)
                Sleep(INFINITE);
        }
        if (mode == "garbage")
            answer = "ready\n";
        std::fwrite(answer, 1, std::strlen(answer), stdout);
        std::fflush(stdout);
    }
    return 0;
}
