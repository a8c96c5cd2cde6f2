#include <gtest/gtest.h>

#include "foundation/uStringCache.h"

namespace {

TEST(StringCacheTest, ReplacesRoundRobin) {
    TStringCache cache(2);
    cache.Add("a", 1);
    cache.Add("b", 2);
    cache.Add("c", 3);  // overwrites a's slot
    EXPECT_EQ(cache.Get("a", -1), -1);
    EXPECT_EQ(cache.Get("b", -1), 2);
    EXPECT_EQ(cache.Get("c", -1), 3);
    cache.Add("a", 4);  // the next slot after c's holds b
    EXPECT_EQ(cache.Get("b", -1), -1);
    EXPECT_EQ(cache.Get("c", -1), 3);
    EXPECT_EQ(cache.Get("a", -1), 4);
    cache.Add("a", 5);  // a present key keeps its slot
    EXPECT_EQ(cache.Get("c", -1), 3);
    EXPECT_EQ(cache.Get("a", -1), 5);
}

TEST(StringCacheTest, RemoveClearAndEmptyKeys) {
    TStringCache cache(4);
    cache.Add("Name", 7);
    EXPECT_EQ(cache.Get("name", -1), -1);  // keys compare exactly
    cache.Remove("Name");
    EXPECT_EQ(cache.Get("Name", -1), -1);
    cache.Add("", 9);
    EXPECT_EQ(cache.IndexOf(""), -1);
    EXPECT_EQ(cache.Get("", -2), -2);
    // Remove and Clear leave the next slot where it was: two additions so far, so the next new
    // key goes to slot 2.
    cache.Add("x", 1);
    cache.Clear();
    EXPECT_EQ(cache.Get("x", -1), -1);
    cache.Add("y", 2);
    EXPECT_EQ(cache.IndexOf("y"), 3);
}

}  // namespace
