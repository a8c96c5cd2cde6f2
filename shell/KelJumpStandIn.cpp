#include "shell/KelJumpStandIn.h"

#include "foundation/ErrorLogLib.h"
#include "platform/Encoding.h"
#include "script/KelScriptLib.h"

namespace {

// "\go,label,file": loads the file ("self" or empty: the current one), places the reader on the
// label and drops every routine and block, as a fresh start of the script.
class TGoWord final : public IScriptWordHandler {
public:
    bool Handle(TKelScript& s, int32_t code, TStringList& args) override {
        if (code != Cmd("go")) return false;
        std::string label = KelScriptLib::IsLabelWord(args[1]) ? args[1] : s.Evaluate(args[1]).Text;
        std::string file = args[2].empty() ? std::string("self") : s.Evaluate(args[2]).Text;
        if (s.Reader->JumpFile(file, label)) {
            s.Thread->Clear();
            s.Thread->Add()->Add()->Kind = TBlockKind::RoutineRoot;
            if (s.Variables) s.Variables->DeleteAboveOwner(0);
        } else {
            ErrorLogLib::ErrorLog("\\go：ジャンプ先が見つかりません："_sj + args[1] + ":" + args[2]);
        }
        s.UpdateSelfFileVariables();
        return true;
    }
};

}  // namespace

namespace KelJumpStandIn {
IScriptWordHandler& GoWord() {
    static TGoWord handler;
    return handler;
}
}  // namespace KelJumpStandIn
