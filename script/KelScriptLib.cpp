#include "script/KelScriptLib.h"

#include <algorithm>
#include <array>
#include <typeinfo>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/uMisc.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "script/KelGeneralCommands.h"
#include "script/KelSaveData.h"
#include "script/KelValueLib.h"
#include "script/uKelObjectKinds.h"

namespace {

struct TKindEntry {
    const char* Keyword;
    TObjectKind Kind;
    TObjectCategory Category;
};

// The object kinds the factory knows by keyword, in the order the factory compares them.
constexpr std::array<TKindEntry, 33> kKinds = {{
    {"sys", TObjectKind::System, 0},       {"dat", TObjectKind::GameData, 0},     {"sdat", TObjectKind::SystemData, 0},
    {"snd", TObjectKind::Sound, 0},        {"dsnd", TObjectKind::DirectSound, 0}, {"eff", TObjectKind::Effect, 4},
    {"scsr", TObjectKind::SysCursor, 5},   {"csr", TObjectKind::Cursor, 6},       {"log", TObjectKind::Log, 0},
    {"cam", TObjectKind::Camera, 10},      {"rep", TObjectKind::Replace, 0},      {"path", TObjectKind::Path, 0},
    {"show", TObjectKind::DirectShow, 11}, {"tcp", TObjectKind::TCP, 0},          {"dlg", TObjectKind::Dialog, 0},
    {"slog", TObjectKind::SkipLog, 0},     {"flog", TObjectKind::FileLog, 0},     {"math", TObjectKind::Math, 0},
    {"cfg", TObjectKind::Config, 0},       {"misc", TObjectKind::Misc, 0},        {"inp", TObjectKind::Input, 0},
    {"skey", TObjectKind::SystemKey, 0},   {"clip", TObjectKind::Clipboard, 0},   {"dlgs", TObjectKind::Dialogs, 0},
    {"ext", TObjectKind::Extend, 9},       {"img", TObjectKind::Image, 1},        {"msg", TObjectKind::Message, 2},
    {"btn", TObjectKind::Button, 3},       {"bar", TObjectKind::ScrollBar, 3},    {"simg", TObjectKind::SysImage, 7},
    {"sbtn", TObjectKind::SysButton, 8},   {"file", TObjectKind::File, 0},        {"list", TObjectKind::StringList, 0},
}};

constexpr int32_t kScopeSlots = 16;

}  // namespace

// ---- state block ----

void TScriptStateBlock::SetResetValues() {
    *this = TScriptStateBlock();
    LinesPerFrame = 2048;
    Locks = kAllLocks;
    CustomLocks = kAllLocks;
    UpdateMask = kAllLocks;
    DrawMask = kAllLocks;
    CursorVisible = 1;
    CursorHideTime = 10000;
}

void TScriptStateBlock::Write(TStream& s) const {
    TRecordWriter w(kSize);
    w.U32(ScriptClock);
    w.U32(Locks);
    w.U32(CustomLocks);
    w.U32(CustomStates);
    w.U8(static_cast<uint8_t>(RunMode));
    w.U32(LinesPerFrame);
    for (const auto& d : SaveDescriptions)
        w.Short(d, 63);
    w.U32(UpdateMask);
    w.U32(DrawMask);
    w.Short(LoadScreenFile, 127);
    w.Short(SaveScreenFile, 127);
    w.Short(MenuScreenFile, 127);
    w.Short(LogScreenFile, 127);
    w.Short(SceneReturnLabel, 127);
    w.U8(SceneSkipEnabled);
    w.U8(CursorVisible);
    w.U32(CursorHideTime);
    w.I32(CursorWeightX);
    w.I32(CursorWeightY);
    w.U32(TargetParent);
    for (uint8_t b : Reserved)
        w.U8(b);
    w.WriteTo(s);
}

bool TScriptStateBlock::Read(TStream& s) {
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(s, kSize, bytes)) return false;
    TRecordReader r(bytes);
    ScriptClock = r.U32();
    Locks = r.U32();
    CustomLocks = r.U32();
    CustomStates = r.U32();
    RunMode = static_cast<TRunMode>(r.U8());
    LinesPerFrame = r.U32();
    for (auto& d : SaveDescriptions)
        d = r.Short(63);
    UpdateMask = r.U32();
    DrawMask = r.U32();
    LoadScreenFile = r.Short(127);
    SaveScreenFile = r.Short(127);
    MenuScreenFile = r.Short(127);
    LogScreenFile = r.Short(127);
    SceneReturnLabel = r.Short(127);
    SceneSkipEnabled = r.U8();
    CursorVisible = r.U8();
    CursorHideTime = r.U32();
    CursorWeightX = r.I32();
    CursorWeightY = r.I32();
    TargetParent = r.U32();
    for (auto& b : Reserved)
        b = r.U8();
    return true;
}

// ---- interpreter ----

TKelScript::TKelScript() = default;

TKelScript::~TKelScript() {
    if (Links.SaveData) SaveSystemData(KelSaveData::kSystemDataFile);
    // The variable tables go first: freeing an owning object array frees its objects through the
    // manager, which must still exist then.
    SkipIndicator.reset();
    if (Links.TextDialog == TextDialog.get()) Links.TextDialog = nullptr;
    TextDialog.reset();
    Calculation.reset();
    Variables.reset();
    SystemKeys.reset();
    Objects.reset();
    if (Links.Cursor == CursorImage.get()) Links.Cursor = nullptr;
    CursorImage.reset();
    if (Links.SystemCursor == SystemCursorImage.get()) Links.SystemCursor = nullptr;
    SystemCursorImage.reset();
    if (Links.Camera == Camera.get()) Links.Camera = nullptr;
    Camera.reset();
    Reader.reset();
    Path.reset();
    if (Links.Compositor == Graphic.get()) Links.Compositor = nullptr;
    Graphic.reset();
    Thread.reset();
}

TObjectVariableCallbacks TKelScript::ObjectCallbacks() {
    TObjectVariableCallbacks c;
    c.Create = [this](const std::string& cls, const std::string&, const std::string& element) {
        return OnObjectCreate(cls, element);
    };
    c.Free = [this](const std::string&, const std::string&, const std::string& element) {
        return OnObjectDelete(element);
    };
    c.Save = [this](TStream& s, const std::string&, const std::string&, const std::string& element) {
        return OnObjectSave(s, element);
    };
    c.Load = [this](TStream& s, const std::string& cls, const std::string&, const std::string& element) {
        return OnObjectLoad(s, cls, element);
    };
    c.Log = &Log();
    return c;
}

bool TKelScript::Setup(const TScriptLinks& links, TKelScript* parent) {
    if (!links.Context) return false;  // every interpreter reports into a game's error log
    if (links.SaveData && !links.SaveData->CheckSaveDirectory()) {
        if (links.Dialogs) links.Dialogs->ShowMessage("SaveDirectoryERROR", "OK");
        return false;
    }
    Links = links;
    Parent = parent;
    Thread = std::make_unique<TScriptThread>();
    Thread->Log = &Log();
    Reader = std::make_unique<TKelReader>();
    Reader->Log = &Log();
    Reader->Packs = &Packs();
    Reader->OnLineRead = [this](const std::string& key, int32_t offset) { OnReaderLine(key, offset); };
    Path = std::make_unique<TKelPath>();
    Path->OnFileExists = [this](const std::string& name) { return OnPathFileExists(name); };
    Path->OnFileFound = [this](const std::string& name) { OnPathFileFound(name); };
    ResolveJumpFile = [this](const std::string& name) {
        std::string found;
        Path->Resolve(name, true, found);
        return found;
    };
    SystemKeys = std::make_unique<TKelSystemKey>(Links.Input);
    if (!Links.TextDialog) {
        TextDialog = std::make_unique<TKelTextDialog>(Links.DialogOwner, Links.Forms);
        Links.TextDialog = TextDialog.get();
    }
    if (!Links.Compositor && Kinds && Kinds->ScreenMaker()) {
        (*Kinds->ScreenMaker())(*this);
        Links.Compositor = Graphic.get();
        if (!Links.Camera) Links.Camera = Camera.get();
    }
    if (const TScriptCursorMaker* makeCursor = Kinds ? Kinds->CursorMaker() : nullptr) {
        SkipIndicator = (*makeCursor)(*this, TScriptImageRole::SkipIndicator);
        if (!Links.Cursor) {
            CursorImage = (*makeCursor)(*this, TScriptImageRole::Cursor);
            Links.Cursor = CursorImage.get();
        }
        if (!Links.SystemCursor) {
            SystemCursorImage = (*makeCursor)(*this, TScriptImageRole::SystemCursor);
            Links.SystemCursor = SystemCursorImage.get();
        }
    }
    // The reader's line replacer and the regular expressions of its replace rules are the game's
    // libraries that the engine core links; without them lines stay as they are.
    Reader->LineReplacer = Links.LineReplacer;
    Reader->RegExp = Links.RegExp;
    if (!Words.Control) Words.Control = &KelControlLib::ControlWords();
    if (!Words.Jump) Words.Jump = &KelControlLib::JumpWords();
    Objects = std::make_unique<TKelObjectManager>(Links.Sound, Links.BackLog);
    if (!Variables) {
        // The engine's tables, with the evaluator serving their dimension and index expressions.
        auto tables = std::make_unique<TKelVariables>(ObjectCallbacks());
        if (!Calculation) Calculation = std::make_unique<TKelCalculation>(*tables, &Log());
        Variables = std::move(tables);
    }
    if (!Calculation) Calculation = std::make_unique<TKelCalculation>(*Variables, &Log());
    if (!Words.General) Words.General = &KelGeneralCommands::Handler();
    if (!Parent && Links.SaveData && !LoadSystemData(KelSaveData::kSystemDataFile))
        LoadSystemData(KelSaveData::kSystemDataBackup);
    DeclareBuiltins();
    Reset();
    if (Parent) Variables->UseSystemTableOf(Parent->Variables.get());
    Initialised = 1;
    return true;
}

void TKelScript::DeclareBuiltins() {
    Variables->Clear(TVariableScope::Game);
    Variables->Clear(TVariableScope::Local);
    Objects->Clear();

    auto declare = [this](const std::string& name, const std::string& cls, int32_t count, TCalcValueType type,
                          bool reference, uint16_t flags) {
        const int32_t dims[4] = {count, 1, 1, 1};
        Variables->Declare(TVariableScope::Game, name, cls, dims, 0, type, flags, reference);
    };
    const auto obj = TCalcValueType::Object, integer = TCalcValueType::Integer, str = TCalcValueType::String;
    for (const char* name :
         {"sys", "dat", "sdat", "snd",  "dsnd", "eff", "csr",  "scsr", "log",  "cam",  "rep",  "path", "show",
          "tcp", "dlg", "llog", "flog", "math", "cfg", "misc", "inp",  "skey", "clip", "dlgs", "ext"}) {
        std::string n = name;
        int32_t count = 1;
        if (n == "snd") count = Links.Sound ? Links.Sound->StreamChannelCount() : 0;
        if (n == "dsnd") count = Links.Sound ? Links.Sound->EffectChannelCount() : 0;
        declare(n, n == "llog" ? "slog" : n, count, obj, false, 1);
    }
    declare("ResultInt", "int", 16, integer, false, 3);
    declare("ResultStr", "str", 16, str, false, 3);
    declare("ResultObj", "obj", 16, obj, true, 3);
    declare("ResultStopInt", "Int", 1, integer, false, 1);
    declare("ResultClkInt", "Int", 1, integer, false, 1);
    declare("ResultBtn", "obj", 1, obj, true, 1);
    declare("ResultBtnInt", "int", 4, integer, false, 1);
    declare("ResultBtnStr", "str", 4, str, false, 1);
    declare("NULL", "obj", 1, obj, true, 1);
    declare("NIL", "obj", 1, obj, true, 1);
    declare("_SelectSaveFilename", "str", 1, str, true, 1);
    declare("_BackUpSaveFilename", "str", 1, str, true, 1);
    declare("_QuickSaveFilename", "str", 1, str, true, 1);
    declare("SelfFilePath", "str", 1, str, true, 1);
    declare("SelfFileName", "str", 1, str, true, 1);
    static const char* const locks[] = {"_lkScreen", "_lkSave", "_lkLoad", "_lkConfig", "_lkLog",   "_lkView",
                                        "_lkAuto",   "_lkSkip", "_lkJump", "_lkMenu",   "_lkReset", "_lkMinimize"};
    for (const char* name : locks)
        declare(name, "", 1, integer, false, 1);
    static const char* const soundTypes[] = {"_stBGM", "_stVOICE", "_stSE"};
    for (const char* name : soundTypes)
        declare(name, "", 1, integer, false, 1);

    SetResultObj("NULL", 0, "");
    SetResultObj("NIL", 0, "");
    SetResultStr("_SelectSaveFilename", 0, "SelectSaveData.svd");
    SetResultStr("_BackUpSaveFilename", 0, "BackUpSaveData.svd");
    SetResultStr("_QuickSaveFilename", 0, "QuickSaveData.svd");
    for (int i = 0; i < 12; ++i)
        SetResultInt(locks[i], 0, 1 << i);
    for (int i = 0; i < 3; ++i)
        SetResultInt(soundTypes[i], 0, i);
}

void TKelScript::Reset() {
    if (ResetHook) ResetHook(*this);
    SelectSaveExists(true);
    if (Links.Input) Links.Input->Reset();
    DeclareBuiltins();
    Reader->Reset();
    Reader->ClearReplace();
    Path->Clear();
    if (Links.Compositor) Links.Compositor->Clear();
    if (Links.Camera) Links.Camera->Reset();
    if (Links.Cursor) Links.Cursor->Clear();
    if (Links.SystemCursor) Links.SystemCursor->Clear();
    SystemKeys->Clear();
    Thread->Clear();
    Thread->Add()->Add()->Kind = TBlockKind::RoutineRoot;
    StopRunMode();
    State.SetResetValues();
    ReadLogSuspended = 0;
    FileLogSuspended = 0;
    for (auto& p : FileLogPatterns)
        p.clear();
    AutoModeWait() = 0;
    ExtraElapsed = FrameDelay = HoldFrames = RecentClickFrames = 0;
    PendingCursorLabel.clear();
    if (Links.Compositor) Links.Compositor->InvalidateAll();
    Draw(0, true, 0xFFFF);
}

// ---- dispatch ----

void TKelScript::ExecuteLine(const std::string& statement) {
    ExecuteStatement(statement, -1);
}

void TKelScript::ExecuteStatement(std::string_view statement, int32_t place) {
    TSplitStatement* split = nullptr;
    std::unique_ptr<TSplitStatement> uncached;
    std::string_view text = statement;
    if (place >= 0 && PlaceGeneration != Reader->PlaceGeneration()) {
        NextSplitEpoch();
        PlaceGeneration = Reader->PlaceGeneration();
    }
    // The reader's cuts are trimmed, and a place gets a split only for a statement that runs.
    if (place >= 0 && static_cast<size_t>(place) < PlaceSplits.size() &&
        PlaceSplits[static_cast<size_t>(place)].Epoch == SplitEpoch)
        split = PlaceSplits[static_cast<size_t>(place)].Split;
    if (!split) {
        text = KelCalculationLib::Trim(statement);
        if (text.empty() || (text[0] != '\\' && text[0] != '@')) return;
        if (std::unique_ptr<TSplitStatement>* found = SplitCache.Find(text)) {
            split = found->get();
        } else {
            constexpr size_t kSplitCacheLimit = 4096;
            if (SplitCache.Size() >= kSplitCacheLimit && LineNesting == 0) {
                SplitCache.Clear();
                NextSplitEpoch();
            }
            uncached = std::make_unique<TSplitStatement>();
            uncached->Args = KelCalculationLib::SplitParameters(text, ',', 9);
            uncached->Args.Items.reserve(19);
            uncached->Code = Cmd(uncached->Args[0]);
            uncached->JumpWord = KelControlLib::IsJumpWord(uncached->Code);
            split = uncached.get();
            if (SplitCache.Size() < kSplitCacheLimit) SplitCache.Insert(text, std::move(uncached));
        }
        if (place >= 0 && !uncached) {
            if (PlaceSplits.size() <= static_cast<size_t>(place)) PlaceSplits.resize(static_cast<size_t>(place) + 1);
            PlaceSplits[static_cast<size_t>(place)] = {split, SplitEpoch};
        }
    }
    const int32_t code = split->Code;
    if (ArgumentBuffers.size() <= LineNesting) ArgumentBuffers.push_back(std::make_unique<TStringList>());
    TStringList& copy = *ArgumentBuffers[LineNesting];
    const bool engineWords = EngineWordsOnly();
    // The text for the messages of the object handlers, kept before any handler runs that might
    // move the reader; the engine's words leave it alone when they decline a statement.
    std::string kept;
    if (!engineWords) kept.assign(text);
    if (!engineWords) copy.Items = split->Args.Items;
    TStringList& args = engineWords ? split->Args : copy;
    struct TNesting {
        size_t& Depth;
        TSplitStatement*& Active;
        TSplitStatement* Outer;
        TNesting(size_t& depth, TSplitStatement*& active, TSplitStatement* split)
            : Depth(depth), Active(active), Outer(active) {
            ++Depth;
            Active = split;
        }
        ~TNesting() {
            --Depth;
            Active = Outer;
        }
    } nesting(LineNesting, ActiveSplit, engineWords ? split : nullptr);

    auto offer = [&](IScriptWordHandler* h) { return h && h->Handle(*this, code, args); };
    // The engine's jump words decline every other word without a trace, so they are not asked.
    bool handled = offer(Words.Control) || ((split->JumpWord || !engineWords) && offer(Words.Jump)) ||
                   (Words.Label ? offer(Words.Label) : DoLabelLine(args[0])) || offer(Words.General);
    if (!handled) {
        if (engineWords) kept.assign(text);
        // The object handlers get their own copy of the arguments.
        if (engineWords) copy.Items = split->Args.Items;
        // The names are copied and every object is looked up again for each handler call: a
        // handler may reset the interpreter, free objects or drop the routine.
        std::string scope[kScopeSlots];
        if (TScriptRoutine* r = CurrentRoutine())
            for (int i = 0; i < kScopeSlots; ++i)
                scope[i] = r->ScopeNames[i];
        if (scope[0].empty()) {
            Log().ErrorLog("オブジェクトが指定されていません。\\scpで指定してください。"_sj);
        } else {
            for (int i = 0; i < kScopeSlots && !scope[i].empty(); ++i) {
                TKelScript& owner = TargetScript();
                TKelObjectDataCustom* object = owner.Objects ? owner.Objects->Find(scope[i]) : nullptr;
                if (!object) {
                    Log().ErrorLog("未定義のオブジェクト："_sj + scope[i]);
                    continue;
                }
                std::string keyword = KindKeyword(*object);
                const TObjectCommandHandler* handler = Kinds ? Kinds->Handler(object->Kind()) : nullptr;
                if (!handler || !(*handler)(*this, code, copy, *object))
                    ReportUndefinedCommand(kept, scope[i], keyword);
            }
        }
    }
    if (Log().ErrorFlag) Log().WriteErrorLog("[位置]:"_sj + Reader->GetPositionText());
}

namespace {
// The engine's own word handlers, compared with the set ones for every statement.
IScriptWordHandler* const kEngineControl = &KelControlLib::ControlWords();
IScriptWordHandler* const kEngineJump = &KelControlLib::JumpWords();
IScriptWordHandler* const kEngineGeneral = &KelGeneralCommands::Handler();
}  // namespace

void TKelScript::NextSplitEpoch() {
    // After four thousand million epochs the old entries could look current again: they go.
    if (++SplitEpoch == 0) {
        PlaceSplits.clear();
        SplitEpoch = 1;
    }
}

bool TKelScript::EngineWordsOnly() const {
    return Words.Control == kEngineControl && Words.Jump == kEngineJump && !Words.Label &&
           Words.General == kEngineGeneral;
}

bool TKelScript::DoLabelLine(std::string_view word) {
    if (!KelScriptLib::IsLabelWord(word)) return false;
    if (TScriptRoutine* r = CurrentRoutine(); r && r->Count() > 1)
        Log().ErrorLog("\\if～\\fi/\\for～\\next間にラベルを設置しないでください"_sj);
    UpdateSelfFileVariables();
    return true;
}

void TKelScript::ExecuteCommandString(std::string_view text) {
    std::unique_ptr<TStringList> pieces = uMisc::SplitString("\\", text, true, true, 0);
    if (!pieces) return;
    for (int i = 1; i < pieces->Count(); ++i)
        if (!(*pieces)[i].empty()) ExecuteLine("\\" + (*pieces)[i]);
}

std::string TKelScript::KindKeyword(const TKelObjectDataCustom& object) {
    if (object.Kind() == TObjectKind::DLLObject) return object.PluginTypeName();
    if (object.Kind() == TObjectKind::SkipLog) return "slog";
    for (const auto& k : kKinds)
        if (k.Kind == object.Kind()) return k.Keyword;
    return "none";
}

void TKelScript::ReportUndefinedCommand(std::string_view statement, std::string_view objectName,
                                        std::string_view keyword) {
    Log().ErrorLog("未定義の命令："_sj + std::string(objectName) + "(" + std::string(keyword) + ")." +
                   std::string(statement));
}

void TKelScript::UndefinedCommandError(std::string_view statement, std::string_view objectName,
                                       const TKelObjectDataCustom* object) {
    ReportUndefinedCommand(statement, objectName, object ? KindKeyword(*object) : std::string("none"));
}

bool TKelScript::Draw(int32_t interlace, bool cursors, int32_t maxLayer) {
    cursors = cursors && State.RunMode != TRunMode::View;
    if (cursors) {
        if (Links.Cursor) Links.Cursor->Draw(State.DrawMask);
        if (Links.SystemCursor) Links.SystemCursor->Draw(State.DrawMask);
    }
    if (Objects)
        Objects->Draw(Links.Compositor ? Links.Compositor->CellDraw() : nullptr, State.DrawMask, CategoryRange(1, 11),
                      cursors);
    return Links.Compositor ? Links.Compositor->Render(interlace, maxLayer) : false;
}

// ---- arguments and results ----

void TKelScript::Evaluate(std::string_view text, TCalcValue& value) {
    if (!Calculation) {
        value = TCalcValue::ErrorValue();
        return;
    }
    if (ActiveSplit) {
        const std::vector<std::string>& items = ActiveSplit->Args.Items;
        const size_t n = std::min(items.size(), TSplitStatement::kMemos);
        // A short argument keeps its text inside its string, so the text's address tells which
        // argument it may be; a long one is searched for. Either is taken only when it is the
        // very string.
        const auto at = reinterpret_cast<uintptr_t>(text.data()), base = reinterpret_cast<uintptr_t>(items.data());
        size_t k = at >= base ? (at - base) / sizeof(std::string) : n;
        if (k >= n || items[k].data() != text.data()) {
            k = n;
            if (text.size() >= sizeof(std::string))
                for (size_t i = 1; i < n && k == n; ++i)
                    if (items[i].data() == text.data()) k = i;
        }
        if (k < n && items[k].size() == text.size()) {
            Calculation->Calculate(text, Depth(), value, ActiveSplit->Memos[k]);
            return;
        }
    }
    Calculation->Calculate(text, Depth(), value);
}

std::string TKelScript::GetTextArgument(std::string_view argument) {
    if (argument.empty()) return {};
    if (argument[0] == '{') return KelScriptLib::BracketText(argument);
    return Evaluate(argument).Text;
}

TValue* TKelScript::EngineGameTable() const {
    // The engine's tables (final) are told by their type alone, which is cheaper than a cast.
    const IScriptVariables* variables = Variables.get();
    if (!variables || typeid(*variables) != typeid(TKelVariables)) return nullptr;
    return &static_cast<const TKelVariables*>(variables)->GameVariables();
}

TValueData* TKelScript::GameRecord(TValue& game, const std::string& name) {
    TNamedRecord* entry = nullptr;
    for (size_t i = 0; i < NamedRecordCount && !entry; ++i)
        if (NamedRecords[i].Name.size() == name.size() &&
            EqualBytes(NamedRecords[i].Name.data(), name.data(), name.size()))
            entry = &NamedRecords[i];
    if (!entry) {
        entry = &NamedRecords[NamedRecordNext];
        NamedRecordNext = (NamedRecordNext + 1) % kNamedRecords;
        if (NamedRecordCount < kNamedRecords) ++NamedRecordCount;
        entry->Name = name;
        entry->Hash = KelValueLib::NameHash(name);
        entry->Memo = {};
    }
    return game.FindRecord(name, entry->Hash, 0, entry->Memo);
}

void TKelScript::WriteResult(const std::string& name, int32_t index, const TCalcValue& value) {
    if (TValue* game = EngineGameTable())
        if (TValueData* record = GameRecord(*game, name)) {
            game->WriteRecord(*record, index, 0, 0, 0, value, true);
            return;
        }
    TVariableIndexes idx;
    idx.I[0] = index;
    Variables->WriteElement(TVariableScope::Game, name, idx, 0, value, true);
}

void TKelScript::SetResultInt(const std::string& name, int32_t index, int32_t value) {
    WriteResult(name, index, TCalcValue::Int(value));
}

void TKelScript::SetResultStr(const std::string& name, int32_t index, const std::string& text) {
    SetResultStr(name, index, std::string(text));
}

void TKelScript::SetResultStr(const std::string& name, int32_t index, std::string&& text) {
    // Every word that returns a text returns it here, so one test covers them all.
    if (text.size() > kMaxTextSize) {
        Log().ErrorLog(KelCalculationLib::TextTooLongMessage() + ":" + name);
        WriteResult(name, index, TCalcValue::Str(std::string()));
        return;
    }
    WriteResult(name, index, TCalcValue::Str(std::move(text)));
}

void TKelScript::SetResultObj(const std::string& name, int32_t index, const std::string& objectName) {
    WriteResult(name, index, {TCalcValueType::Object, 0, objectName});
}

void TKelScript::ResetVariable(const std::string& name) {
    if (TValue* game = EngineGameTable())
        if (TValueData* record = GameRecord(*game, name)) {
            game->InitRecord(*record, name, true);
            return;
        }
    Variables->InitVariable(TVariableScope::Game, name, 0, true);
}

void TKelScript::ClearResults() {
    // Most words that give results empty them first: the three records are found through memos.
    struct TResultName {
        std::string Name;
        uint32_t Hash;
    };
    static const TResultName names[3] = {{"ResultStr", KelValueLib::NameHash("ResultStr")},
                                         {"ResultInt", KelValueLib::NameHash("ResultInt")},
                                         {"ResultObj", KelValueLib::NameHash("ResultObj")}};
    TValue* game = EngineGameTable();
    for (size_t k = 0; k < 3; ++k) {
        TValueData* record = game ? game->FindRecord(names[k].Name, names[k].Hash, 0, ResultMemos[k]) : nullptr;
        if (record)
            game->InitRecord(*record, names[k].Name, true);
        else
            Variables->InitVariable(TVariableScope::Game, names[k].Name, 0, true);
    }
}

void TKelScript::UpdateSelfFileVariables() {
    const std::string& file = Reader->CurrentLabelFile();  // lower-cased
    // The same file is met again and again: its folder part is kept.
    if (SelfFile.Name.size() != file.size() || !EqualBytes(SelfFile.Name.data(), file.data(), file.size())) {
        size_t cut = 0;
        for (size_t i = 0; i < file.size(); ++i) {
            if (uMisc::IsSJISLeadByte(static_cast<uint8_t>(file[i]))) {
                ++i;
                continue;
            }
            if (file[i] == '\\' || file[i] == ':') cut = i + 1;
        }
        SelfFile.Name = file;
        SelfFile.FolderSize = cut;
    }
    static const std::string kName = "SelfFileName", kPath = "SelfFilePath";
    static const uint32_t kNameHash = KelValueLib::NameHash(kName), kPathHash = KelValueLib::NameHash(kPath);
    SetSelfFileVariable(kName, kNameHash, SelfFile.NameMemo, file);
    SetSelfFileVariable(kPath, kPathHash, SelfFile.PathMemo, std::string_view(file).substr(0, SelfFile.FolderSize));
}

// Both are written after every label line and jump, mostly with the text they hold already; such
// a write changes nothing and is left out.
void TKelScript::SetSelfFileVariable(const std::string& name, uint32_t hash, TRecordMemo& memo, std::string_view text) {
    if (TValue* game = EngineGameTable()) {
        const TValueData* record = game->FindRecord(name, hash, 0, memo);
        const TValueArrayCustom* array = record ? record->Array() : nullptr;
        if (array && array->ElementType == TCalcValueType::String && array->Count > 0 &&
            static_cast<const TValueArrayString*>(array)->Items[0] == text)
            return;
    }
    SetResultStr(name, 0, std::string(text));
}

// ---- objects ----

std::unique_ptr<TKelObjectDataCustom> TKelScript::CreateObjectByKind(const std::string& typeName,
                                                                     const std::string& objectName) {
    std::string low = ClassLib::LowerAscii(typeName);
    // Plug-in type names are compared last, and the last match decides: they replace keywords.
    if (Links.Plugins && Kinds)
        if (const TPluginObjectMaker* make = Kinds->PluginMaker())
            if (std::unique_ptr<TKelObjectDataCustom> object = (*make)(*Links.Plugins, low, objectName)) return object;
    if (Kinds)
        if (const TObjectFactory* f = Kinds->Factory(low)) return (*f)(*this, objectName);
    for (const auto& k : kKinds) {
        if (low != k.Keyword) continue;
        std::unique_ptr<TKelObjectDataCustom> object = uKelObjectKinds::CreateObject(k.Kind, objectName, Packs());
        // The elements of "snd" and "dsnd" show the channel records of the linked sound library.
        if (auto* channel = dynamic_cast<TKelObjectDataSoundChannel*>(object.get()); channel && Links.Sound)
            channel->Library = Links.Sound->Channels(k.Kind == TObjectKind::DirectSound);
        return object;
    }
    return nullptr;
}

bool TKelScript::OnObjectCreate(const std::string& className, const std::string& objectName) {
    std::unique_ptr<TKelObjectDataCustom> object = CreateObjectByKind(className, objectName);
    return object && Objects->Add(object);
}

bool TKelScript::OnObjectDelete(const std::string& objectName) {
    return Objects && Objects->Remove(objectName);
}

bool TKelScript::OnObjectSave(TStream& stream, const std::string& objectName) {
    TKelObjectDataCustom* object = Objects->Find(objectName);
    return object && object->SaveToStream(stream);
}

bool TKelScript::OnObjectLoad(TStream& stream, const std::string& className, const std::string& objectName) {
    std::unique_ptr<TKelObjectDataCustom> object = CreateObjectByKind(className, objectName);
    if (!object) return false;
    // A state that cannot be read leaves the stream at an unknown place: whoever reads the stream
    // must stop there, so this is a stream error, not a failed element.
    if (!object->LoadFromStream(stream)) throw EStreamError("object state unreadable: " + objectName);
    return Objects->Add(object);
}

int32_t TKelScript::ObjectElementIndex(const TKelObjectDataCustom& object) {
    size_t comma = object.Name().find(',');
    if (comma == std::string::npos) return 0;
    int64_t v = 0;
    std::string rest = object.Name().substr(comma + 1);
    if (!KelCalculationLib::TryStrToInt64(rest, v) || v < INT32_MIN || v > INT32_MAX) return 0;
    return static_cast<int32_t>(v);
}

bool TKelScript::SwapObjects(std::string_view name1, std::string_view name2) {
    TKelObjectDataCustom* a = Objects->Find(name1);
    TKelObjectDataCustom* b = Objects->Find(name2);
    if (!a || !b || a == b || a->Kind() != b->Kind()) return false;
    switch (a->Kind()) {
        case TObjectKind::Sound:
        case TObjectKind::DirectSound:
            return Links.Sound && Links.Sound->SwapChannels(a->Kind() == TObjectKind::DirectSound,
                                                            ObjectElementIndex(*a), ObjectElementIndex(*b));
        case TObjectKind::Image:
        case TObjectKind::Message:
        case TObjectKind::Button:
        case TObjectKind::ScrollBar:
        case TObjectKind::SysImage:
        case TObjectKind::SysButton:
        case TObjectKind::File:
        case TObjectKind::StringList:
        case TObjectKind::DLLObject:
            return a->SwapEngineObject(*b);
        default:
            return false;
    }
}

bool TKelScript::OnPathFileExists(const std::string& name) {
    return !Packs().ResolveFileName(name).empty();
}

// ---- argument routines ----

namespace KelScriptLib {

std::string BracketText(std::string_view text) {
    std::string out;
    if (KelCalculationLib::Trim(text).empty()) return out;
    char closer = 0;
    int32_t braces = 0, brackets = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (uMisc::IsSJISLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size()) {
            if (closer) out.append(text.substr(i, 2));
            ++i;
            continue;
        }
        char c = text[i];
        if (!quoted && braces == 0 && static_cast<uint8_t>(c) <= 32) continue;
        if (c == '{')
            ++braces;
        else if (c == '}')
            --braces;
        else if (c == '"' && braces == 0)
            quoted = !quoted;
        else if (!quoted && (c == '[' || c == '('))
            ++brackets;
        else if (!quoted && (c == ']' || c == ')'))
            --brackets;
        if (!closer) {
            if (c == '{')
                closer = '}';
            else if (c == '"')
                closer = '"';
            else if (c == '[')
                closer = ']';
            else if (c == '(')
                closer = ')';
            continue;
        }
        if (c == closer && brackets == 0 && !quoted && braces == 0) break;
        out.push_back(c);
    }
    return out;
}

bool IsLabelWord(std::string_view text) {
    return text.size() > 2 && text[0] == '@' && text[1] == '@';
}

bool IsSceneLabel(std::string_view text) {
    return text.size() > 2 && text[0] == '@' && text[1] == '@' && text[2] != '!';
}

}  // namespace KelScriptLib
