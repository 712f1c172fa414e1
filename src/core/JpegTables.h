#pragma once

#include <cstddef>
#include <cstdint>

namespace OrvikFramework::JpegTables {

/// True when the bytes are a JPEG whose Huffman table declares more than the 256 codes a table can hold.
/// The picture decoder trusts those counts and writes past its tables, so such files are refused before it runs.
bool hasOversizedHuffmanTable(const std::uint8_t* bytes, std::size_t size);

}  // namespace OrvikFramework::JpegTables
