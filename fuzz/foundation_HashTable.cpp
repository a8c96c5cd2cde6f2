// The hash-table loader over untrusted bytes, followed by look-ups of every loaded name and of a
// few others, with value sizes that fit and that do not.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/uHashTable.h"
#include "platform/LittleEndian.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The table takes the bucket count the file asks for, within reason, so that loading gets past
    // the bucket check.
    int32_t buckets = 256;
    if (size >= 20) {
        const uint32_t b = LittleEndian::Get32(data + 16);
        if (b >= 1 && b <= 4096) buckets = static_cast<int32_t>(b);
    }
    THashTable table(buckets);
    TMemoryStream s(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!table.LoadFromStream(&s)) return 0;
    std::vector<std::string> names;
    for (int32_t b = 0; b < table.BucketCount(); ++b)
        for (const auto& item : table.Bucket(b))
            names.push_back(item.Name);
    names.push_back("missing");
    names.push_back("GameData\\X.PNG");
    uint8_t value[16];
    for (const auto& name : names) {
        table.Get(name, value, 2);
        table.Get(name, value, 16);
        table.Get(name, nullptr, 0);
    }
    const uint32_t v = 1;
    table.Add("new name", &v, 4);
    if (!names.empty()) table.Add(names.front(), &v, 4);
    TMemoryStream out;
    table.SaveToStream(&out);
    return 0;
}
