// Parameter sets on arbitrary bytes: a file is opened whole or refused with
// a message that names it; what opens can be saved, and saving and opening
// it again gives the same set. Any text survives the escapes unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "commands/ParameterSet.h"
#include "engine/UserError.h"
#include "fuzz/FuzzSupport.h"
#include "io/ParameterFile.h"

namespace {

void checkRefusal(const std::string& message)
{
    RAVELLE_FUZZ_CHECK(message.find("'p.ravelle'") != std::string::npos && message.back() == '.', message);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelle;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RAVELLE_FUZZ_CHECK(parameters::unescapeValue(parameters::escapeValue(text)) == text, "escapes round trip");

    ParameterSet set;
    try {
        set = parameterSetOf(parameters::parseDocument(text, "p.ravelle"), "p.ravelle");
    } catch (const UserError& error) {
        checkRefusal(error.message());
        return 0;
    }
    try {
        const std::string saved = parameters::formatDocument(documentOf(set));
        const ParameterSet again = parameterSetOf(parameters::parseDocument(saved, "p.ravelle"), "p.ravelle");
        RAVELLE_FUZZ_CHECK(again == set, "saved and opened again unchanged");
    } catch (const UserError& error) {
        RAVELLE_FUZZ_CHECK(false, "what opens can be saved and opened again: " + error.message());
    }
    return 0;
}
