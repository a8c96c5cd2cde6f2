// The movie object's state record from arbitrary bytes, as a save game or a display-mode change
// hands it back: the named movie is looked up and opened (through a made-up backend, in a folder
// of its own), placed, sized, sought and put in the saved state; then drawn and saved again. A
// file outside the movie folders must never be opened, and a record saved again must keep what
// it was given.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "media/KelDirectShow.h"
#include "platform/ClassLib.h"
#include "platform/Clock.h"
#include "platform/FileRoot.h"
#include "platform/headless/FakeMovies.h"

namespace {

// A game folder with two movies and a file beside the movie folder, on a clock that stands still.
struct TWorld {
    TWorld() {
        char pattern[] = "/tmp/kel-fuzz-movie-XXXXXX";
        Root = mkdtemp(pattern) ? pattern : "/tmp";
        std::filesystem::create_directories(Root + "/movie/sub");
        std::ofstream(Root + "/movie/op.mpg") << "x";
        std::ofstream(Root + "/movie/sub/ed.mpg") << "x";
        std::ofstream(Root + "/secret.mpg") << "x";
        std::error_code ignored;
        Folder = std::filesystem::weakly_canonical(Root + "/movie", ignored).string();
        Files.SetFolder(Root);
    }
    ~TWorld() {
        std::error_code ignored;
        std::filesystem::remove_all(Root, ignored);
    }
    std::string Root;
    std::string Folder;  // the movie folder, as the file system names it
    TFileRoot Files;
    TFakeClock Time;
    TFakeMovieBackend Movies;
};

bool SameKept(const TDirectShowState& a, const TDirectShowState& b) {
    return a.Left == b.Left && a.Top == b.Top && a.Width == b.Width && a.Height == b.Height &&
           a.FileName == b.FileName && a.Volume == b.Volume;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWorld world;
    TMemoryStream stream(std::string_view(reinterpret_cast<const char*>(data), size));
    world.Movies.Opened.clear();
    TKelDirectShowPlayer movie(TMovieDevices{.Backend = &world.Movies, .Clock = &world.Time, .Files = &world.Files});
    if (!movie.LoadFromStream(stream)) {
        if (size >= static_cast<size_t>(TDirectShowState::kSize)) std::abort();
        return 0;
    }
    for (const std::string& path : world.Movies.Opened) {
        std::error_code ignored;
        if (std::filesystem::weakly_canonical(path, ignored).string().rfind(world.Folder + "/", 0) != 0) std::abort();
    }
    const TDirectShowState loaded = movie.State();

    (void)movie.GetState();
    (void)movie.GetLength();
    if (TDirectShowPlayer* player = movie.Player()) {
        player->WaitDecoded(2000);
        world.Time.Now += 250;
        std::vector<uint32_t> pixels(64 * 48);
        TDisplayLock lock;
        lock.Pixels = reinterpret_cast<uint8_t*>(pixels.data());
        lock.Pitch = 64 * 4;
        lock.Width = 64;
        lock.Height = 48;
        player->DrawVideo(lock);
    }
    TMemoryStream saved;
    movie.SaveToStream(saved);
    if (saved.Size() != TDirectShowState::kSize) std::abort();
    saved.SetPosition(0);
    TDirectShowState again;
    if (!again.Read(saved) || !SameKept(again, loaded)) std::abort();
    return 0;
}
