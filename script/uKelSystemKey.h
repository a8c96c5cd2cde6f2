// The key-binding table that the frame step reads: key codes bound to key actions.
//
// Stream form (little-endian): lock flag (1 byte), u32 count, then per binding the key code (u32)
// and four stream strings: action name, label, number text, fourth text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/uInputDevice.h"
#include "platform/ClassLib.h"

struct TSystemKeyData {
    TKeyCode KeyCode = 0;    // key slot, modifier bits and mode, as the input device reads them
    std::string ActionName;  // a key action's name
    std::string Label;       // handed to the host as the request argument
    std::string NumberText;  // read as a decimal integer by the custom action
    std::string FourthText;  // kept and saved only
};

class TKelSystemKey {
public:
    // The input device is linked, not owned; without one no binding is ever pressed.
    explicit TKelSystemKey(TInput* input);
    TKelSystemKey(const TKelSystemKey&) = delete;
    TKelSystemKey& operator=(const TKelSystemKey&) = delete;

    // Adds a binding unless the key code is bound already: the first binding of a key stays.
    void Add(TKeyCode keyCode, std::string_view actionName, std::string_view fourthText, std::string_view numberText,
             std::string_view label);
    void Remove(TKeyCode keyCode);
    void Delete(int32_t index);  // an index outside the list does nothing
    // Removes every binding and clears the lock flag.
    void Clear();

    int32_t Count() const { return static_cast<int32_t>(Keys.size()); }
    // nullptr for an index outside the list.
    TSystemKeyData* Items(int32_t index) const;
    int32_t IndexOfKey(TKeyCode keyCode) const;
    // The first binding, in list order, whose key code the input device reports now; nullptr while
    // the table is locked.
    TSystemKeyData* GetPressed() const;

    bool SaveToStream(TStream* stream) const;
    // Replaces the table by the stored one, adding the bindings through Add. False for a nil
    // stream and for a record that ends early or counts more bindings than its bytes can hold;
    // the table is then left as it was.
    bool LoadFromStream(TStream* stream);

    uint8_t Lock = 0;

private:
    TInput* Input;
    std::vector<std::unique_ptr<TSystemKeyData>> Keys;
};
