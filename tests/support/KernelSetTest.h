// Tests of drawing code that run once with each pixel-kernel set the processor has; the results
// must not differ.
#pragma once

#include <gtest/gtest.h>

#include "media/ARGB8888Kernels.h"
#include "media/ARGB8888Lib.h"

class TKernelSetTest : public ::testing::TestWithParam<ARGB8888Kernels::TKernelSet> {
protected:
    void SetUp() override {
        Saved = ARGB8888Kernels::ActiveSet();
        if (!ARGB8888Kernels::SelectSet(GetParam())) GTEST_SKIP() << "kernel set not available here";
    }
    void TearDown() override { ARGB8888Kernels::SelectSet(Saved); }
    ARGB8888Kernels::TKernelSet Saved{};
};

inline const auto kAllKernelSets = ::testing::Values(
    ARGB8888Kernels::TKernelSet::Reference, ARGB8888Kernels::TKernelSet::Sse2, ARGB8888Kernels::TKernelSet::Avx2);

inline std::string KernelSetName(const ::testing::TestParamInfo<ARGB8888Kernels::TKernelSet>& info) {
    switch (info.param) {
        case ARGB8888Kernels::TKernelSet::Sse2:
            return "Sse2";
        case ARGB8888Kernels::TKernelSet::Avx2:
            return "Avx2";
        default:
            return "Reference";
    }
}
