// A program for the tests of starting programs: writes its whole argument vector, argv[0]
// included, each argument ended by a zero byte, to the file that KEL_ARGS_FILE names. The file
// appears complete or not at all.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const char* out = std::getenv("KEL_ARGS_FILE");
    if (!out) return 2;
    const std::string temporary = std::string(out) + ".part";
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f) return 1;
    for (int i = 0; i < argc; ++i)
        std::fwrite(argv[i], 1, std::char_traits<char>::length(argv[i]) + 1, f);
    if (std::fclose(f) != 0) return 1;
    return std::rename(temporary.c_str(), out) == 0 ? 0 : 1;
}
