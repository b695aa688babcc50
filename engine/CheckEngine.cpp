#include "engine/CheckEngine.h"

#include "engine/numeric/VariableContext.h"

CheckEngine::CheckEngine(const CheckOptions &options)
    : opts(options), vars(std::make_unique<VariableContext>()) {}

CheckEngine::~CheckEngine() = default;

bool CheckEngine::verifyPrefixes() { return true; }

CompiledRegex CheckEngine::buildPrefixMatcher() { return CompiledRegex("CHECK|COM|RUN"); }
