// The BES3T reader on arbitrary descriptors, data and axis files (one input,
// cut at "\n@@@\n" into the three). It returns a sound spectrum or refuses
// with a message naming a file; nothing else, and never a huge allocation.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/UserError.h"
#include "fuzz/FormatsFuzz.h"
#include "io/formats/Bes3t.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelle;
    using namespace ravelle::formats;
    const auto [descriptor, values, axis] =
        fuzz::partsOf<3>(std::string_view(reinterpret_cast<const char*>(data), size));
    const Bes3tNames names{"a.DSC", "a.DTA", "a.XGF"};
    try {
        const Bes3tLayout layout = parseBes3tDescriptor(descriptor, names);
        RAVELLE_FUZZ_CHECK(layout.points >= 2 && layout.points <= kMaxPoints, "points checked before use");
        try {
            const RawSpectrum spectrum = readBes3tData(layout, values, axis, names);
            fuzz::checkSpectrum(spectrum);
            RAVELLE_FUZZ_CHECK(values.size() == layout.dataBytes(), "the data fit the descriptor");
            RAVELLE_FUZZ_CHECK(spectrum.field.size() == layout.points, "one slice");
            RAVELLE_FUZZ_CHECK(spectrum.frequencyGHz == layout.frequencyGHz, "the descriptor's frequency");
        } catch (const UserError& error) {
            fuzz::checkRefusal(error.message(), {"a.DTA", "a.XGF", "a.DSC"});
        }
    } catch (const UserError& error) {
        fuzz::checkRefusal(error.message(), {"a.DSC"});
    }
    return 0;
}
