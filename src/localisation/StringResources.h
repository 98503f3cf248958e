#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tvk {

// One block of a string table in the Windows resource layout: the 16 ids
// (block - 1) * 16 .. block * 16 - 1, each a 16-bit little-endian length L
// followed by L UTF-16LE code units.
struct StringBlock {
    uint16_t block;
    uint16_t language;
    const unsigned char* bytes;
    size_t size;
};

// The table carried inside the program, generated at build time from
// resources/strings.rc (the same script a Windows build compiles as a resource).
std::span<const StringBlock> BuiltInStringBlocks();

// Where the string lookup finds its blocks: the program's own resources on
// Windows, the built-in table elsewhere, damaged blocks in tests.
class StringResources {
  public:
    virtual ~StringResources() = default;
    // The bytes of the block for exactly this language; nothing when there is none.
    virtual std::optional<std::span<const unsigned char>> FindBlock(uint16_t block,
                                                                    uint16_t language) const = 0;
};

// Blocks held in memory; by default the built-in table.
class BuiltInStringResources final : public StringResources {
  public:
    explicit BuiltInStringResources(std::span<const StringBlock> blocks = BuiltInStringBlocks())
        : blocks_(blocks) {}
    std::optional<std::span<const unsigned char>> FindBlock(uint16_t block,
                                                            uint16_t language) const override;

  private:
    std::span<const StringBlock> blocks_;
};

// The table the program shows its texts from: its own resources on Windows,
// the built-in table elsewhere.
const StringResources& ProgramStringResources();

}  // namespace tvk
