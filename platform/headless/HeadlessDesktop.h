// A desktop for runs without a display: it decides what opening a name would start exactly as the
// real desktop does, and records that instead of starting it.
#pragma once

#include <string>
#include <vector>

#include "platform/Desktop.h"

class THeadlessDesktop final : public IDesktop {
public:
    // Names are engine paths below the root.
    explicit THeadlessDesktop(const TFileRoot& root) : Root(root) {}
    bool Open(const std::string& name, const std::string& parameters) override {
        TProgramStart start;
        if (!Desktop::PlanOpen(Root, name, parameters, start)) return false;
        Started.push_back(std::move(start));
        return true;
    }
    std::vector<TProgramStart> Started;

private:
    const TFileRoot& Root;
};
