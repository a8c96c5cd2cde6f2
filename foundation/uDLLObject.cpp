#include "foundation/uDLLObject.h"

#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/NativeLibrary.h"

TDLLObject::~TDLLObject() {
    NativeLibrary::Close(Module);
}

bool TDLLObject::LoadDLL(const TFileRoot& root, const std::string& path) {
    if (Module) {
        ErrorText = "a library is loaded already";
        return false;
    }
    std::string full;
    ErrorText.clear();
    Module = NativeLibrary::Load(path, root.Folder(), &full, &ErrorText);
    if (!Module) return false;
    ModuleFileName = Encoding::Utf8ToSjis(full).substr(0, 255);
    return Bind();
}

bool TDLLObject::GetProc(void*& slot, const char* name) {
    slot = NativeLibrary::Symbol(Module, name);
    return slot != nullptr;
}
