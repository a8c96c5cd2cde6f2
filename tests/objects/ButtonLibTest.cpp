// Buttons on small animations: the motions of the hover, checked and locked states under a
// scripted pointer (with and without the optional motions), the click and its countdown, the
// events and their order, the caption typed at once, the saved record at its offsets and damaged
// saves, and buttons declared by a script that the interpreter's clicks and key navigation reach.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/SystemConfigLib.h"
#include "objects/ButtonLib.h"
#include "objects/KelScreenObjects.h"
#include "platform/LittleEndian.h"
#include "script/KelGeneralCommands.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ScriptHarness.h"

namespace {

// A 40 x 20 button animation hit over its whole frame, with the state motions named besides the
// usual Idle, *Enable, *Disable, *OnMouse and *OffMouse.
std::string ButtonAnimation(const std::vector<const char*>& extra) {
    AnimationBmpWriter::TFile file =
        AnimationFixtures::StateFile(40, 20, {AnimationFixtures::SolidPng(40, 20, 0xFF336699)});
    const AnimationBmpWriter::TMotion like = file.Motions[0];
    for (const char* name : extra) {
        file.Motions.push_back(like);
        file.Motions.back().Name = name;
    }
    return AnimationBmpWriter::Write(file);
}

constexpr int32_t kInX = 20, kInY = 15;      // on the button at (10, 10)
constexpr int32_t kOutX = 100, kOutY = 100;  // beside it

class ButtonLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        H.AddRawFile("full.b", ButtonAnimation({"*OnLock", "*OnLockOnMouse", "*OnLockOffMouse", "*OffLock", "*OnCheck",
                                                "*OnCheckOnMouse", "*OnCheckOffMouse", "*OffCheck", "*OnClick",
                                                "*OnCheckClick"}));
        H.AddRawFile("sparse.b", ButtonAnimation({"*OnLock", "*OnCheck", "*OnClick"}));
    }

    // An enabled button at (10, 10) that records its events.
    ImageLib::TPtr<TButtonLib> Button(const std::string& file) {
        auto button = ImageLib::Make<TButtonLib>(H.Context.Packs);
        EXPECT_TRUE(button->LoadImages(file, "", "", "", "", false, false));
        button->MoveTo(10, 10, 0, 0);
        button->Enable();
        button->Update(255, 0);
        button->OnCheck = [this](TButtonLib&) { Events.push_back("check"); };
        button->OnUncheck = [this](TButtonLib&) { Events.push_back("uncheck"); };
        button->OnClick = [this](TButtonLib&) { Events.push_back("click"); };
        return button;
    }

    struct TStep {
        const char* What;
        std::function<void(TButtonLib&)> Do;
        std::string Motion;
        std::vector<std::string> Events;
    };
    void Run(TButtonLib& button, const std::vector<TStep>& steps) {
        for (const TStep& s : steps) {
            s.Do(button);
            EXPECT_EQ(button.GetCurrentMotionName(), s.Motion) << s.What;
            EXPECT_EQ(Events, s.Events) << s.What;
        }
    }

    static std::function<void(TButtonLib&)> Move(int32_t x, int32_t y) {
        return [x, y](TButtonLib& b) { b.MouseMove(255, x, y); };
    }
    static std::function<void(TButtonLib&)> Click(int32_t x, int32_t y, bool taken) {
        return [x, y, taken](TButtonLib& b) { EXPECT_EQ(b.Click(255, x, y), taken) << x << "," << y; };
    }
    static std::function<void(TButtonLib&)> Check(bool on) {
        return [on](TButtonLib& b) { b.SetChecked(on); };
    }
    static std::function<void(TButtonLib&)> Lock(bool on) {
        return [on](TButtonLib& b) { b.SetLocked(on); };
    }

    TScriptHarness H;  // serves the files
    std::vector<std::string> Events;
};

TEST_F(ButtonLibTest, StatesShowTheirMotionsUnderThePointer) {
    auto button = Button("full.b");
    using E = std::vector<std::string>;
    Run(*button, {
                     {"hovering", Move(kInX, kInY), "*OnMouse", {}},
                     {"leaving", Move(kOutX, kOutY), "*OffMouse", {}},
                     {"a click beside it", Click(kOutX, kOutY, false), "*OffMouse", {}},
                     {"a click on it", Click(kInX, kInY, true), "*OnClick", E{"click"}},
                     {"the click gives way to the hover", Move(kInX, kInY), "*OnMouse", E{"click"}},
                     {"checked under the pointer", Check(true), "*OnCheckOnMouse", E{"click", "check"}},
                     {"checked again", Check(true), "*OnCheckOnMouse", E{"click", "check"}},
                     {"checked, leaving", Move(kOutX, kOutY), "*OnCheckOffMouse", E{"click", "check"}},
                     {"a checked click", Click(kInX, kInY, true), "*OnCheckClick", E{"click", "check", "click"}},
                     {"checked, hovering", Move(kInX, kInY), "*OnCheckOnMouse", E{"click", "check", "click"}},
                     {"locked under the pointer", Lock(true), "*OnLockOnMouse", E{"click", "check", "click"}},
                     {"a locked click", Click(kInX, kInY, false), "*OnLockOnMouse", E{"click", "check", "click"}},
                     {"locked, leaving", Move(kOutX, kOutY), "*OnLockOffMouse", E{"click", "check", "click"}},
                     {"unlocked, still checked", Lock(false), "*OnCheck", E{"click", "check", "click"}},
                     {"unchecked", Check(false), "*OffCheck", E{"click", "check", "click", "uncheck"}},
                     {"unchecked again", Check(false), "*OffCheck", E{"click", "check", "click", "uncheck"}},
                     {"locked beside the pointer", Lock(true), "*OnLock", E{"click", "check", "click", "uncheck"}},
                     {"unlocked", Lock(false), "*OffLock", E{"click", "check", "click", "uncheck"}},
                     {"hovering again", Move(kInX, kInY), "*OnMouse", E{"click", "check", "click", "uncheck"}},
                 });
}

TEST_F(ButtonLibTest, MissingStateMotionsFallBack) {
    auto button = Button("sparse.b");
    using E = std::vector<std::string>;
    Run(*button, {
                     {"locked under the pointer",
                      [](TButtonLib& b) {
                          b.MouseMove(255, kInX, kInY);
                          b.SetLocked(true);
                      },
                      "*OnLock",
                      {}},
                     {"locked, leaving", Move(kOutX, kOutY), "*OnLock", {}},
                     {"unlocked without *OffLock", Lock(false), "*OffMouse", {}},
                     {"checked under the pointer",
                      [](TButtonLib& b) {
                          b.MouseMove(255, kInX, kInY);
                          b.SetChecked(true);
                      },
                      "*OnCheck", E{"check"}},
                     // No "*OnCheckClick": the click is taken and the motion stays.
                     {"a checked click", Click(kInX, kInY, true), "*OnCheck", E{"check", "click"}},
                     {"unchecked without *OffCheck, under the pointer", Check(false), "*OnMouse",
                      E{"check", "click", "uncheck"}},
                 });
}

TEST_F(ButtonLibTest, ClicksAndTheirCountdown) {
    struct TCase {
        const char* What;
        std::function<void(TButtonLib&)> Prepare;
        uint32_t Mask;
        int32_t X, Y;
        bool Taken;
    };
    const TCase cases[] = {
        {"on it", [](TButtonLib&) {}, 255, kInX, kInY, true},
        {"on its last pixel", [](TButtonLib&) {}, 255, 49, 29, true},
        {"one past it", [](TButtonLib&) {}, 255, 50, 29, false},
        {"disabled", [](TButtonLib& b) { b.Disable(); }, 255, kInX, kInY, false},
        {"hidden", [](TButtonLib& b) { b.Hide(); }, 255, kInX, kInY, false},
        {"locked", [](TButtonLib& b) { b.SetLocked(true); }, 255, kInX, kInY, false},
        {"masks that do not meet", [](TButtonLib& b) { b.SetInputMask(6); }, 1, kInX, kInY, false},
        {"masks that meet", [](TButtonLib& b) { b.SetInputMask(6); }, 4, kInX, kInY, true},
        {"the extra hit rectangle",
         [](TButtonLib& b) {
             b.SetHitRect(0, 0, 100, 100);
             b.Update(0, 0);
         },
         255, 105, 105, true},
    };
    for (const TCase& c : cases) {
        auto button = Button("full.b");
        c.Prepare(*button);
        Events.clear();
        EXPECT_EQ(button->Click(c.Mask, c.X, c.Y), c.Taken) << c.What;
        EXPECT_EQ(Events, c.Taken ? std::vector<std::string>{"click"} : std::vector<std::string>{}) << c.What;
        EXPECT_EQ(button->ButtonRecord.ClickCountdown, c.Taken ? 4 : 0) << c.What;
        // The pointer is kept either way.
        EXPECT_EQ(button->Record.PointerX, c.X) << c.What;
    }

    // Each update takes one off the countdown until it ends; a new click starts it again.
    auto button = Button("full.b");
    button->Click(255, kInX, kInY);
    for (int32_t left : {3, 2, 1, 0, 0}) {
        button->Update(0, 16);
        EXPECT_EQ(button->ButtonRecord.ClickCountdown, left);
    }
    button->Click(255, kInX, kInY);
    EXPECT_EQ(button->ButtonRecord.ClickCountdown, 4);

    // Clear: neither checked nor locked, no click pending.
    button->SetChecked(true);
    button->SetLocked(true);
    button->Clear();
    EXPECT_EQ(button->ButtonRecord, TButtonRecord{});
    EXPECT_FALSE(button->IsEnabled());
}

TEST_F(ButtonLibTest, TheCaptionIsTypedAtOnceAndNeverFillsAPage) {
    auto button = Button("full.b");
    button->SetTextRect(0, 0, 40, 20);
    button->SetSize(8, 8);
    // Far more lines than the area holds.
    std::string caption;
    for (int i = 0; i < 20; ++i)
        caption += "OK[n]";
    button->AddText(caption);
    button->Update(255, 0);
    EXPECT_EQ(button->GetState(), TMessageState::Done);
    EXPECT_EQ(button->MainPos, static_cast<int32_t>(button->MainText.size()));
    // A wait in the caption is skipped.
    button->AddText("[w,5000]go");
    button->Update(255, 0);
    EXPECT_EQ(button->GetState(), TMessageState::Done);
    EXPECT_EQ(button->WaitLeft, 0);
    // Clearing the button keeps it a caption.
    button->Clear();
    EXPECT_EQ(button->Instant, 1);
    EXPECT_EQ(button->PageCheck, 0);
    EXPECT_EQ(button->GetEffectiveSpeed(), 0);
}

TEST_F(ButtonLibTest, RecordAfterTheWindowsAndDamagedSaves) {
    auto button = Button("full.b");
    button->SetTextRect(0, 0, 40, 20);
    button->AddText("Go");
    button->SetChecked(true);
    button->SetLocked(true);
    button->Click(255, kInX, kInY);  // locked: not taken
    button->ButtonRecord.ClickCountdown = -3;
    const std::string motion = button->GetCurrentMotionName();

    TMemoryStream stream;
    ASSERT_TRUE(button->SaveToStream(&stream));
    const std::string s = stream.AsString();
    ASSERT_GT(s.size(), size_t{TButtonRecord::kSize});
    const std::string tail = s.substr(s.size() - TButtonRecord::kSize);
    EXPECT_EQ(tail[0], 1);
    EXPECT_EQ(tail[1], 1);
    EXPECT_EQ(static_cast<int32_t>(LittleEndian::Get32(reinterpret_cast<const uint8_t*>(tail.data()) + 2)), -3);
    EXPECT_EQ(tail.substr(6), std::string(126, '\0'));

    // What comes before is a message window's saved state, whole.
    TMemoryStream windowPart(s.substr(0, s.size() - TButtonRecord::kSize));
    auto window = ImageLib::Make<TMessageLib>(H.Context.Packs);
    ASSERT_TRUE(window->LoadFromStream(&windowPart));
    EXPECT_EQ(windowPart.Remaining(), 0);
    EXPECT_EQ(window->MainText, button->MainText);

    // Into a fresh button: the same states, motion and text, and the same record again.
    auto copy = ImageLib::Make<TButtonLib>(H.Context.Packs);
    stream.SetPosition(0);
    ASSERT_TRUE(copy->LoadFromStream(&stream));
    EXPECT_EQ(stream.Remaining(), 0);
    EXPECT_EQ(copy->ButtonRecord, button->ButtonRecord);
    EXPECT_EQ(copy->GetCurrentMotionName(), motion);
    EXPECT_EQ(copy->MainText, button->MainText);
    TMemoryStream again;
    copy->SaveToStream(&again);
    EXPECT_TRUE(again.AsString().substr(again.Size() - TButtonRecord::kSize) == tail);

    // Cut anywhere, the button part included: refused, and the button is left cleared.
    for (size_t cut : {size_t{0}, size_t{100}, s.size() - TButtonRecord::kSize, s.size() - 1}) {
        auto target = Button("full.b");
        target->SetChecked(true);
        TMemoryStream part(s.substr(0, cut));
        EXPECT_FALSE(target->LoadFromStream(&part)) << cut;
        EXPECT_EQ(target->ButtonRecord, TButtonRecord{}) << cut;
        EXPECT_EQ(target->Record.Files[0], "") << cut;
        EXPECT_FALSE(target->IsEnabled()) << cut;
    }
    EXPECT_FALSE(copy->SaveToStream(nullptr));
    EXPECT_FALSE(copy->LoadFromStream(nullptr));
}

// ---- declared by scripts ----

class ButtonScriptTest : public ButtonLibTest {
protected:
    void SetUp() override {
        ButtonLibTest::SetUp();
        KelScreenObjects::Register(H.Kinds);
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.Script.SystemKeys->Add(VirtualKey::LButton, "click", "", "", "");
        H.PassInputLock();
    }

    TButtonLib& ButtonOf(const std::string& name) {
        TKelObjectDataCustom* object = H.Script.Objects->Find(name);
        EXPECT_NE(object, nullptr) << name;
        auto* link = dynamic_cast<TButtonLink*>(object->ScreenObject());
        EXPECT_NE(link, nullptr) << name;
        return link->Object();
    }

    // The left button pressed at (x, y) for one frame step; the button is bound to clicking.
    void Press(int32_t x, int32_t y) {
        H.InputSource.PointerAt = {x, y};
        H.InputSource.Press(VirtualKey::LButton);
        H.Step();
        H.InputSource.Release(VirtualKey::LButton);
        H.Input.Update();
    }
};

TEST_F(ButtonScriptTest, AScriptedClickChoosesADeclaredButton) {
    ASSERT_TRUE(H.Start("\\var,btn,choice[2]\r\n\\var,sbtn,menu\r\n\\btn,0\r\n"));
    H.Step();
    for (const char* name : {"0_choice,0", "0_choice,1"}) {
        ASSERT_NE(H.Script.Objects->Find(name), nullptr) << name;
        EXPECT_EQ(H.Script.Objects->Find(name)->Kind(), TObjectKind::Button) << name;
    }
    ASSERT_NE(H.Script.Objects->Find("0_menu,0"), nullptr);
    EXPECT_EQ(H.Script.Objects->Find("0_menu,0")->Kind(), TObjectKind::SysButton);

    TButtonLib& first = ButtonOf("0_choice,0");
    TButtonLib& second = ButtonOf("0_choice,1");
    int32_t clicks = 0;
    second.OnClick = [&clicks](TButtonLib&) { ++clicks; };
    for (TButtonLib* b : {&first, &second}) {
        ASSERT_TRUE(b->LoadImages("full.b", "", "", "", "", false, false));
        b->Enable();
        b->SetClickPoint(20, 10);
    }
    first.MoveTo(10, 10, 0, 0);
    second.MoveTo(10, 40, 0, 0);
    second.SetUserInt(0, 7);
    H.Step();

    // Beside both: the script goes on waiting.
    Press(kOutX, kOutY);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(H.Script.CurrentRoutine()->WaitState, wsButton);
    // On the second: its click runs and the wait ends with the button's name and data.
    Press(20, 45);
    EXPECT_EQ(clicks, 1);
    EXPECT_GE(second.ButtonRecord.ClickCountdown, 1);
    EXPECT_EQ(H.Var("ResultBtn").Text, "0_choice,1");
    EXPECT_EQ(H.Var("ResultBtnInt").Value, 7);
    EXPECT_EQ(H.Script.CurrentRoutine()->WaitState, wsNone);

    // Key navigation finds the buttons' click points on the screen.
    H.Context.Settings.ScreenWidth = 640;
    H.Context.Settings.ScreenHeight = 480;
    H.InputSource.PointerAt = {30, 20};
    H.Input.Update();
    H.Script.SelectDown();
    EXPECT_EQ(H.InputSource.PointerAt.Y, 50);
    H.Input.Update();
    H.Script.SelectUp();
    EXPECT_EQ(H.InputSource.PointerAt.Y, 20);

    // A system button shows the interpreter's locks through its states.
    TButtonLib& menu = ButtonOf("0_menu,0");
    auto* state = dynamic_cast<IKelButtonState*>(H.Script.Objects->Find("0_menu,0")->ScreenObject());
    ASSERT_NE(state, nullptr);
    state->SetChecked(true);
    EXPECT_TRUE(menu.IsChecked());
    EXPECT_TRUE(state->Checked());

    // Saved and loaded through the script object.
    first.SetChecked(true);
    TKelObjectDataCustom* object = H.Script.Objects->Find("0_choice,0");
    TMemoryStream saved;
    ASSERT_TRUE(object->SaveToStream(saved));
    object->Reset();
    EXPECT_FALSE(first.IsChecked());
    saved.SetPosition(0);
    ASSERT_TRUE(object->LoadFromStream(saved));
    EXPECT_TRUE(first.IsChecked());
    EXPECT_EQ(first.Record.Files[0], "full.b");
}

}  // namespace
