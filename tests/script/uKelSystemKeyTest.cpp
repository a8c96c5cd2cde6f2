#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/uInputDevice.h"
#include "platform/Clock.h"
#include "platform/headless/HeadlessInput.h"
#include "script/uKelSystemKey.h"

using namespace uInputDevice;

namespace {

constexpr uint8_t kEnter = 13, kEscape = 27, kSpace = 32, kA = 'A';

std::vector<TKeyCode> Codes(const TKelSystemKey& keys) {
    std::vector<TKeyCode> r;
    for (int32_t i = 0; i < keys.Count(); ++i)
        r.push_back(keys.Items(i)->KeyCode);
    return r;
}

TEST(KelSystemKeyTest, TheFirstBindingOfAKeyStays) {
    TKelSystemKey keys(nullptr);
    keys.Add(kEnter, "next", "4th", "1", "first");
    keys.Add(kEnter, "skip", "", "2", "second");
    keys.Add(kEnter | kHeld, "auto", "", "", "held");  // another mode is another key code
    keys.Add(kEscape, "menu", "", "", "");
    ASSERT_EQ(Codes(keys), (std::vector<TKeyCode>{kEnter, kEnter | kHeld, kEscape}));
    const TSystemKeyData* first = keys.Items(0);
    EXPECT_EQ(first->ActionName, "next");
    EXPECT_EQ(first->Label, "first");
    EXPECT_EQ(first->NumberText, "1");
    EXPECT_EQ(first->FourthText, "4th");
    EXPECT_EQ(keys.IndexOfKey(kEscape), 2);
    EXPECT_EQ(keys.IndexOfKey(kSpace), -1);
    EXPECT_EQ(keys.Items(3), nullptr);
    EXPECT_EQ(keys.Items(-1), nullptr);

    keys.Remove(kEnter);
    keys.Remove(kSpace);
    EXPECT_EQ(Codes(keys), (std::vector<TKeyCode>{kEnter | kHeld, kEscape}));
    keys.Delete(5);
    keys.Delete(0);
    EXPECT_EQ(Codes(keys), (std::vector<TKeyCode>{kEscape}));
    keys.Lock = 1;
    keys.Clear();
    EXPECT_EQ(keys.Count(), 0);
    EXPECT_EQ(keys.Lock, 0);
}

class KelSystemKeyInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        Input = std::make_unique<TInput>(Source, Time);
        Keys = std::make_unique<TKelSystemKey>(Input.get());
        Frame(300);  // past the lock that follows the device's reset
    }
    void TearDown() override {
        Keys.reset();
        Input.reset();
    }
    void Frame(uint32_t ms = 16) {
        Time.Now += ms;
        Input->Update();
    }
    std::string Pressed() const {
        const TSystemKeyData* d = Keys->GetPressed();
        return d ? d->ActionName : "-";
    }

    TFakeClock Time;
    THeadlessInputSource Source;
    std::unique_ptr<TInput> Input;
    std::unique_ptr<TKelSystemKey> Keys;
};

// Each row is one frame: the keys that are down, then the binding the frame step reads.
TEST_F(KelSystemKeyInputTest, ThePressedBindingFollowsTheInputDevice) {
    Keys->Add(kEnter | kPressed, "next", "", "", "");
    Keys->Add(kA | kCtrl | kPressed, "ctrl-a", "", "", "");
    Keys->Add(kA | kPressed, "a", "", "", "");
    Keys->Add(kSpace | kHeld, "space-held", "", "", "");
    Keys->Add(kSpace | kPressed, "space", "", "", "");  // listed later: the held binding wins
    Keys->Add(kEscape | kReleased, "menu", "", "", "");
    struct Row {
        const char* what;
        uint32_t ms;
        std::vector<uint8_t> down;
        const char* pressed;
    };
    const Row rows[] = {
        {"nothing down", 16, {}, "-"},
        {"enter goes down", 16, {kEnter}, "next"},
        {"enter still down", 16, {kEnter}, "-"},
        {"enter up", 16, {}, "-"},
        {"a alone", 16, {kA}, "a"},
        {"up", 16, {}, "-"},
        {"ctrl then a", 16, {VirtualKey::Control}, "-"},
        {"a with ctrl", 16, {VirtualKey::Control, kA}, "ctrl-a"},
        {"up", 16, {}, "-"},
        {"space goes down: held comes first in the list", 16, {kSpace}, "space-held"},
        {"space held", 500, {kSpace}, "space-held"},
        {"up", 16, {}, "-"},
        {"escape down", 16, {kEscape}, "-"},
        {"escape released", 16, {}, "menu"},
    };
    for (const Row& r : rows) {
        for (uint8_t vk : {kEnter, kEscape, kSpace, kA, VirtualKey::Control})
            Source.Release(vk);
        for (uint8_t vk : r.down)
            Source.Press(vk);
        Frame(r.ms);
        EXPECT_EQ(Pressed(), r.pressed) << r.what;
    }
}

TEST_F(KelSystemKeyInputTest, ALockedTableReadsNoBinding) {
    Keys->Add(kEnter | kHeld, "next", "", "", "");
    Source.Press(kEnter);
    Frame();
    EXPECT_EQ(Pressed(), "next");
    Keys->Lock = 1;
    Frame();
    EXPECT_EQ(Pressed(), "-");
    Keys->Lock = 0;
    EXPECT_EQ(Pressed(), "next");

    TKelSystemKey unbound(nullptr);
    unbound.Add(kEnter | kHeld, "next", "", "", "");
    EXPECT_EQ(unbound.GetPressed(), nullptr);
}

TEST(KelSystemKeyStreamTest, BindingsRoundTripWithTheirLock) {
    TKelSystemKey keys(nullptr);
    keys.Add(0x1000D, "custom", "x", "12", "@@label");
    keys.Add(kEscape, "menu", "", "", "");
    keys.Lock = 1;
    TMemoryStream s;
    ASSERT_TRUE(keys.SaveToStream(&s));
    const std::string expected(
        "\x01"
        "\x02\0\0\0"
        "\x0D\0\x01\0"
        "\x06\0custom"
        "\x07\0@@label"
        "\x02\0"
        "12"
        "\x01\0x"
        "\x1B\0\0\0"
        "\x04\0menu\0\0\0\0\0\0",
        49);
    EXPECT_EQ(s.AsString(), expected);

    TKelSystemKey back(nullptr);
    back.Add(kSpace, "old", "", "", "");
    s.SetPosition(0);
    ASSERT_TRUE(back.LoadFromStream(&s));
    EXPECT_EQ(back.Lock, 1);
    ASSERT_EQ(Codes(back), (std::vector<TKeyCode>{0x1000D, kEscape}));
    const TSystemKeyData* d = back.Items(0);
    EXPECT_EQ(d->ActionName, "custom");
    EXPECT_EQ(d->Label, "@@label");
    EXPECT_EQ(d->NumberText, "12");
    EXPECT_EQ(d->FourthText, "x");
}

// Loading goes through Add, so a stored second binding of a key is dropped.
TEST(KelSystemKeyStreamTest, LoadingKeepsTheFirstBindingOfAKey) {
    const std::string bytes(
        "\0"
        "\x02\0\0\0"
        "\x0D\0\0\0\x01\0a\0\0\0\0\0\0"
        "\x0D\0\0\0\x01\0b\0\0\0\0\0\0",
        31);
    TMemoryStream s(bytes);
    TKelSystemKey keys(nullptr);
    ASSERT_TRUE(keys.LoadFromStream(&s));
    ASSERT_EQ(keys.Count(), 1);
    EXPECT_EQ(keys.Items(0)->ActionName, "a");
}

TEST(KelSystemKeyStreamTest, DamagedRecordsAreRefusedAndChangeNothing) {
    TKelSystemKey saved(nullptr);
    saved.Add(kEnter, "next", "4", "3", "2");
    saved.Add(kEscape, "menu", "", "", "");
    TMemoryStream good;
    saved.SaveToStream(&good);
    std::vector<std::string> damaged;
    for (size_t n = 0; n < good.Data.size(); ++n)
        damaged.push_back(good.AsString().substr(0, n));
    damaged.push_back(std::string("\0\xFF\xFF\xFF\xFF\0\0\0\0", 9));
    damaged.push_back(std::string("\0\x02\0\0\0\x0D\0\0\0\0\0\0\0\0\0\0\0", 17));  // room for one binding
    for (const std::string& bytes : damaged) {
        TKelSystemKey keys(nullptr);
        keys.Add(kSpace, "keep", "", "", "");
        keys.Lock = 1;
        TMemoryStream s(bytes);
        EXPECT_FALSE(keys.LoadFromStream(&s)) << bytes.size();
        EXPECT_EQ(Codes(keys), (std::vector<TKeyCode>{kSpace}));
        EXPECT_EQ(keys.Lock, 1);
    }
    TKelSystemKey keys(nullptr);
    EXPECT_FALSE(keys.LoadFromStream(nullptr));
    EXPECT_FALSE(keys.SaveToStream(nullptr));
}

}  // namespace
