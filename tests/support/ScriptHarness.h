// A headless interpreter for tests: scripts are served from a small in-memory pack set, frames are
// stepped on a fake clock, and variables, requests and the error log are read back.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "foundation/uInputDevice.h"
#include "platform/Clock.h"
#include "platform/headless/HeadlessInput.h"
#include "script/KelScriptLib.h"
#include "tests/support/ContextFixture.h"

// A word handler for tests: records every word it is offered and claims those in Claims (or all
// for which OnWord returns true).
class TRecordingWordHandler final : public IScriptWordHandler {
public:
    bool Handle(TKelScript& script, int32_t code, TStringList& args) override;
    std::vector<std::string> Seen;  // item 0 of each statement offered
    std::set<int32_t> Claims;
    std::function<bool(TKelScript&, int32_t, TStringList&)> OnWord;
};

// A sound library as far as the words that take a channel see it: 4 streams and 3 effect
// channels unless told otherwise.
class TChannelCounts final : public IScriptSound {
public:
    int32_t StreamChannelCount() override { return Streams; }
    int32_t EffectChannelCount() override { return Effects; }
    bool SwapChannels(bool, int32_t, int32_t) override { return false; }
    int32_t Streams = 4, Effects = 3;
};

class TScriptHarness {
public:
    // Text of files is given in UTF-8 and stored in Shift-JIS, as scripts are.
    TScriptHarness();
    // Registers kinds and links services before the interpreter's set-up, for what Setup takes
    // from them (the compositor and camera of a screen maker, the channel counts of the sound
    // arrays, the back-log store of the object manager).
    explicit TScriptHarness(const std::function<void(TObjectKindRegistry&, TScriptLinks&)>& beforeSetup);
    ~TScriptHarness();
    TScriptHarness(const TScriptHarness&) = delete;
    TScriptHarness& operator=(const TScriptHarness&) = delete;

    void AddFile(const std::string& name, const std::string& utf8Text);
    void AddRawFile(const std::string& name, const std::string& bytes);
    // Adds the text as "test.s", loads it and places the reader before its first line (or on the
    // label, when one is given). False when loading or the jump fails.
    bool Start(const std::string& utf8Text, const std::string& label = "");
    // Advances the fake clock, polls the input device and runs one frame step.
    void Step(uint32_t ms = 16);
    // Lets the input device's lock after a reset run out without running the script.
    void PassInputLock();
    void Run(int frames, uint32_t ms = 16);

    // Runs each statement (UTF-8) as a script line.
    void Execute(std::initializer_list<std::string> utf8Statements);
    // Element i of "ResultInt" and of "ResultStr" (in UTF-8).
    int32_t ResultInt(int32_t i = 0);
    std::string ResultStr(int32_t i = 0);

    // Error-log lines in UTF-8.
    std::vector<std::string> Errors() const;
    // The first error-log line without its "[ERROR]:" mark; empty when there is none.
    std::string FirstError() const;
    void ClearErrors();
    TCalcValue Eval(const std::string& utf8Expression);
    // Reads an element of a variable visible from the current depth (force: locks ignored).
    TCalcValue Var(const std::string& name, int32_t index = 0);
    // Declares a variable of the given scope (int, str or obj by the type) at the current depth,
    // with all rights, and sets its first element when a value is given.
    void Declare(TVariableScope scope, const std::string& name, TCalcValueType type, std::vector<int32_t> dims = {1},
                 const std::string& utf8Value = "");
    // Declares an owning object array of a kind keyword at the current depth: one script object
    // per element, freed again with the variable.
    bool DeclareObjects(TVariableScope scope, const std::string& name, const std::string& className,
                        std::vector<int32_t> dims = {1});
    // Sets the scoped object names of the current routine, as the scope word does.
    void Scope(const std::vector<std::string>& names);

    // The interpreter's game context, fresh for each harness.
    TContextFixture Context;
    TFakeClock Clock;
    TObjectKindRegistry Kinds;
    TRecordingWordHandler General;
    THeadlessInputSource InputSource;
    TInput Input{InputSource, Clock};
    TKelScript Script;

private:
    std::map<std::string, std::string> Files;  // normalised lower-cased name -> bytes
};
