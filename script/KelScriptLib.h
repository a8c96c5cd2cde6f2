// The scenario interpreter. It owns its reader, variables and objects and links the host's
// services; it sets itself up and resets; it keeps the state record that saved games carry; it
// turns a command word into its code and hands each statement first to the control, jump, label
// and general words, then to the handler of each scoped object's kind. The built-in variables,
// the callbacks behind object variables and the argument readers of the handlers live here too.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "foundation/GameContext.h"
#include "foundation/ShiftJis.h"
#include "foundation/SystemConfigLib.h"
#include "platform/ClassLib.h"
#include "script/KelCalculationLib.h"
#include "script/KelControlLib.h"
#include "script/KelReaderLib.h"
#include "script/KelScriptSeams.h"
#include "script/KelScriptState.h"
#include "script/KelTextCache.h"
#include "script/KelTextDialog.h"
#include "script/uKelObjectManager.h"
#include "script/uKelPath.h"
#include "script/uKelSystemKey.h"

// Command code of a word: lower-cased, every backslash and every byte of 32 or below dropped, the
// rest packed little-endian with the first byte lowest; 5 or more bytes give -1, nothing gives 0.
// A trail byte of a two-byte character is never lower-cased.
constexpr int32_t Cmd(std::string_view word) {
    uint32_t code = 0;
    int n = 0;
    bool trail = false;
    for (size_t i = 0; i < word.size(); ++i) {
        auto b = static_cast<uint8_t>(word[i]);
        bool isTrail = trail;
        trail = !isTrail && uMisc::IsSJISLeadByte(b);
        if (!isTrail && b >= 'A' && b <= 'Z') b = static_cast<uint8_t>(b + 32);
        if (b == '\\' || b <= 32) continue;
        if (n == 4) return -1;
        code |= static_cast<uint32_t>(b) << (8 * n++);
    }
    return static_cast<int32_t>(code);
}
static_assert(Cmd("\\msg") == 0x0067736D && Cmd("\\if") == 0x00006669 && Cmd("\\ MSG") == Cmd("\\msg"));
static_assert(Cmd("\\abcde") == -1 && Cmd("") == 0 && Cmd("\\") == 0);

// Actions of key bindings by name; 22 and 23 have no name.
enum TKeyAction : int32_t {
    kaNone = 0,
    kaClick = 1,
    kaKeyClick = 2,
    kaSkipClick = 3,
    kaMenu = 4,
    kaLog = 5,
    kaScreen = 6,
    kaReset = 7,
    kaExit = 8,
    kaLoad = 9,
    kaSave = 10,
    kaView = 11,
    kaConfig = 12,
    kaMinimize = 13,
    kaAuto = 14,
    kaSkip = 15,
    kaLogSkip = 16,
    kaSceneSkipLoad = 17,
    kaSceneSkipNoLoad = 18,
    kaQuickSave = 19,
    kaQuickLoad = 20,
    kaSelectLoad = 21,
    kaSceneReturn = 24,
    kaSelectLeft = 25,
    kaSelectRight = 26,
    kaSelectUp = 27,
    kaSelectDown = 28,
    kaCustom = 29,
};

// The lock bits of TScriptStateBlock::Locks; a set bit forbids the action.
enum TLockBit : uint32_t {
    lkScreen = 1,
    lkSave = 2,
    lkLoad = 4,
    lkConfig = 8,
    lkLog = 16,
    lkView = 32,
    lkAuto = 64,
    lkSkip = 128,
    lkJump = 256,
    lkMenu = 512,
    lkReset = 1024,
    lkMinimize = 2048,
};

// Requests left for the host in TKelScript::Request.
enum TSystemRequest : uint8_t {
    srNone = 0,
    srExit = 1,
    srExitConfirm = 2,
    srMenu = 3,
    srLog = 4,
    srFullScreen = 5,
    srApplyConfig = 6,
    srResetConfirm = 7,
    srResetLabel = 8,
    srSave = 9,
    srLoad = 10,
    srConfig = 11,
    srView = 12,
    srAuto = 13,
    srSkip = 14,
    srSkipRead = 15,
    srQuickSave = 16,
    srQuickLoad = 17,
    srSelectLoad = 18,
    srVolumePage = 19,
    srVoicePage = 20,
    srSceneReturn = 21,
    srEnterSystem = 22,
    srLeaveSystem = 23,
    srMinimize = 24,
};

// The state block: 1199 bytes in save games, little-endian, short strings as length byte and text.
struct TScriptStateBlock {
    static constexpr int32_t kSize = 4 + 4 + 4 + 4 + 1 + 4 + 4 * 64 + 4 + 4 + 5 * 128 + 1 + 1 + 4 + 4 + 4 + 4 + 256;
    static constexpr uint32_t kAllLocks = 0xFFFFFFF;  // 28 bits, not 32

    uint32_t ScriptClock = 0;
    uint32_t Locks = 0;
    uint32_t CustomLocks = 0;
    uint32_t CustomStates = 0;
    TRunMode RunMode = TRunMode::Normal;
    uint32_t LinesPerFrame = 0;
    std::string SaveDescriptions[4];  // capacity 63 each
    uint32_t UpdateMask = 0;
    uint32_t DrawMask = 0;
    std::string LoadScreenFile;  // capacity 127 each
    std::string SaveScreenFile;
    std::string MenuScreenFile;
    std::string LogScreenFile;
    std::string SceneReturnLabel;
    uint8_t SceneSkipEnabled = 0;
    uint8_t CursorVisible = 0;
    uint32_t CursorHideTime = 0;
    int32_t CursorWeightX = 0;
    int32_t CursorWeightY = 0;
    uint32_t TargetParent = 0;
    uint8_t Reserved[256] = {};

    void SetResetValues();
    void Write(TStream& s) const;
    bool Read(TStream& s);  // false, nothing changed, when fewer than kSize bytes remain
};
static_assert(TScriptStateBlock::kSize == 1199);

class TKelScript {
public:
    TKelScript();
    ~TKelScript();
    TKelScript(const TKelScript&) = delete;
    TKelScript& operator=(const TKelScript&) = delete;

    // False without the game context in the links.
    bool Setup(const TScriptLinks& links, TKelScript* parent = nullptr);
    void Reset();
    // The game's error log, the context's.
    TErrorLog& Log() const { return Links.Context->Log; }
    // The game's configuration and message table, the context's.
    TSystemConfig& Config() const { return Links.Context->Config; }
    // The game's pack set, the context's.
    TPackSet& Packs() const { return Links.Context->Packs; }
    uMisc_Math::TRandomState& Random() const { return Links.Context->Random; }  // the context's

    void ExecuteLine(const std::string& statement);
    void ExecuteCommandString(std::string_view text);
    static int32_t CommandCode(std::string_view word) { return Cmd(word); }
    // A label statement: handled when the word is a label; a label inside an open block is
    // reported. Used while no other label handler is set.
    bool DoLabelLine(std::string_view word);
    void UndefinedCommandError(std::string_view statement, std::string_view objectName,
                               const TKelObjectDataCustom* object);
    bool Draw(int32_t interlace, bool cursors, int32_t maxLayer);
    TKelScript& OwnerScript() { return Parent ? *Parent : *this; }
    // The auto mode's wait, kept by the owner script for itself and the interpreters it owns.
    int32_t& AutoModeWait() { return OwnerScript().AutoModeWaitCounter; }
    // The script that words marked as acting on the target work on: the owner script while the
    // target flag is set, else this one.
    TKelScript& TargetScript() { return State.TargetParent != 0 ? OwnerScript() : *this; }

    // The current subroutine depth: routine count - 1.
    int32_t Depth() const { return Thread ? Thread->Count() - 1 : -1; }
    void Evaluate(std::string_view text, TCalcValue& value);
    TCalcValue Evaluate(std::string_view text) {
        TCalcValue v;
        Evaluate(text, v);
        return v;
    }
    std::string GetTextArgument(std::string_view argument);

    void SetResultInt(const std::string& name, int32_t index, int32_t value);
    void SetResultStr(const std::string& name, int32_t index, const std::string& text);
    void SetResultStr(const std::string& name, int32_t index, std::string&& text);
    void SetResultObj(const std::string& name, int32_t index, const std::string& objectName);
    void ResetVariable(const std::string& name);
    void ClearResults();
    void UpdateSelfFileVariables();

    bool SwapObjects(std::string_view name1, std::string_view name2);
    std::unique_ptr<TKelObjectDataCustom> CreateObjectByKind(const std::string& typeName,
                                                             const std::string& objectName);
    bool OnObjectCreate(const std::string& className, const std::string& objectName);
    bool OnObjectDelete(const std::string& objectName);
    bool OnObjectSave(TStream& stream, const std::string& objectName);
    // Raises EStreamError when the object's state cannot be read.
    bool OnObjectLoad(TStream& stream, const std::string& className, const std::string& objectName);
    static int32_t ObjectElementIndex(const TKelObjectDataCustom& object);
    TScriptRoutine* CurrentRoutine() { return Thread ? Thread->TopRoutine() : nullptr; }
    bool OnPathFileExists(const std::string& name);

    // ---- control flow (KelControlLib) ----
    bool DoControlCommand(int32_t code, TStringList& args) {
        return KelControlLib::DoControlCommand(*this, code, args);
    }
    bool DoJumpCommand(int32_t code, TStringList& args) { return KelControlLib::DoJumpCommand(*this, code, args); }
    std::string GetLabelArgument(std::string_view text) { return KelControlLib::GetLabelArgument(*this, text); }
    bool CallSubroutineByLabel(const std::string& label, const std::string& argument) {
        return KelControlLib::CallSubroutineByLabel(*this, label, argument);
    }
    // Resolves the target file of "jmp", "go" and "sub" through the search folders, notifying the
    // file-use feed; empty when no folder holds it. Setup sets it to the search folders' resolve.
    std::function<std::string(const std::string&)> ResolveJumpFile;
    // The kind keyword of an object for messages: the plug-in's type name for kind 34, "none"
    // for a kind outside the table.
    static std::string KindKeyword(const TKelObjectDataCustom& object);

    // ---- frame step (KelScriptFrame) ----
    // One frame step: key actions and system buttons become requests, the pointer reaches the
    // objects, the run modes click by themselves, time runs down the current wait and moves the
    // objects, and statements run until a wait, a frame delay, a request, an error or the budget
    // of lines stops them.
    void Execute(int32_t elapsed, bool inputAllowed);
    // A click at a game-screen point; kNoPoint for a click that hits no object.
    void Click(int32_t x, int32_t y, bool automatic);
    static constexpr int32_t kNoPoint = -65536;
    // The first pressed key binding's action code (0 none, or the table locked); for a known
    // action the request argument becomes the binding's label and number its number text.
    int32_t ReadKeyAction(int32_t& number);
    static int32_t KeyActionCode(std::string_view actionName);
    void StopRunMode();
    // The next frame step counts no elapsed time.
    void HoldFrameSteps() { HoldFrames = 2; }
    // The next frame step runs no statements, unless skipping.
    void DelayFrames() {
        if (!Config().Config.Skipping) FrameDelay = 2;
    }

    bool IsViewAllowed() const;
    bool IsAutoAllowed() const;
    bool IsSkipAllowed() const;
    bool IsSceneLabelSkipAllowed() const;
    // Whether the reading position lies in text read before: the read-text log has passed the
    // current line of the current scene (the current label when it is a scene label, else the
    // innermost routine that returns into one).
    bool IsReadPosition() const;
    bool IsSceneSkipEnabled() const;
    bool CanSceneReturn() const;
    bool SceneReturn();

    // Save files live under "SaveData\"; names are relative to it, and a name that would leave it
    // (KelSaveData::SaveFilePath) names no file: it does not exist and cannot be deleted.
    static bool CheckSaveDirectory(const TFileRoot& root, const std::string& folder);
    static bool SaveFileExists(const TFileRoot& root, const std::string& name);
    static bool DeleteSaveFile(const TFileRoot& root, const std::string& name);

    // ---- save games and the system data (KelSaveGame) ----
    // The whole game into a save file: the system data first (into "SystemData.dat" and its
    // ".bak"), then the body records in their fixed order, with the descriptions of the state
    // block, the newest back-log text and a thumbnail of the screen in the header. The file is
    // replaced only once the new one is complete. False for a name SaveFilePath refuses and when
    // the file could not be written.
    bool SaveGame(const std::string& name, bool compressed);
    // Writes "SystemData.dat", then reads the save file. A file that is missing gives false at
    // once; one that is damaged, cut short or written under another key shows "ReadSaveFileError"
    // and leaves the game as it was. Once the file checks out the interpreter is reset and the
    // records are read back; a record that lies (a count beyond its bytes, a script that is gone)
    // ends the game as a reset request does (IScriptSaveData::ResetAfterFailedLoad) and shows
    // "ReadSaveFileError". True when the game was restored.
    bool LoadGame(const std::string& name);
    // The two halves of SaveGame and LoadGame that work on the save file's bytes: what SaveGame
    // writes into the file, and LoadGame once the file has been read (the container's checks, the
    // reset and the records, with the same failures).
    bool SaveGameToStream(TStream& file, bool compressed);
    bool LoadGameFromStream(TStream& file);
    // The system variables, the file-use log and the read-text log. Only an interpreter without a
    // parent has them: with one both give false; before set-up saving does nothing and gives true.
    bool SaveSystemData(const std::string& name);
    // False, with nothing changed, for a file that is missing, damaged or written under another
    // key; the system variables are also kept when their record lies.
    bool LoadSystemData(const std::string& name);
    // The text without its square-bracketed parts (inline message commands): "[" and "]" move a
    // depth that may go below 0, and a character is kept only at depth 0.
    static std::string StripBracketed(std::string_view text);
    // Whether "SelectSaveData.svd" exists, tested again at every 40th call or with force.
    bool SelectSaveExists(bool force);

    void MouseMoveObjects(int32_t x, int32_t y);
    void MouseDownObjects(int32_t x, int32_t y);
    void SelectLeft() { MoveFocus(0, -1); }
    void SelectRight() { MoveFocus(0, 1); }
    void SelectUp() { MoveFocus(-1, 0); }
    void SelectDown() { MoveFocus(1, 0); }
    void UpdateSystemButtons();
    // True when a system button under the point took the click.
    bool SystemButtonAction(int32_t x, int32_t y);
    void UpdateCursorLabel();
    void ApplyPendingCursorLabel();

    // The feeds of the two label logs: a file the search folders found, a traced line the reader
    // fetched.
    void OnPathFileFound(const std::string& name);
    void OnReaderLine(const std::string& key, int32_t lineOffset);

    // ---- fields ----
    uint8_t Initialised = 0;
    int32_t ExtraElapsed = 0;
    int32_t FrameDelay = 0;
    int32_t HoldFrames = 0;
    int32_t RecentClickFrames = 0;
    int32_t SelectSaveCheckCount = 0;
    uint8_t SelectSaveKnown = 0;
    // Milliseconds that message windows wait before the auto mode clicks on; reached through
    // AutoModeWait().
    int32_t AutoModeWaitCounter = 0;
    TKelScript* Parent = nullptr;
    TScriptLinks Links;
    std::unique_ptr<TScriptThread> Thread;
    std::unique_ptr<TKelObjectManager> Objects;
    std::unique_ptr<TKelReader> Reader;
    std::unique_ptr<TKelPath> Path;
    std::unique_ptr<TKelSystemKey> SystemKeys;
    // The compositor and the camera this interpreter owns, made at Setup by the registry's screen
    // maker; Links.Compositor and Links.Camera point at them unless the host linked its own.
    std::unique_ptr<IScriptCompositor> Graphic;
    std::unique_ptr<IScriptCamera> Camera;
    // The wait cursor ("csr") and the system cursor ("scsr"), made at Setup by the registry's
    // cursor maker unless the host linked its own.
    std::unique_ptr<IScriptCursorImage> CursorImage;
    std::unique_ptr<IScriptCursorImage> SystemCursorImage;
    // Made and loaded at Setup by the same maker; resets keep it, and nothing draws it.
    std::unique_ptr<IScriptCursorImage> SkipIndicator;
    // The text-input dialog's settings, made at Setup unless the host linked its own; save games
    // carry them.
    std::unique_ptr<TKelTextDialog> TextDialog;
    uint8_t Request = 0;
    std::string RequestArgument;
    TScriptStateBlock State;
    uint8_t ReadLogSuspended = 0;
    uint8_t FileLogSuspended = 0;
    std::string FileLogPatterns[64];  // capacity 15 each
    std::string PendingCursorLabel;
    std::string VersionText;

    // ---- seams ----
    // The variable tables; Setup makes the engine's tables (TKelVariables) when none were given
    // before it.
    std::unique_ptr<IScriptVariables> Variables;
    // The expression evaluator; Setup makes the evaluator when none was given before it.
    std::unique_ptr<IScriptEvaluator> Calculation;
    TScriptWordHandlers Words;
    // The kinds of objects the interpreter can make and the words they know: the engine core's
    // registry; without one, only the interpreter's own objects.
    TObjectKindRegistry* Kinds = nullptr;
    // Optional host hooks; unset ones change nothing.
    std::function<void(TKelScript&)> ResetHook;
    // Called by the "ext" words "s" (0) and "i" (1).
    std::function<void(TKelScript&)> ExtensionHooks[2];

    TObjectVariableCallbacks ObjectCallbacks();

private:
    void DeclareBuiltins();
    void ReportUndefinedCommand(std::string_view statement, std::string_view objectName, std::string_view keyword);
    bool RunWaitTest(TScriptRoutine& routine);
    void WriteGameBody(TStream& body);
    // Reads the records into the reset interpreter; false at the first that fails. May raise
    // EStreamError.
    bool ReadGameBody(TStream& body);
    void LoadFailed();
    void MoveFocus(int32_t vStep, int32_t hStep);

    // Statements repeat in loops and subroutines, so each distinct text is split once. The
    // engine's own word handlers get the split itself: they change an argument list only by padding
    // it with empty items (to 9, and "sub" to 19, which the split has room for, so that no item
    // moves), which leaves every later run of the statement with the same arguments. Other handlers
    // get a copy. A split stays where it is while a statement runs, since a handler may run
    // statements; the cache is emptied only between statements.
    struct TSplitStatement {
        int32_t Code = 0;
        bool JumpWord = false;  // KelControlLib::IsJumpWord(Code)
        TStringList Args;
        // The programs of the arguments evaluated, by argument number.
        static constexpr size_t kMemos = 20;
        TEvaluationMemo Memos[kMemos];
    };
    // The split whose arguments the word handlers are working on: evaluating one of them (the
    // very string, not a copy) goes through its memo.
    TSplitStatement* ActiveSplit = nullptr;
    TTextCache<std::unique_ptr<TSplitStatement>> SplitCache;
    // The split of each statement place of the reader's script (see TKelReader::NextStatement), so
    // that a statement met again at its place is not looked up by its text. An entry holds while
    // its epoch is the current one, which changes when the cache is emptied or the reader's places
    // change: a script of many places is not walked then.
    struct TPlaceSplit {
        TSplitStatement* Split = nullptr;
        uint32_t Epoch = 0;
    };
    std::vector<TPlaceSplit> PlaceSplits;
    uint32_t PlaceGeneration = 0;
    uint32_t SplitEpoch = 1;
    void NextSplitEpoch();
    // ExecuteLine of a statement at a place of the reader's script (-1 for none). The text may be
    // a view into the reader's lines, which a handler may replace: it is not read once a handler
    // has run.
    void ExecuteStatement(std::string_view statement, int32_t place);
    bool EngineWordsOnly() const;
    // The argument lists handed to the handlers, one per nesting of ExecuteLine (a handler may run
    // statements), kept so that their storage is reused.
    std::vector<std::unique_ptr<TStringList>> ArgumentBuffers;
    size_t LineNesting = 0;
    void SetSelfFileVariable(const std::string& name, uint32_t hash, TRecordMemo& memo, std::string_view text);
    struct {
        std::string Name;       // the last file UpdateSelfFileVariables met
        size_t FolderSize = 0;  // the length of its folder part
        TRecordMemo NameMemo, PathMemo;
    } SelfFile;
    // The interpreter writes its result and file variables by name many times a frame. With the
    // engine's own tables, the game table and the record of such a name are found through the last
    // few names asked for; nullptr with other tables, or when the table holds no such name.
    TValue* EngineGameTable() const;
    TValueData* GameRecord(TValue& game, const std::string& name);
    struct TNamedRecord {
        std::string Name;
        uint32_t Hash = 0;
        TRecordMemo Memo;
    };
    static constexpr size_t kNamedRecords = 8;
    TNamedRecord NamedRecords[kNamedRecords];
    TRecordMemo ResultMemos[3];  // ResultStr, ResultInt, ResultObj
    size_t NamedRecordCount = 0, NamedRecordNext = 0;
    // Writes element index of a game variable with force, as WriteElement does.
    void WriteResult(const std::string& name, int32_t index, const TCalcValue& value);
    void KeyAction(int32_t action, int32_t number);
    void ClickWait(TScriptRoutine& routine, int32_t x, int32_t y);
    TWaitState MessageWaitState() const;
    bool VoicePlaying() const;
};

namespace KelScriptLib {

// The text between the first "{", double quote, "[" or "(" and its matching closer, taken
// literally (blanks inside braces and quotes kept). Empty for a blank text.
std::string BracketText(std::string_view text);
inline void PadArguments(TStringList& list, int32_t n) {
    while (list.Count() < n)
        list.Add("");
}
// More than 2 bytes, starting "@@".
bool IsLabelWord(std::string_view text);
// More than 2 bytes, starting "@@", third byte not "!".
bool IsSceneLabel(std::string_view text);

}  // namespace KelScriptLib
