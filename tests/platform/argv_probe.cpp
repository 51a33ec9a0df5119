// Started by the process test: writes its arguments, each followed by a NUL byte, to the
// file named by BRISQUEL_PROBE_OUT. The file appears whole (written aside, then renamed).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    const char *out = std::getenv("BRISQUEL_PROBE_OUT");
    if (!out || !*out)
        return 2;
    const std::string part = std::string(out) + ".part";
    std::FILE *file = std::fopen(part.c_str(), "wb");
    if (!file)
        return 3;
    for (int i = 0; i < argc; ++i)
        std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, file);
    if (std::fclose(file) != 0)
        return 4;
    std::remove(out);
    return std::rename(part.c_str(), out) == 0 ? 0 : 5;
}
