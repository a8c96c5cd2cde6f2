// kelmovie: makes a motion movie (".m") from a folder of pictures.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "media/uMovieWriter.h"
#include "platform/ClassLib.h"
#include "platform/HostFiles.h"

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "kelmovie: makes a motion movie (\".m\") from a folder of pictures.\n"
    "\n"
    "Usage:\n"
    "  kelmovie [options] <folder> <movie.m>\n"
    "      Every .bmp, .jpg, .png and .argb file of <folder> (not below it) becomes one frame,\n"
    "      in the order of the file names.\n"
    "      --type NAME     how the pictures are stored: jpeg (default), grey (a greyscale JPEG),\n"
    "                      alpha (a colour JPEG and a JPEG of the alpha), raw24, raw32,\n"
    "                      raw565, raw4444 (uncompressed pixels; raw32 and raw4444 keep alpha)\n"
    "      --quality Q     JPEG quality 1..100 (default 90)\n"
    "      --time MS       the movie's total time in milliseconds\n"
    "      --fps N         frames per second, when --time is not given (default 30)\n"
    "      --index N       a key frame in the index every N frames (default 10; 0: none)\n"
    "      --link          a picture equal to an earlier frame's is stored once; the later\n"
    "                      frames link to it\n"
    "      --sound FILE    keeps FILE's bytes in the movie's sound block\n"
    "  kelmovie --help\n"
    "\n"
    "Exit codes: 0 success, 1 a picture or file could not be read or written, 2 wrong usage.\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "kelmovie: %s\n(see kelmovie --help)\n", message.c_str());
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kelmovie: %s\n", message.c_str());
    return 1;
}

bool ParseInt(const std::string& text, int64_t low, int64_t high, int32_t& value) {
    try {
        size_t used = 0;
        const long long v = std::stoll(text, &used);
        if (used != text.size() || v < low || v > high) return false;
        value = static_cast<int32_t>(v);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

const std::map<std::string, TMoviePictureType> kTypes = {
    {"jpeg", TMoviePictureType::Jpeg},       {"grey", TMoviePictureType::GreyJpeg},
    {"alpha", TMoviePictureType::JpegAlpha}, {"raw24", TMoviePictureType::Raw24},
    {"raw32", TMoviePictureType::Raw32},     {"raw565", TMoviePictureType::Raw565},
    {"raw4444", TMoviePictureType::Raw4444},
};

bool IsPicture(const fs::path& p) {
    const std::string ext = ClassLib::LowerAscii(p.extension().string());
    return ext == ".bmp" || ext == ".jpg" || ext == ".png" || ext == ".argb";
}

int Make(const std::vector<std::string>& args) {
    TMoviePictureType type = TMoviePictureType::Jpeg;
    int32_t quality = 90, time = -1, fps = 30, spacing = 10;
    bool link = false;
    std::string soundPath;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--type") {
            if (!value(v) || !kTypes.count(v))
                return Usage("--type takes jpeg, grey, alpha, raw24, raw32, raw565 or raw4444");
            type = kTypes.at(v);
        } else if (a == "--quality") {
            if (!value(v) || !ParseInt(v, 1, 100, quality)) return Usage("--quality takes 1..100");
        } else if (a == "--time") {
            if (!value(v) || !ParseInt(v, 1, INT32_MAX, time))
                return Usage("--time takes a positive number of milliseconds");
        } else if (a == "--fps") {
            if (!value(v) || !ParseInt(v, 1, 1000, fps)) return Usage("--fps takes 1..1000");
        } else if (a == "--index") {
            if (!value(v) || !ParseInt(v, 0, INT32_MAX, spacing)) return Usage("--index takes 0 or more");
        } else if (a == "--link") {
            link = true;
        } else if (a == "--sound") {
            if (!value(soundPath)) return Usage("--sound takes a file");
        } else if (a.rfind("--", 0) == 0) {
            return Usage("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return Usage("takes a folder of pictures and the movie to write");
    const fs::path folder(positional[0]);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return Fail("not a folder: " + folder.string());

    std::vector<fs::path> files;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        if (it->is_regular_file() && IsPicture(it->path())) files.push_back(it->path());
    if (ec) return Fail("cannot read the folder " + folder.string() + ": " + ec.message());
    std::sort(files.begin(), files.end());

    uMovieWriter::TOptions options;
    options.IndexSpacing = spacing;
    if (!soundPath.empty() && !HostFiles::Read(soundPath, options.Sound)) return Fail("cannot read " + soundPath);
    std::vector<uMovieWriter::TFrame> frames;
    std::vector<TBitmap32> stored;  // the pictures stored so far, for --link
    std::vector<int32_t> storedFrame;
    for (const fs::path& f : files) {
        std::string bytes;
        if (!HostFiles::Read(f, bytes)) return Fail("cannot read " + f.string());
        TARGB8888 image;
        TMemoryStream stream(bytes);
        try {
            image.LoadFromStream(&stream, f.filename().string());
        } catch (const EImageLoadError&) {
            return Fail("not a picture that can be read: " + f.string());
        }
        if (!image.Active || image.Width() < 1 || image.Height() < 1) return Fail("empty picture: " + f.string());
        const TBitmap32& picture = *image.Active;
        if (frames.empty()) {
            options.Width = picture.Width;
            options.Height = picture.Height;
        }
        uMovieWriter::TFrame frame;
        const auto number = static_cast<int32_t>(frames.size());
        if (link) {
            for (size_t i = 0; i < stored.size() && frame.LinkTo < 0; ++i)
                if (stored[i].Width == picture.Width && stored[i].Height == picture.Height &&
                    stored[i].Pixels == picture.Pixels)
                    frame.LinkTo = storedFrame[i];
        }
        if (frame.LinkTo < 0) {
            frame.Type = static_cast<int32_t>(type);
            try {
                frame.Data = uMovieWriter::EncodePicture(picture, type, quality);
            } catch (const ImageCodecLib::ECodecError& e) {
                return Fail(f.string() + ": " + e.what());
            }
            if (link) {
                stored.push_back(picture);
                storedFrame.push_back(number);
            }
        }
        frames.push_back(std::move(frame));
    }
    if (frames.empty()) return Fail("no pictures in " + folder.string());
    const int64_t total = time > 0 ? time : (static_cast<int64_t>(frames.size()) * 1000 + fps - 1) / fps;
    if (total > INT32_MAX) return Fail("the movie would last too long; give --time");
    options.TotalTime = static_cast<int32_t>(total);

    std::string movie;
    try {
        movie = uMovieWriter::WriteMovie(frames, options);
    } catch (const std::length_error& e) {
        return Fail(e.what());
    }
    if (!HostFiles::Write(positional[1], movie)) return Fail("cannot write " + positional[1]);
    const size_t links = static_cast<size_t>(
        std::count_if(frames.begin(), frames.end(), [](const uMovieWriter::TFrame& f) { return f.LinkTo >= 0; }));
    std::printf("%s: %zu frames (%zu linked), %d ms, %zu bytes\n", positional[1].c_str(), frames.size(), links,
                options.TotalTime, movie.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.empty()) return Usage("nothing to do");
    return Make(args);
}
