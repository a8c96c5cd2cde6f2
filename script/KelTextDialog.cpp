#include "script/KelTextDialog.h"

#include "foundation/StreamStrings.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "platform/ScriptForms.h"

void TKelTextDialog::Reset() {
    Title = "テキスト入力ダイアログ"_sj;
    Prompt = "入力してください。"_sj;
    MaxLength = -1;
    Text.clear();
}

bool TKelTextDialog::Execute() {
    if (!Forms) return false;
    const TTextInputDlgRequest request{Owner, Title, Prompt, Text, MaxLength};
    std::string edited = Text;
    const bool accepted = Forms->TextInputDlg(request, edited);
    Text = std::move(edited);
    return accepted;
}

void TKelTextDialog::SaveToStream(TStream* stream) const {
    if (!stream) return;
    uMisc::WriteStreamString(stream, Title);
    uMisc::WriteStreamString(stream, Prompt);
    uMisc::WriteStreamString(stream, Text);
    LittleEndian::Write32(*stream, static_cast<uint32_t>(MaxLength));
}

bool TKelTextDialog::LoadFromStream(TStream* stream) {
    if (!stream) return false;
    if (!uMisc::ReadStreamString(stream, Title) || !uMisc::ReadStreamString(stream, Prompt) ||
        !uMisc::ReadStreamString(stream, Text))
        return false;
    return LittleEndian::Read32(*stream, MaxLength);
}
