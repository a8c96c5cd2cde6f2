#include "tests/support/ContextFixture.h"

#include "platform/Encoding.h"
#include "tests/support/TestData.h"

TContextFixture::TContextFixture() {
    Log.SetLogFolder(TestData::ScratchDir());
}

std::vector<std::string> TContextFixture::ErrorLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : Log.ErrorList.Items)
        lines.push_back(Encoding::SjisToUtf8(line));
    return lines;
}
