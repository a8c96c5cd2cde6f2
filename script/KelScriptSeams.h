// The interpreter's seams: the small interfaces through which the script engine reaches what is
// built outside it (the display, sound, the host) or what is built after it (the variable tables,
// the control-flow and general words, the handlers of the object kinds). The engine declares them
// here; whoever provides a service fills it in at set-up. A seam that is not filled is skipped:
// the interpreter runs without a display or sound, and a word whose handler does not exist yet is
// reported as an undefined command, like any unknown word.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ClassLib.h"
#include "script/KelCalcValue.h"
#include "script/KelObjectSeams.h"

class TKelScript;
class TKelObjectDataCustom;
class TARGB8888CellDraw;
// Built by later subsystems; the interpreter only links them and hands them to their words.
class TKelDirectShowPlayer;
class TKelLogData;
class TKelTextDialog;
class TKelDLLCustomObject;
class TLabelLog;
class TSound;
class TInput;
class TMediaContext;
class TErrorLog;     // foundation/ErrorLogLib.h
class TGameContext;  // foundation/GameContext.h
class IDialogOwner;  // platform/Dialogs.h
class IScriptForms;  // platform/ScriptForms.h
class IClipboard;
class IDesktop;
class TFileRoot;  // platform/FileRoot.h
class IClock;     // platform/Clock.h
class IDialogs;   // platform/Dialogs.h

// ---- script reader ----

// The optional line-replace library: rewrites one script line. Lines handed to it are shorter
// than 1024 bytes (the library works in a buffer of that size).
class IScriptLineReplacer {
public:
    virtual ~IScriptLineReplacer() = default;
    virtual std::string Replace(const std::string& line) = 0;
    // False while Replace would give every line back unchanged, so that callers may skip it.
    virtual bool Active() const { return true; }
};

// The regular-expression library as the reader's replace rules and the string words use it.
class IScriptRegExp {
public:
    virtual ~IScriptRegExp() = default;
    // The whole match and each group; empty when nothing matches.
    virtual std::vector<std::string> Match(const std::string& pattern, const std::string& text) = 0;
    virtual std::vector<std::string> Split(const std::string& pattern, const std::string& text, int32_t limit) = 0;
    // The text after the substitution or translation the pattern describes; unchanged on failure.
    virtual std::string Substitute(const std::string& pattern, const std::string& text) = 0;
    virtual std::string Translate(const std::string& pattern, const std::string& text) = 0;
};

// ---- expressions and variables ----

enum class TVariableScope : uint8_t { None = 0, System = 1, Game = 2, Local = 3 };

// Element indexes, I[0] being the last one written (a[i,j] has I[0] = j, I[1] = i).
struct TVariableIndexes {
    int32_t I[4] = {0, 0, 0, 0};
};

// How declaring, freeing, saving and loading an element of an owning object array reaches the
// interpreter's script objects. Arguments: the array's class name (the type keyword it was declared
// with), the variable name, the element's object name. Any may be unset. They are called from
// destructors as well, so they must not throw.
struct TObjectVariableCallbacks {
    // Creates the object; false on failure.
    std::function<bool(const std::string& className, const std::string& variableName, const std::string& elementName)>
        Create;
    // Removes and frees the object; false when it cannot.
    std::function<bool(const std::string& className, const std::string& variableName, const std::string& elementName)>
        Free;
    // Writes the object's state.
    std::function<bool(TStream& stream, const std::string& className, const std::string& variableName,
                       const std::string& elementName)>
        Save;
    // Creates the object if needed and reads its state, consuming exactly what Save wrote. May raise
    // EStreamError on a short stream.
    std::function<bool(TStream& stream, const std::string& className, const std::string& variableName,
                       const std::string& elementName)>
        Load;
    // Where the tables write their messages; none: they are not written.
    TErrorLog* Log = nullptr;
};

// The three variable tables (system, game, local) with their scope search. Names are bare (no
// index list). Reads and writes take the caller's depth; the tables use it for the local scope
// and level 0 for the others. Faults are reported to the error log while reporting is on.
class IScriptVariables {
public:
    virtual ~IScriptVariables() = default;
    virtual void SetErrorReport(bool on) = 0;
    // Local table at exactly this level, then the game table, then the system table.
    virtual TVariableScope FindVariable(std::string_view name, int32_t level) = 0;
    // An integer element comes with its decimal text, a string element with its integer reading,
    // an object element as (Object, 0, name). False with the error value when it cannot be read.
    virtual bool ReadElement(TVariableScope scope, std::string_view name, const TVariableIndexes& idx, int32_t level,
                             TCalcValue& value, bool force) = 0;
    // The value takes the element type: integers store the value field, strings and object names
    // the text field.
    virtual bool WriteElement(TVariableScope scope, std::string_view name, const TVariableIndexes& idx, int32_t level,
                              const TCalcValue& value, bool force) = 0;
    // dims[0] is the last dimension written; each at least 1. type: Integer, String or Object.
    virtual bool Declare(TVariableScope scope, const std::string& name, const std::string& className,
                         const int32_t dims[4], int32_t level, TCalcValueType type, uint16_t flags, bool reference) = 0;
    virtual bool InitVariable(TVariableScope scope, std::string_view name, int32_t level, bool force) = 0;
    // Frees every record of the table (owned objects through the free callback).
    virtual void Clear(TVariableScope scope) = 0;
    // Frees the local records whose owner level is above the level.
    virtual void DeleteAboveOwner(int32_t level) = 0;
    // Makes the system scope that of another set of tables (the game script's), so that two
    // interpreters share one set of system variables; nullptr returns to the own table.
    virtual void UseSystemTableOf(IScriptVariables* other) = 0;
    // The names of a table's variables at level 0, for tools that show a game's state; tables
    // that cannot list themselves give none.
    virtual std::vector<std::string> VariableNames(TVariableScope /*scope*/) { return {}; }

    // A declaration as scripts write it: a name with an optional bracketed list of up to four
    // dimension expressions, evaluated at the level (a value below 1 gives 1). False, silently,
    // when the name is visible from this level already.
    virtual bool DeclareVariable(std::string_view /*declaration*/, const std::string& /*className*/, bool /*reference*/,
                                 uint16_t /*flags*/, TVariableScope /*scope*/, TCalcValueType /*type*/,
                                 int32_t /*level*/) {
        return false;
    }
    // Frees the variable the scope search finds, unless it is not deletable. True when found.
    virtual bool DeleteVariable(std::string_view /*name*/, int32_t /*level*/) { return false; }
    // One table in its stream format (save games, the system-data file). Loading clears the table
    // first; false when the stream is damaged or too short.
    virtual void SaveToStream(TVariableScope /*scope*/, TStream& /*stream*/) {}
    virtual bool LoadFromStream(TVariableScope /*scope*/, TStream& /*stream*/) { return false; }
};

// The expression evaluator as the interpreter calls it.
// What an evaluator may keep for one expression text (its compiled form) with whoever asks for
// that text again and again, so that the next evaluation need not find it by the text. Empty
// until the evaluator fills it; it stands for the text it was filled for and for nothing else.
struct TEvaluationMemo {
    const void* Owner = nullptr;
    std::shared_ptr<const void> Program;
};

class IScriptEvaluator {
public:
    virtual ~IScriptEvaluator() = default;
    // Evaluates for the owner level (the subroutine depth whose local variables are visible).
    // Faults are reported and give the error value.
    virtual void Calculate(std::string_view text, int32_t level, TCalcValue& result) = 0;
    // The same, for a caller that keeps a memo beside the text; the result is the same.
    virtual void Calculate(std::string_view text, int32_t level, TCalcValue& result, TEvaluationMemo&) {
        Calculate(text, level, result);
    }
    virtual void SetErrorReport(bool on) = 0;
};

// ---- word handlers ----

// A handler of statement words. Returns whether the word is its own, also when it failed.
// args[0] is the command word with its backslash, args[1..] the unevaluated arguments (at least 9
// items in all).
class IScriptWordHandler {
public:
    virtual ~IScriptWordHandler() = default;
    virtual bool Handle(TKelScript& script, int32_t code, TStringList& args) = 0;
};

// The handlers that see a statement before the object kinds, in this order.
struct TScriptWordHandlers {
    IScriptWordHandler* Control = nullptr;  // if, else, then, fi, end, next, for, case, ans
    IScriptWordHandler* Jump = nullptr;     // jmp, go, sub, ret, brk, cnt
    IScriptWordHandler* Label = nullptr;    // a statement that is a label ("@@...")
    IScriptWordHandler* General = nullptr;  // the words that need no object
};

// ---- object kinds ----

// A handler of the words of one object kind: (script, code, arguments, object) -> handled.
using TObjectCommandHandler = std::function<bool(TKelScript&, int32_t, TStringList&, TKelObjectDataCustom&)>;
// Makes the script object of a kind under the given name; nullptr when it cannot.
using TObjectFactory = std::function<std::unique_ptr<TKelObjectDataCustom>(TKelScript&, const std::string&)>;
// Gives an interpreter the compositor and the camera it owns (TKelScript::Graphic and Camera).
using TScriptScreenMaker = std::function<void(TKelScript&)>;
class IScriptCursorImage;
class IScriptSaveRecords;
// The images an interpreter owns beside its script objects.
enum class TScriptImageRole : uint8_t {
    Cursor = 0,        // the wait cursor, kind "csr"
    SystemCursor = 1,  // the system cursor, kind "scsr"
    SkipIndicator = 2,
};
// Makes one of those images; the skip indicator comes loaded.
using TScriptCursorMaker = std::function<std::unique_ptr<IScriptCursorImage>(TKelScript&, TScriptImageRole)>;
// Makes the script object of a plug-in type from the interpreter's plug-in set (TScriptLinks::
// Plugins): (set, lower-cased type name, object name); nullptr when no library of the set brings
// that type.
using TPluginObjectMaker = std::function<std::unique_ptr<TKelObjectDataCustom>(
    TKelDLLCustomObject&, const std::string& lowerTypeName, const std::string& objectName)>;

// Where the handlers of the object kinds and the makers of their objects register. The kinds that
// carry no engine object are made by the interpreter itself; a registered factory replaces that.
// Plug-in types (kind 34) come from the interpreter's linked plug-in set through the plug-in maker
// and go before every keyword and registered factory, so that a plug-in's type name replaces them.
class TObjectKindRegistry {
public:
    TObjectKindRegistry();
    ~TObjectKindRegistry();
    TObjectKindRegistry(const TObjectKindRegistry&) = delete;
    TObjectKindRegistry& operator=(const TObjectKindRegistry&) = delete;

    void RegisterHandler(TObjectKind kind, TObjectCommandHandler handler);
    void RegisterFactory(const std::string& typeName, TObjectFactory factory);
    void UnregisterFactory(const std::string& typeName);
    const TObjectCommandHandler* Handler(TObjectKind kind) const;
    const TObjectFactory* Factory(const std::string& lowerTypeName) const;
    // The subsystem of screen objects registers the maker of each interpreter's compositor and
    // camera; without one an interpreter has neither unless its host links them.
    void RegisterScreenMaker(TScriptScreenMaker maker) { ScreenMakerFunction = std::move(maker); }
    const TScriptScreenMaker* ScreenMaker() const { return ScreenMakerFunction ? &ScreenMakerFunction : nullptr; }
    // The same for the cursor images and the skip indicator; without a maker an interpreter has
    // only the cursors its host links, and no skip indicator.
    void RegisterCursorMaker(TScriptCursorMaker maker) { CursorMakerFunction = std::move(maker); }
    const TScriptCursorMaker* CursorMaker() const { return CursorMakerFunction ? &CursorMakerFunction : nullptr; }
    // The records of save games that belong to services above the script engine; without them a
    // save holds the interpreter's own records only. The registry keeps them.
    void RegisterSaveRecords(std::unique_ptr<IScriptSaveRecords> records);
    IScriptSaveRecords* SaveRecords() const { return SaveRecordService.get(); }
    // The subsystem of plug-in objects registers the maker of their script objects; without one, or
    // without a linked plug-in set, an interpreter knows no plug-in type.
    void RegisterPluginMaker(TPluginObjectMaker maker) { PluginMakerFunction = std::move(maker); }
    const TPluginObjectMaker* PluginMaker() const { return PluginMakerFunction ? &PluginMakerFunction : nullptr; }

private:
    std::map<TObjectKind, TObjectCommandHandler> Handlers;
    std::map<std::string, TObjectFactory> Factories;
    TScriptScreenMaker ScreenMakerFunction;
    TScriptCursorMaker CursorMakerFunction;
    std::unique_ptr<IScriptSaveRecords> SaveRecordService;
    TPluginObjectMaker PluginMakerFunction;
};

// ---- services of the host and of later subsystems ----

// The frame compositor of the interpreter.
class IScriptCompositor {
public:
    virtual ~IScriptCompositor() = default;
    virtual void Clear() = 0;
    virtual void InvalidateAll() = 0;  // every band is drawn again
    virtual bool Render(int32_t interlace, int32_t maxLayer) = 0;
    // The target that the script objects draw into; none without a display.
    virtual TARGB8888CellDraw* CellDraw() { return nullptr; }
    // The background colour, 0x00RRGGBB.
    virtual uint32_t BackgroundColor() { return 0; }
    // Runs the screen transition on by the frame's time.
    virtual void UpdateTransition(int32_t /*elapsed*/) {}
};

// The colour of the host's window, in the window system's order 0x02BBGGRR.
class IScriptWindowColor {
public:
    virtual ~IScriptWindowColor() = default;
    virtual uint32_t Color() = 0;
    virtual void SetColor(uint32_t color) = 0;
};

class IScriptCamera {
public:
    virtual ~IScriptCamera() = default;
    virtual void Reset() = 0;
    virtual void Advance(int32_t /*elapsed*/) {}
    // The offset that the manager hands to the objects it updates.
    virtual int32_t OffsetX() { return 0; }
    virtual int32_t OffsetY() { return 0; }
};

// An image the interpreter keeps for itself: the wait-state cursor, the system cursor or the skip
// indicator.
class IScriptCursorImage {
public:
    virtual ~IScriptCursorImage() = default;
    virtual void Clear() = 0;
    virtual void Draw(uint32_t mask) = 0;
    virtual void Update(uint32_t /*mask*/, int32_t /*elapsed*/) {}
    virtual bool HasMotion(const std::string& /*name*/) { return false; }
    // Without force an unchanged name keeps its motion playing.
    virtual void SetMotion(const std::string& /*name*/, bool /*force*/) {}
    // The image's record of a saved game. Loading clears the image first; a damaged or short
    // stream gives false and leaves it cleared.
    virtual bool SaveToStream(TStream& /*stream*/) { return false; }
    virtual bool LoadFromStream(TStream& /*stream*/) { return false; }
};

// The sound facade: its channel counts make the "snd" and "dsnd" arrays; the frame step reads the
// streamed channels' state, playing time and volume group.
class IScriptSound {
public:
    virtual ~IScriptSound() = default;
    virtual int32_t StreamChannelCount() = 0;
    virtual int32_t EffectChannelCount() = 0;
    // Exchanges two streamed (effect false) or effect channels; false when it cannot.
    virtual bool SwapChannels(bool effect, int32_t a, int32_t b) = 0;
    // 0 empty or an invalid channel, 1 stopped, 2 playing, 3 looping.
    virtual int32_t StreamState(int32_t /*channel*/) { return 0; }
    virtual int32_t StreamPlayingTimeMs(int32_t /*channel*/) { return 0; }
    // The volume group (0 music, 1 voices, 2 effects by convention).
    virtual int32_t StreamGroup(int32_t /*channel*/) { return 0; }
    // The channel records that the "snd" (effect false) and "dsnd" elements show; none without.
    virtual IKelSoundChannels* Channels(bool /*effect*/) { return nullptr; }
};

// The host's side of the save folder. An interpreter linked to one keeps its files there: the game
// interpreter reads the system data at set-up and writes it when it goes; without one it touches no
// file but those its words name.
class IScriptSaveData {
public:
    virtual ~IScriptSaveData() = default;
    // Makes sure "SaveData\" exists; false when it cannot be made.
    virtual bool CheckSaveDirectory() = 0;
    // A game failed to load after the interpreter had begun to restore it: the host ends the game
    // as its reset request does, so that nothing half-restored stays.
    virtual void ResetAfterFailedLoad(TKelScript& script) = 0;
};

// The records of a saved game whose owners are built above the script engine, named by their
// places in the body. The interpreter writes the body in its fixed order and hands these places to
// the service that the screen-object subsystem registers.
enum class TSaveRecord : uint8_t { BackLog, Sound, Compositor, Camera, Movie };

class IScriptSaveRecords {
public:
    virtual ~IScriptSaveRecords() = default;
    // A record of an owner the interpreter lacks is left out: nothing is written, nothing read.
    virtual bool Save(TKelScript& script, TSaveRecord record, TStream& stream) = 0;
    // False when the record is damaged or cut short.
    virtual bool Load(TKelScript& script, TSaveRecord record, TStream& stream) = 0;
    // The text of the newest back-log entry without its inline commands; empty without one.
    virtual std::string NewestLogText(TKelScript& script) = 0;
    // The finished screen shrunk to width x height as a BMP file of 15-bit pixels; empty without a
    // screen or for a size no picture may have.
    virtual std::string Thumbnail(TKelScript& script, int32_t width, int32_t height) = 0;
};

// Dialogs of the set-up: the one-button dialog with a message-table text.
class IScriptDialogs {
public:
    virtual ~IScriptDialogs() = default;
    virtual void ShowMessage(const std::string& messageKey, const std::string& buttonKey) = 0;
};

// Linked services handed to Setup. Any of them may be missing.
struct TScriptLinks {
    // The game's shared services, the error log among them; an interpreter needs it.
    TGameContext* Context = nullptr;
    // The caches of the game's pictures and sounds; the screen objects share their media through
    // them.
    TMediaContext* Media = nullptr;
    IScriptCompositor* Compositor = nullptr;
    IScriptCamera* Camera = nullptr;
    IScriptCursorImage* Cursor = nullptr;        // kind "csr"
    IScriptCursorImage* SystemCursor = nullptr;  // kind "scsr"
    IScriptSound* Sound = nullptr;
    TInput* Input = nullptr;  // the key bindings read it; the frame step routes its pointer
    IScriptWindowColor* WindowColor = nullptr;
    IScriptSaveData* SaveData = nullptr;
    IScriptDialogs* Dialogs = nullptr;
    IScriptLineReplacer* LineReplacer = nullptr;  // none: script lines stay as they are
    IScriptRegExp* RegExp = nullptr;              // none: no pattern matches and texts stay as they are
    // The forms that script words open, shown over DialogOwner; without them a form ends as
    // cancelled.
    IScriptForms* Forms = nullptr;
    const IDialogOwner* DialogOwner = nullptr;
    // Linked objects that the interpreter only hands to the handlers of their words.
    void* OwnerWindow = nullptr;  // the host's form, owner of dialogs
    TKelDirectShowPlayer* Movie = nullptr;
    TKelLogData* BackLog = nullptr;
    TKelTextDialog* TextDialog = nullptr;
    TKelDLLCustomObject* Plugins = nullptr;
    TSound* SoundLibrary = nullptr;  // the library behind Sound, for the sound words and screen objects
    TLabelLog* ReadTextLog = nullptr;
    TLabelLog* FileUseLog = nullptr;
    // The desktop's clipboard and its way of opening files and starting programs, for the words
    // that reach them; without them those words do nothing.
    IClipboard* Clipboard = nullptr;
    IDesktop* Desktop = nullptr;
    // The game's folder, which the save files, the system data and the files that words name are
    // found below; without it no such file exists and none is written.
    const TFileRoot* Files = nullptr;
    // The engine's clock, for the words that read the time and the pressed look of a system
    // button; without it the time reads 0 and nothing waits.
    IClock* Clock = nullptr;
    // The message forms' backend, and the application's title (Shift-JIS) that forms show and the
    // title word reads and sets; without them no message form is shown and the title is the one
    // before a game gives one.
    IDialogs* MessageForms = nullptr;
    std::string* Title = nullptr;
};

// ---- what the frame step reads of screen objects ----
// The engine objects behind images, message windows and buttons (KelObjectSeams) offer these
// beside their own interface; the frame step asks for them and skips an object that lacks one.

// The four user integers and four user strings of a screen object.
class IKelUserData {
public:
    virtual ~IKelUserData() = default;
    virtual int32_t UserInt(int32_t index) const = 0;         // index 0..3
    virtual std::string UserString(int32_t index) const = 0;  // index 0..3
};

// The lock and check of a button; a system button shows the interpreter's locks and run mode.
class IKelButtonState {
public:
    virtual ~IKelButtonState() = default;
    virtual void SetLocked(bool locked) = 0;
    virtual void SetChecked(bool checked) = 0;
    virtual bool Checked() const = 0;
};

// Where a message window stands: a full page waits for the player to turn it, typing is still
// showing text.
class IKelMessageProgress {
public:
    virtual ~IKelMessageProgress() = default;
    virtual bool PageFull() const = 0;
    virtual bool Typing() const = 0;
};
