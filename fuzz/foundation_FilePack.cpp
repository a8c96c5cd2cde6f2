// Opening a pack file of untrusted bytes and reading every entry, by number and by name, with
// verification on. The trailer, the counts, the offsets and the embedded name table all come from
// the input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "foundation/uFilePack.h"
#include "platform/FileRoot.h"

namespace {
// One temporary file for every input of the run, removed when the program ends.
struct TScratchFile {
    TScratchFile() {
        char name[] = "/tmp/kel-fuzz-pack-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        Path = name;
    }
    ~TScratchFile() { std::remove(Path.c_str()); }
    std::string Path;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TScratchFile file;
    static const TFileRoot files;
    const std::string& path = file.Path;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    for (bool keepOpen : {true, false}) {
        TFilePack pack(files, path, keepOpen);
        pack.Verify = true;
        int errors = 0;
        pack.ErrorProc = [&](const std::string&) { ++errors; };
        for (uint32_t i = 0; i < pack.Count() && i < 4096; ++i) {
            pack.ReadByIndex(i);
            pack.ReadByName(pack.EntryName(i));
        }
        pack.Verify = false;
        for (uint32_t i = 0; i < pack.Count() && i < 64; ++i)
            pack.ReadByIndex(i);
        pack.ReadByName("missing");
    }
    return 0;
}
