// Variable tables under random use. The first byte picks the form:
//   even: the rest is a table stream; it is loaded, and whatever loads must save, load and save
//         again to the same bytes;
//   odd:  the rest is a program of declarations, writes, reads, deletions, level returns and save
//         round trips over a few names, with random dimensions and indexes.
// Object variables go to a fake object registry whose states are short blobs.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "script/KelValueLib.h"

namespace {

struct TRegistry {
    std::map<std::string, std::string> Live;
    FuzzSupport::TFuzzContext Context;
    TObjectVariableCallbacks Callbacks() {
        TObjectVariableCallbacks c;
        c.Log = &Context.Log;
        c.Create = [this](const std::string&, const std::string&, const std::string& name) {
            return Live.emplace(name, std::string()).second;
        };
        c.Free = [this](const std::string&, const std::string&, const std::string& name) {
            return Live.erase(name) == 1;
        };
        c.Save = [this](TStream& s, const std::string&, const std::string&, const std::string& name) {
            auto it = Live.find(name);
            std::string blob = it == Live.end() ? std::string() : it->second;
            auto n = static_cast<uint8_t>(blob.size());
            s.WriteBuffer(&n, 1);
            s.WriteBuffer(blob.data(), n);
            return it != Live.end();
        };
        c.Load = [this](TStream& s, const std::string&, const std::string&, const std::string& name) {
            uint8_t n = 0;
            s.ReadBuffer(&n, 1);
            std::string blob(n % 4, '\0');
            s.ReadBuffer(blob.data(), static_cast<int64_t>(blob.size()));
            Live[name] = blob;
            return true;
        };
        return c;
    }
};

class TIntEvaluator : public IVariableEvaluator {
public:
    TCalcValue Calculate(const std::string& text, int32_t) override {
        return TCalcValue::Integer(KelValueLib::StrToIntDef0(text), text);
    }
    std::unique_ptr<TStringList> IndexList(const std::string& token) override {
        auto list = std::make_unique<TStringList>();
        if (token.empty()) return list;
        size_t open = token.find('[');
        if (token.back() != ']' || open == std::string::npos) {
            list->Add(token);
            return list;
        }
        list->Add(token.substr(0, open));
        std::string inner = token.substr(open + 1, token.size() - open - 2), item;
        for (char c : inner) {
            if (c == ',') {
                list->Add(item);
                item.clear();
            } else {
                item += c;
            }
        }
        list->Add(item);
        return list;
    }
};

class TBytes {
public:
    TBytes(const uint8_t* d, size_t n) : Data(d), Size(n) {}
    bool Empty() const { return Pos >= Size; }
    uint8_t Next() { return Pos < Size ? Data[Pos++] : 0; }

private:
    const uint8_t* Data;
    size_t Size, Pos = 0;
};

// Saves the table, loads that into a second table and saves again: the two streams must agree.
void CheckRoundTrip(const TValue& t, TRegistry& reg) {
    TMemoryStream first;
    t.SaveToStream(first);
    first.SetPosition(0);
    TValue copy(reg.Callbacks());
    if (!copy.LoadFromStream(first)) std::abort();
    if (first.Remaining() != 0) std::abort();
    TMemoryStream second;
    copy.SaveToStream(second);
    if (second.AsString() != first.AsString()) std::abort();
}

const char* const kNames[] = {"a",
                              "B",
                              "ab",
                              "Ab",
                              "x",
                              "\x93\xfa",
                              "\x83"
                              "A",
                              "\x83"
                              "a"};

int32_t Number(TBytes& in) {
    uint8_t b = in.Next();
    switch (b) {
        case 250:
            return 65536;
        case 251:
            return 2147483647;
        case 252:
            return -2147483647 - 1;
        case 253:
            return 4194305;
        case 254:
            return 64;
        default:
            return static_cast<int32_t>(b % 16) - 3;
    }
}

// A name with up to five indexes or dimensions. For declarations, arrays that would be allowed
// but large are made small, so that one input stays fast; those above the cap stay, to be refused.
std::string Reference(TBytes& in, bool declaration) {
    std::string name = kNames[in.Next() % std::size(kNames)];
    int count = in.Next() % 7;
    if (count == 0 || count == 6) return name;
    int32_t values[5];
    int64_t product = 1;
    for (int k = 0; k < count; ++k) {
        values[k] = Number(in);
        if (product <= (int64_t{1} << 30)) product *= std::max(values[k], 1);
    }
    if (declaration && product > 256 && product <= KelValueLib::kMaxElements)
        for (int k = 0; k < count; ++k)
            values[k] = std::min(values[k], 4);
    name += '[';
    for (int k = 0; k < count; ++k) {
        if (k) name += ',';
        name += std::to_string(values[k]);
    }
    return name + ']';
}

void RunProgram(TBytes& in) {
    TRegistry reg;
    TIntEvaluator evaluator;
    {
        TKelVariables vars(reg.Callbacks(), evaluator);
        if (in.Next() & 1) vars.SetErrorReport(false);
        while (!in.Empty()) {
            uint8_t op = in.Next();
            int32_t level = in.Next() % 4;
            switch (op % 9) {
                case 0: {
                    auto scope = static_cast<TVariableScope>(in.Next() % 4);
                    uint8_t kind = in.Next() % 4;
                    auto type = static_cast<TCalcValueType>(kind < 3 ? kind : 2);
                    uint8_t reference = kind == 2 ? 1 : 0;
                    uint16_t flags = (in.Next() & 1) ? KelValueLib::kAllRights : static_cast<uint16_t>(in.Next() % 8);
                    vars.DeclareVariable(Reference(in, true), kind >= 2 ? "btn" : "", reference, flags, scope, type,
                                         level);
                    break;
                }
                case 1: {
                    std::string target = Reference(in, false);
                    TCalcValue v = (in.Next() & 1) ? TCalcValue::Integer(Number(in), "7")
                                                   : TCalcValue::String(std::string(in.Next() % 5, 'z'));
                    vars.SetVariable(target, level, v);
                    break;
                }
                case 2: {
                    TCalcValue v;
                    vars.ReadVariable(Reference(in, false), level, v);
                    break;
                }
                case 3:
                    vars.DeleteVariable(kNames[in.Next() % std::size(kNames)], level);
                    break;
                case 4:
                    vars.InitVariable(kNames[in.Next() % std::size(kNames)], level);
                    break;
                case 5:
                    vars.LocalVariables().DeleteAboveOwner(level);
                    break;
                case 6:
                    CheckRoundTrip(vars.GameVariables(), reg);
                    break;
                case 7: {
                    TValue& t = *vars.Table(static_cast<TVariableScope>(1 + in.Next() % 3));
                    TValueIndexes idx{Number(in), Number(in), Number(in), Number(in)};
                    t.WriteInteger(kNames[in.Next() % std::size(kNames)], idx, true, 1, level);
                    TCalcValue v;
                    t.ReadByIndex(static_cast<int32_t>(in.Next()) - 2, idx[0], idx[1], idx[2], idx[3], level, v, true);
                    break;
                }
                default: {
                    // Reload the local table from its own stream.
                    TValue& t = vars.LocalVariables();
                    TMemoryStream s;
                    t.SaveToStream(s);
                    s.SetPosition(0);
                    if (!t.LoadFromStream(s)) std::abort();
                    break;
                }
            }
            reg.Context.Log.ClearErrorLog();
        }
    }
}

void RunLoader(const uint8_t* data, size_t size) {
    TRegistry reg;
    TMemoryStream in(std::string_view(reinterpret_cast<const char*>(data), size));
    TValue t(reg.Callbacks());
    if (!t.LoadFromStream(in)) return;
    CheckRoundTrip(t, reg);
    for (int32_t i = 0; i < t.Count(); ++i) {
        TValueData* r = t.Items(i);
        int32_t found = t.FindIndex(r->Name(), r->OwnerLevel());
        // A look-up finds the first match; a record stored with another hash than its name's, or
        // without array, is never found by its name.
        bool findable = r->Array() && r->NameHash() == KelValueLib::NameHash(r->Name());
        if (findable ? (found < 0 || found > i) : found == i) std::abort();
        TCalcValue v;
        t.ReadByIndex(i, 0, 0, 0, 0, 0, v, true);
        t.WriteByIndex(i, 1, 0, 0, 0, 0, TCalcValue::Integer(1, "1"), true);
        t.InitVariable(r->Name(), r->OwnerLevel(), true);
    }
    t.DeleteAboveOwner(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        TBytes in(data + 1, size - 1);
        RunProgram(in);
    } else {
        RunLoader(data + 1, size - 1);
    }
    return 0;
}
