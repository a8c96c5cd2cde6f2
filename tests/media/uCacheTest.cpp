// The byte-capacity cache: sharing by name, ageing, eviction order and limits, handles that are
// always safe to release.
#include <gtest/gtest.h>

#include <set>

#include "media/uCache.h"

namespace {

// An object that counts its own lives, sized by the item's size argument.
struct TBlob {
    explicit TBlob(int64_t size) : Size(size) { ++Alive; }
    ~TBlob() { --Alive; }
    int64_t Size;
    static inline int32_t Alive = 0;
};

class TBlobCache : public TCache<TBlob> {
public:
    using TCache::TCache;
    int32_t Loads = 0;

protected:
    std::unique_ptr<TBlob> LoadData(TStream& stream, int32_t size, const std::string& name) override {
        ++Loads;
        if (name.find("broken") != std::string::npos) return nullptr;
        stream.Seek(size, TSeekOrigin::Current);
        return std::make_unique<TBlob>(size);
    }
    int64_t DataSize(const TBlob& b) const override { return b.Size; }
};

constexpr int32_t MB = 1 << 20;

TEST(Cache, ANameInAnyCaseIsSharedAndMovesTheStream) {
    TBlobCache cache(0);
    TMemoryStream s(std::string(100, 'x'));
    auto a = cache.Acquire(s, 40, "Pics\\A.BMP");
    EXPECT_EQ(s.Position(), 40);
    auto b = cache.Acquire(s, 40, "pics\\a.bmp");
    EXPECT_EQ(s.Position(), 80);  // a hit decodes nothing but still moves past the item
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_EQ(cache.Loads, 1);
    ASSERT_EQ(cache.List().size(), 1u);
    EXPECT_EQ(cache.List()[0]->Key, "pics\\a.bmp");
    EXPECT_EQ(cache.List()[0]->Hits, 2);
    EXPECT_EQ(cache.List()[0]->References, 2);
    cache.Release(a);
    EXPECT_FALSE(a);
    EXPECT_EQ(TBlob::Alive, 1);
    cache.Release(b);  // capacity 0: the last holder's release frees it at once
    EXPECT_EQ(TBlob::Alive, 0);
    EXPECT_TRUE(cache.List().empty());
}

TEST(Cache, AFailedLoadKeepsNothing) {
    TBlobCache cache(10 * MB);
    TMemoryStream s;
    auto h = cache.Acquire(s, 5, "broken.png");
    EXPECT_FALSE(h);
    EXPECT_TRUE(cache.List().empty());
    cache.Release(h);  // an empty handle: nothing happens
}

// Three unused 4 MB objects under a 10 MB capacity: one goes, the one of least
// life + 256 x min(hits, 256), the earliest loaded at a tie.
TEST(Cache, EvictionTakesTheLeastValuable) {
    struct TCase {
        int ExtraHitsOf;  // index given one more acquire and release, or -1
        std::set<std::string> Left;
    };
    const TCase cases[] = {
        {-1, {"b", "c"}},  // equal scores: the earliest goes
        {0, {"a", "c"}},   // a is worth more now
    };
    for (const TCase& c : cases) {
        TBlobCache cache(10 * MB);
        TMemoryStream s;
        TCacheHandle<TBlob> h[3];
        const char* names[3] = {"a", "b", "c"};
        for (int i = 0; i < 3; ++i)
            h[i] = cache.Acquire(s, 4 * MB, names[i]);
        if (c.ExtraHitsOf >= 0) {
            auto again = cache.Acquire(s, 0, names[c.ExtraHitsOf]);
            cache.Release(again);
        }
        cache.Release(h[0]);
        cache.Release(h[1]);
        EXPECT_EQ(cache.List().size(), 3u);  // 8 MB unused: under the capacity
        cache.Release(h[2]);                 // 12 MB unused: one goes
        std::set<std::string> left;
        for (const auto& e : cache.List())
            left.insert(e->Key);
        EXPECT_EQ(left, c.Left);
    }
}

TEST(Cache, UnusedBytesEqualToTheCapacityStillEvict) {
    TBlobCache cache(8 * MB);
    TMemoryStream s;
    auto a = cache.Acquire(s, 4 * MB, "a");
    auto b = cache.Acquire(s, 4 * MB, "b");
    cache.Release(a);
    EXPECT_EQ(cache.UnusedBytes(), 4 * MB);
    cache.Release(b);
    EXPECT_EQ(cache.UnusedBytes(), 4 * MB);
    cache.SetCapacity(4 * MB + 1);
    EXPECT_EQ(cache.UnusedBytes(), 4 * MB);
    cache.SetCapacity(0);
    EXPECT_EQ(cache.UnusedBytes(), 0);
}

TEST(Cache, UnusedEntriesLiveThrough255FurtherTrims) {
    TBlobCache cache(100 * MB);
    TMemoryStream s;
    auto a = cache.Acquire(s, 10, "a");
    cache.Release(a);  // its own trim takes the first life
    EXPECT_EQ(cache.List()[0]->Life, 255);
    for (int i = 0; i < 254; ++i)
        cache.Trim();
    EXPECT_EQ(cache.List().size(), 1u);
    auto again = cache.Acquire(s, 10, "a");  // any acquire brings it back
    EXPECT_EQ(cache.List()[0]->Life, 256);
    cache.Release(again);
    for (int i = 0; i < 255; ++i)
        cache.Trim();
    EXPECT_TRUE(cache.List().empty());
}

TEST(Cache, EngineMadeNamesGoAtTheirRelease) {
    TBlobCache cache(100 * MB);
    TMemoryStream s;
    auto a = cache.Acquire(s, 10, "$$$saveimage.bmp");
    auto b = cache.Acquire(s, 10, "x$$$y.png");
    cache.Release(a);
    cache.Release(b);
    EXPECT_TRUE(cache.List().empty());
}

TEST(Cache, AtMost17EvictionsATrim) {
    TBlobCache cache(0);
    TMemoryStream s;
    std::vector<TCacheHandle<TBlob>> held;
    for (int i = 0; i < 40; ++i)
        held.push_back(cache.Acquire(s, 100, std::to_string(i) + ".n"));
    cache.SetCapacity(1 << 30);
    for (auto& h : held)
        cache.Release(h);  // each release trims: nothing goes under the large capacity
    EXPECT_EQ(cache.List().size(), 40u);
    cache.SetCapacity(0);
    EXPECT_EQ(cache.List().size(), 23u);
    cache.Trim();
    EXPECT_EQ(cache.List().size(), 6u);
}

TEST(Cache, ReleaseIsAlwaysSafe) {
    TBlobCache cache(100 * MB);
    TMemoryStream s;
    // An object the cache never held is freed by its release.
    auto own = TCacheHandle<TBlob>::Adopt(std::make_unique<TBlob>(5));
    EXPECT_FALSE(own.Cached());
    EXPECT_EQ(TBlob::Alive, 1);
    cache.Release(own);
    EXPECT_EQ(TBlob::Alive, 0);
    // After a clear, handles to the freed objects release nothing; a new object in the same
    // place is not mistaken for the old one.
    auto a = cache.Acquire(s, 10, "a");
    cache.Clear();
    EXPECT_EQ(TBlob::Alive, 0);
    auto b = cache.Acquire(s, 10, "a");
    cache.Release(a);
    EXPECT_EQ(cache.List()[0]->References, 1);
    // Handles from another cache are not this one's.
    TBlobCache other(0);
    auto c = other.Acquire(s, 10, "a");
    cache.Release(c);
    EXPECT_EQ(cache.List()[0]->References, 1);
    EXPECT_EQ(other.List()[0]->References, 1);
    cache.Release(b);
    other.Release(c);
}

}  // namespace
