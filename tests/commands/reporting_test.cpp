#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands/Commands.h"
#include "commands/Reporting.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "io/ObservedImport.h"
#include "tests/support/FakeHost.h"

namespace ravelle {
namespace {

// A host whose next call of the chosen kind throws what the test asks for.
class ThrowingHost : public testing::FakeHost {
public:
    using FakeHost::FakeHost;

    std::function<void()> throwIt;
    bool onBoxText = false;
    bool onDialog = false;
    bool onNotice = false;
    bool onError = false;

    std::string boxText(std::string_view box) const override
    {
        if (onBoxText)
            throwIt();
        return FakeHost::boxText(box);
    }
    std::optional<std::string> runOpenDialog(const std::string& dir, const std::string& name) override
    {
        if (onDialog)
            throwIt();
        return FakeHost::runOpenDialog(dir, name);
    }
    void showNotice(const std::string& message) override
    {
        if (onNotice)
            throwIt();
        FakeHost::showNotice(message);
    }
    void showError(const std::string& message) override
    {
        if (onError)
            throwIt();
        FakeHost::showError(message);
    }
};

struct Thrown {
    const char* name;
    std::function<void()> throwIt;
    std::string shownAs; // "<no memory>" stands for the command's own text
};

const std::vector<Thrown>& thrownKinds()
{
    static const std::vector<Thrown> kinds{
        {"the user's error", [] { throw UserError("'x' は浮動小数点数ではありません"); },
         "'x' は浮動小数点数ではありません"},
        {"out of memory", [] { throw std::bad_alloc(); }, "<no memory>"},
        {"length beyond allocation", [] { throw std::length_error("vector"); }, "<no memory>"},
        {"other standard exception", [] { throw std::runtime_error("boom"); }, "Internal error: boom"},
        {"anything else", [] { throw 42; }, "Internal error."},
    };
    return kinds;
}

// Every command reports every kind of failure the same way, and none lets
// anything out to the window that ran it.
TEST(CommandReporting, EveryCommandReportsEveryKindOfFailureAndLetsNothingOut)
{
    struct Command {
        const char* name;
        std::string_view noMemory;
        std::function<void(ThrowingHost&)> arm;
        std::function<void(ProgramState&, ThrowingHost&)> run;
    };
    const std::vector<Command> commands{
        {"Calculate", messages::kNoMemoryForCalculation, [](ThrowingHost& h) { h.onBoxText = true; },
         [](ProgramState& s, ThrowingHost& h) { calculateCommand(s, h); }},
        {"import", messages::kNoMemoryForObservedFile, [](ThrowingHost& h) { h.onDialog = true; },
         [](ProgramState& s, ThrowingHost& h) { importCommand(s, h); }},
        // Before any Calculate the export starts with its notice.
        {"export", "There is not enough memory to save the spectrum.", [](ThrowingHost& h) { h.onNotice = true; },
         [](ProgramState& s, ThrowingHost& h) { exportCommand(s, h); }},
        {"step", messages::kNoMemoryForCommand, [](ThrowingHost& h) { h.onBoxText = true; },
         [](ProgramState&, ThrowingHost& h) { EXPECT_FALSE(stepBox(h, "G", 1.0L)); }},
    };
    for (const Command& command : commands) {
        for (const Thrown& thrown : thrownKinds()) {
            SCOPED_TRACE(std::string(command.name) + ", " + thrown.name);
            ProgramState state;
            Initialise(state, "");
            ThrowingHost host(state);
            host.throwIt = thrown.throwIt;
            command.arm(host);
            EXPECT_NO_THROW(command.run(state, host));
            const std::string expected =
                thrown.shownAs == "<no memory>" ? std::string(command.noMemory) : thrown.shownAs;
            EXPECT_EQ(host.errors, std::vector<std::string>{expected});
        }
    }
}

TEST(CommandReporting, AFailingErrorBoxIsSwallowedToo)
{
    for (const Thrown& thrown : thrownKinds()) {
        SCOPED_TRACE(thrown.name);
        ProgramState state;
        ThrowingHost host(state);
        host.throwIt = thrown.throwIt;
        host.onError = true;
        bool ran = true;
        EXPECT_NO_THROW(ran = runReported(host, "no memory", [] { throw UserError("first"); }));
        EXPECT_FALSE(ran);
    }
}

TEST(CommandReporting, SaysWhetherTheBodyRanToItsEnd)
{
    ProgramState state;
    testing::FakeHost host(state);
    EXPECT_TRUE(runReported(host, "no memory", [] {}));
    EXPECT_FALSE(runReported(host, "no memory", [] { throw std::bad_alloc(); }));
    EXPECT_EQ(host.errors, std::vector<std::string>{"no memory"});
}

} // namespace
} // namespace ravelle
