#include <gtest/gtest.h>

#include <string>

#include "platform/Movie.h"
#include "platform/VideoLibraries.h"
#include "tests/support/MovieFixtures.h"
#include "tests/support/TestData.h"

namespace {

// The process's own table is complete: every function the movie backend calls is filled.
TEST(VideoLibrariesTest, TheBuiltNamesLoadEveryFunctionOnce) {
    const TVideoLibraries& libraries = VideoLibraries::Shared();
    ASSERT_TRUE(libraries.Loaded()) << libraries.Error();
    EXPECT_EQ(libraries.Error(), "");
#define KEL_EXPECT_FILLED(library, name) EXPECT_NE(libraries.name, nullptr) << #name;
    KEL_VIDEO_FUNCTIONS(KEL_EXPECT_FILLED)
#undef KEL_EXPECT_FILLED
    EXPECT_EQ(&VideoLibraries::Shared(), &libraries);
}

// A library that is not there, or is some other library, fails with its name; the movie backend
// over such a table fails to open every file with that reason instead of crashing.
TEST(VideoLibrariesTest, AMissingLibraryOrFunctionIsAClearFailureOfTheBackend) {
    const std::string scratch = TestData::ScratchDir();
    const std::string movie = scratch + "/clip.mkv";
    ASSERT_EQ(MovieFixtures::WriteMovie(movie, MovieFixtures::TSpec{}), "");
    struct TCase {
        std::string TVideoLibraryNames::*Library;
        std::string Name;
        std::string Reason;
    };
    const TCase cases[] = {
        {&TVideoLibraryNames::Util, "libkel-no-such-avutil.so.57", "libkel-no-such-avutil.so.57"},
        {&TVideoLibraryNames::Resample, "libkel-no-such-swresample.so.4", "libkel-no-such-swresample.so.4"},
        {&TVideoLibraryNames::Scale, "libkel-no-such-swscale.so.6", "libkel-no-such-swscale.so.6"},
        {&TVideoLibraryNames::Codec, "libkel-no-such-avcodec.so.59", "libkel-no-such-avcodec.so.59"},
        {&TVideoLibraryNames::Format, "libkel-no-such-avformat.so.59", "libkel-no-such-avformat.so.59"},
        // A library that loads but is another one: the first function it lacks is named.
        {&TVideoLibraryNames::Util, "libz.so.1", "libz.so.1 has no avutil_version"},
        {&TVideoLibraryNames::Format, "libz.so.1", "libz.so.1 has no avformat_version"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TVideoLibraryNames names = VideoLibraries::BuiltNames();
        names.*c.Library = c.Name;
        TVideoLibraries libraries;
        EXPECT_NE(libraries.Error(), "");  // not loaded yet
        std::string error;
        EXPECT_FALSE(libraries.Load(names, error));
        EXPECT_FALSE(libraries.Loaded());
        EXPECT_NE(error.find(c.Reason), std::string::npos) << error;

        TFfmpegMovies movies(&libraries);
        std::string why;
        EXPECT_EQ(movies.Open(movie, why), nullptr);
        EXPECT_NE(why.find(movie), std::string::npos) << why;
        EXPECT_NE(why.find(c.Reason), std::string::npos) << why;
    }
}

}  // namespace
