#include "io/formats/BinaryValues.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace ravelle::formats {

namespace {

std::uint8_t swapped(std::uint8_t v) { return v; }
std::uint16_t swapped(std::uint16_t v) { return __builtin_bswap16(v); }
std::uint32_t swapped(std::uint32_t v) { return __builtin_bswap32(v); }
std::uint64_t swapped(std::uint64_t v) { return __builtin_bswap64(v); }

// Value = the stored type, Bits = the unsigned type of the same size.
template <typename Value, typename Bits>
void decode(const char* bytes, bool swap, std::size_t first, std::size_t stride, std::size_t count, double* out)
{
    static_assert(sizeof(Value) == sizeof(Bits));
    const char* at = bytes + first * sizeof(Value);
    const std::size_t step = stride * sizeof(Value);
    for (std::size_t k = 0; k < count; ++k, at += step) {
        Bits bits;
        std::memcpy(&bits, at, sizeof bits);
        if (swap)
            bits = swapped(bits);
        out[k] = static_cast<double>(std::bit_cast<Value>(bits));
    }
}

} // namespace

std::size_t bytesPer(NumberFormat format)
{
    switch (format) {
    case NumberFormat::int8: return 1;
    case NumberFormat::int16: return 2;
    case NumberFormat::int32: return 4;
    case NumberFormat::float32: return 4;
    case NumberFormat::float64: return 8;
    }
    return 1;
}

const char* formatName(NumberFormat format)
{
    switch (format) {
    case NumberFormat::int8: return "8-bit integers";
    case NumberFormat::int16: return "16-bit integers";
    case NumberFormat::int32: return "32-bit integers";
    case NumberFormat::float32: return "32-bit floats";
    case NumberFormat::float64: return "64-bit floats";
    }
    return "";
}

void decodeValues(std::string_view bytes, NumberFormat format, ByteOrder order, std::size_t first,
                  std::size_t stride, std::size_t count, double* out)
{
    constexpr ByteOrder kNative = std::endian::native == std::endian::big ? ByteOrder::big : ByteOrder::little;
    const bool swap = order != kNative;
    const char* data = bytes.data();
    switch (format) {
    case NumberFormat::int8: decode<std::int8_t, std::uint8_t>(data, swap, first, stride, count, out); break;
    case NumberFormat::int16: decode<std::int16_t, std::uint16_t>(data, swap, first, stride, count, out); break;
    case NumberFormat::int32: decode<std::int32_t, std::uint32_t>(data, swap, first, stride, count, out); break;
    case NumberFormat::float32: decode<float, std::uint32_t>(data, swap, first, stride, count, out); break;
    case NumberFormat::float64: decode<double, std::uint64_t>(data, swap, first, stride, count, out); break;
    }
}

} // namespace ravelle::formats
