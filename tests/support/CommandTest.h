#pragma once

#include <gtest/gtest.h>

#include <string>

#include "commands/Commands.h"
#include "engine/ProgramState.h"
#include "tests/io/ScratchDirectory.h"
#include "tests/support/FakeHost.h"

namespace ravelle::testing {

// The program started in a scratch folder of its own, driven through a
// FakeHost: what the tests of the commands start from.
class CommandTest : public ::testing::Test {
protected:
    CommandTest() : host(state) { Initialise(state, start.path()); }

    // Import, the open dialog answering with `fileName`.
    void importFile(const std::string& fileName)
    {
        host.openAnswers.push_back(fileName);
        importCommand(state, host);
    }

    CurrentDirectoryGuard cwd;
    ScratchDirectory start;
    ProgramState state;
    FakeHost host;
};

} // namespace ravelle::testing
