#pragma once

#include <cstddef>
#include <string_view>

// Arrays of numbers as instruments store them: integers of 1, 2 or 4 bytes
// (two's complement) and IEEE 754 floats of 4 or 8 bytes, in either byte
// order.
namespace ravelle::formats {

enum class NumberFormat { int8, int16, int32, float32, float64 };
enum class ByteOrder { big, little };

std::size_t bytesPer(NumberFormat format);
// "8-bit integers", "64-bit floats", …
const char* formatName(NumberFormat format);

// Decodes `count` values, value k from element first + k * stride of the
// array (element i at byte i * bytesPer(format)) into out[k]. The caller
// makes sure that the bytes hold every element read.
void decodeValues(std::string_view bytes, NumberFormat format, ByteOrder order, std::size_t first,
                  std::size_t stride, std::size_t count, double* out);

} // namespace ravelle::formats
