// The RIFF wave reader over arbitrary bytes, from memory and through a plain stream: both give the
// same result, and the result never outgrows four times the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "media/uWaveDataManager.h"
#include "platform/ClassLib.h"

namespace {
class TPlainStream : public TStream {
public:
    explicit TPlainStream(std::string_view bytes) : M(bytes) {}
    int64_t Read(void* b, int64_t n) override { return M.Read(b, n); }
    int64_t Write(const void* b, int64_t n) override { return M.Write(b, n); }
    int64_t Seek(int64_t o, TSeekOrigin origin) override { return M.Seek(o, origin); }
    void SetSize(int64_t n) override { M.SetSize(n); }

private:
    TMemoryStream M;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TMemoryStream memory(bytes);
    TPlainStream plain(bytes);
    auto a = uWaveDataManager::LoadWaveRiff(&memory);
    auto b = uWaveDataManager::LoadWaveRiff(&plain);
    if (static_cast<bool>(a) != static_cast<bool>(b)) std::abort();
    if (a && (a->Data != b->Data || a->Size() > 4 * static_cast<int64_t>(size))) std::abort();
    return 0;
}
