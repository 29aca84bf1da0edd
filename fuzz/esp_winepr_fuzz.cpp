// The ESP/WinEPR reader on arbitrary parameter and data files (one input,
// cut at "\n@@@\n" into the two). It returns a sound spectrum or refuses
// with a message naming a file; nothing else.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/UserError.h"
#include "fuzz/FormatsFuzz.h"
#include "io/formats/EspWinEpr.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelle;
    using namespace ravelle::formats;
    const auto [parameters, values] = fuzz::partsOf<2>(std::string_view(reinterpret_cast<const char*>(data), size));
    const EspNames names{"a.par", "a.spc"};
    looksLikeEspParameters(parameters);
    try {
        const RawSpectrum spectrum = readEspWinEpr(parameters, values, names);
        fuzz::checkSpectrum(spectrum);
        RAVELLE_FUZZ_CHECK(values.size() % 4 == 0 && spectrum.field.size() <= values.size() / 4,
                           "no more points than 4-byte values");
        RAVELLE_FUZZ_CHECK(spectrum.description == "Bruker ESP" || spectrum.description == "Bruker WinEPR",
                           spectrum.description);
    } catch (const UserError& error) {
        fuzz::checkRefusal(error.message(), {"a.par", "a.spc"});
    }
    return 0;
}
