#include "localisation/StringResources.h"

namespace tvk {

std::optional<std::span<const unsigned char>> BuiltInStringResources::FindBlock(
    uint16_t block, uint16_t language) const {
    for (const StringBlock& candidate : blocks_) {
        if (candidate.block == block && candidate.language == language)
            return std::span<const unsigned char>(candidate.bytes, candidate.size);
    }
    return std::nullopt;
}

}  // namespace tvk
