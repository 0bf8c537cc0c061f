// Stands in for the board program in launcher tests: records its arguments
// and working directory in $QBSTART_PROBE_OUT (written whole, then renamed)
// and ends.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    const char* out = std::getenv("QBSTART_PROBE_OUT");
    if (!out)
        return 2;
    std::string text;
    for (int i = 0; i < argc; ++i)
        text += std::string("arg=") + argv[i] + "\n";
    char cwd[4096];
    text += std::string("cwd=") + (::getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
    const std::string tmp = std::string(out) + ".part";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f)
        return 3;
    std::fputs(text.c_str(), f);
    if (std::fclose(f) != 0)
        return 3;
    return std::rename(tmp.c_str(), out) == 0 ? 0 : 3;
}
