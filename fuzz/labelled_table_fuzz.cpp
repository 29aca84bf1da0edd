// The labelled-table reader and the recognition of contents on arbitrary
// text. A table read gives a sound spectrum and columns to choose from;
// reading it again with each offered column works too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/UserError.h"
#include "fuzz/FormatsFuzz.h"
#include "io/formats/LabelledTable.h"
#include "io/formats/Recognition.h"

namespace {

void checkColumns(const ravelle::formats::TableColumns& table)
{
    const std::size_t count = table.labels.size();
    RAVELLE_FUZZ_CHECK(count >= 2 && table.fieldColumn < count && table.intensityColumn < count, "columns in range");
    RAVELLE_FUZZ_CHECK(table.fieldColumn != table.intensityColumn, "field and intensity apart");
    RAVELLE_FUZZ_CHECK(std::is_sorted(table.intensityCandidates.begin(), table.intensityCandidates.end()), "file order");
    for (const std::size_t column : table.intensityCandidates)
        RAVELLE_FUZZ_CHECK(column < count && column != table.fieldColumn, "a candidate is no field");
    for (const std::string& label : table.labels)
        RAVELLE_FUZZ_CHECK(!label.empty(), "every column labelled");
    RAVELLE_FUZZ_CHECK(table.headerSignature.size() == 16, table.headerSignature);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelle;
    using namespace ravelle::formats;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Content content = recogniseContent(text, true);
    if (content == Content::labelledTable)
        RAVELLE_FUZZ_CHECK(looksLikeLabelledTable(text, true), "recognised as it reads");
    try {
        const RawSpectrum spectrum = readLabelledTable(text, "t.txt");
        fuzz::checkSpectrum(spectrum);
        RAVELLE_FUZZ_CHECK(spectrum.table.has_value(), "the columns are given");
        checkColumns(*spectrum.table);
        for (std::size_t k = 0; k < spectrum.table->intensityCandidates.size() && k < 3; ++k) {
            TableChoice choice;
            choice.intensityColumn = spectrum.table->intensityCandidates[k];
            try {
                const RawSpectrum again = readLabelledTable(text, "t.txt", choice);
                fuzz::checkSpectrum(again);
                RAVELLE_FUZZ_CHECK(again.field == spectrum.field || !again.notices.empty() || !spectrum.notices.empty(),
                                   "the same field whichever intensity");
            } catch (const UserError& error) {
                fuzz::checkRefusal(error.message(), {"t.txt"});
            }
        }
    } catch (const UserError& error) {
        fuzz::checkRefusal(error.message(), {"t.txt"});
    }
    return 0;
}
