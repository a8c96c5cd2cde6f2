#include "script/KelScriptSeams.h"

TObjectKindRegistry::TObjectKindRegistry() = default;
TObjectKindRegistry::~TObjectKindRegistry() = default;

void TObjectKindRegistry::RegisterSaveRecords(std::unique_ptr<IScriptSaveRecords> records) {
    SaveRecordService = std::move(records);
}

void TObjectKindRegistry::RegisterHandler(TObjectKind kind, TObjectCommandHandler handler) {
    if (handler)
        Handlers[kind] = std::move(handler);
    else
        Handlers.erase(kind);
}

void TObjectKindRegistry::RegisterFactory(const std::string& typeName, TObjectFactory factory) {
    Factories[ClassLib::LowerAscii(typeName)] = std::move(factory);
}

void TObjectKindRegistry::UnregisterFactory(const std::string& typeName) {
    Factories.erase(ClassLib::LowerAscii(typeName));
}

const TObjectCommandHandler* TObjectKindRegistry::Handler(TObjectKind kind) const {
    auto it = Handlers.find(kind);
    return it == Handlers.end() ? nullptr : &it->second;
}

const TObjectFactory* TObjectKindRegistry::Factory(const std::string& lowerTypeName) const {
    auto it = Factories.find(lowerTypeName);
    return it == Factories.end() ? nullptr : &it->second;
}
