// Sequences of cache operations (acquire, release, capacity changes, trims, clears, adopted
// objects) against the cache's invariants: a held object is never freed, reference counts match
// the handles out, lives stay in 0..256, and a trim leaves the unused bytes under the capacity
// unless it used all 17 of its evictions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "media/uCache.h"

namespace {

struct TBlob {
    explicit TBlob(int64_t size) : Size(size) { ++Alive; }
    ~TBlob() { --Alive; }
    int64_t Size;
    static inline int64_t Alive = 0;
};

class TBlobCache : public TCache<TBlob> {
public:
    using TCache::TCache;

protected:
    std::unique_ptr<TBlob> LoadData(TStream&, int32_t size, const std::string& name) override {
        if (name.find('x') != std::string::npos) return nullptr;  // some names fail to decode
        return std::make_unique<TBlob>(size);
    }
    int64_t DataSize(const TBlob& b) const override { return b.Size; }
};

void Check(const TBlobCache& cache, const std::vector<TCacheHandle<TBlob>>& held, int64_t adopted) {
    std::map<const TBlob*, int32_t> out;
    for (const auto& h : held)
        if (h && h.Cached()) ++out[h.Get()];
    int64_t cachedAlive = 0;
    for (const auto& e : cache.List()) {
        if (e->Life < 0 || e->Life > 256 || e->References < 0) std::abort();
        if (e->References != out[e->Object.get()]) std::abort();
        out.erase(e->Object.get());
        ++cachedAlive;
    }
    // Every held object is still in the cache (or the cache was cleared under it).
    if (TBlob::Alive != cachedAlive + adopted) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        TBlobCache cache(0);
        std::vector<TCacheHandle<TBlob>> held;
        TMemoryStream stream;
        bool cleared = false;
        for (size_t i = 0; i + 1 < size; i += 2) {
            const uint8_t op = data[i], arg = data[i + 1];
            switch (op % 7) {
                case 0:
                case 1: {
                    const char names[] = "abcdexAB$";
                    std::string name(1, names[arg % 9]);
                    if (arg & 0x80) name += "$$$";
                    held.push_back(cache.Acquire(stream, (arg % 16) * 100, name));
                    break;
                }
                case 2:
                    if (!held.empty()) {
                        auto& h = held[arg % held.size()];
                        cache.Release(h);
                    }
                    break;
                case 3:
                    cache.SetCapacity(arg * 50);
                    break;
                case 4:
                    cache.Trim();
                    break;
                case 5:
                    held.push_back(TCacheHandle<TBlob>::Adopt(std::make_unique<TBlob>(arg)));
                    break;
                case 6:
                    if (arg == 0) {
                        cache.Clear();
                        cleared = true;
                    }
                    break;
            }
            if (op % 7 == 4) {
                // One trim more: it either evicted everything it had to or used all its rounds.
                const size_t before = cache.List().size();
                cache.Trim();
                const int64_t unused = cache.UnusedBytes();
                if (unused != 0 && unused >= cache.GetCapacity() && before - cache.List().size() < 17) std::abort();
            }
            int64_t adopted = 0;
            for (const auto& h : held)
                if (h && !h.Cached()) ++adopted;
            if (!cleared) Check(cache, held, adopted);
        }
        for (auto& h : held)
            cache.Release(h);
    }
    if (TBlob::Alive != 0) std::abort();
    return 0;
}
