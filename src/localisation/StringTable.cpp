#include "localisation/StringTable.h"

#include <cmath>
#include <new>
#include <span>

#include "common/CodePage.h"
#include "common/ServiceError.h"

namespace tvk {

namespace {

// The numbers and descriptions users of the application know for these faults.
constexpr int64_t kSubscriptOutOfRange = ErrorNumber::SubscriptOutOfRange;
constexpr int64_t kOutOfMemory = 7;

using Bytes = std::span<const unsigned char>;

[[noreturn]] void ThrowOutOfRange() {
    throw ServiceError(kSubscriptOutOfRange, "Subscript out of range");
}

char16_t ReadUnit(Bytes bytes, size_t offset) {
    if (bytes.size() < 2 || offset > bytes.size() - 2) ThrowOutOfRange();
    return static_cast<char16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// `units` code units of UTF-16LE as UTF-8; a surrogate without its partner
// becomes U+FFFD rather than invalid UTF-8.
std::string Utf16LeToUtf8(Bytes bytes, size_t offset, size_t units) {
    std::string out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        const char16_t unit = ReadUnit(bytes, offset + 2 * i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const char16_t next = ReadUnit(bytes, offset + 2 * (i + 1));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

// Walks the 16 entries of a block in id order up to the wanted one. Every
// length is checked against the block's size, so a damaged block faults
// instead of reading past its end.
std::string FindInBlock(Bytes block, int32_t firstId, int32_t id) {
    size_t offset = 0;
    for (int32_t current = firstId; current < firstId + 16; ++current) {
        const size_t length = ReadUnit(block, offset);
        if (length == 0) {
            offset += 2;
            continue;
        }
        if (2 * length > block.size() - offset - 2) ThrowOutOfRange();
        if (current == id) return Utf16LeToUtf8(block, offset + 2, length);
        offset += 2 * length + 2;
    }
    return {};
}

std::string LookUp(const StringResources& resources, int32_t languageId, int32_t id) {
    // Worked out in floating point, as the resource layout is defined: every
    // negative id lands on a block number below 1, which no table has.
    const double blockNumber = std::floor(id / 16.0) + 1;
    if (blockNumber < 1 || blockNumber > 0xFFFF) return {};
    // A language id outside 16 bits names no resource language; it is not
    // cut down to one that exists.
    if (languageId < 0 || languageId > 0xFFFF) return {};
    const auto block = static_cast<uint16_t>(blockNumber);
    const auto bytes = resources.FindBlock(block, static_cast<uint16_t>(languageId));
    if (!bytes || bytes->empty()) return {};
    return FindInBlock(*bytes, (block - 1) * 16, id);
}

std::string LoadWithFaultMessage(const StringResources& resources, Dialogs* dialogs,
                                 int32_t languageId, int32_t id) {
    int64_t number = 0;
    std::string description;
    try {
        return LookUp(resources, languageId, id);
    } catch (const ServiceError& error) {
        number = error.Number();
        description = error.Description();
    } catch (const std::bad_alloc&) {
        number = kOutOfMemory;
        description = "Out of memory";
    }
    if (dialogs != nullptr) {
        MessageBoxRequest box;
        box.text = std::to_string(number) + ":" + description;
        box.title = kProgramTitle;
        box.icon = MessageIcon::Critical;
        box.buttons = MessageButtons::Ok;
        dialogs->ShowMessage(box);
    }
    // Every caller uses the result as ordinary text; empty suits them all.
    return {};
}

}  // namespace

std::string LoadLocalString(const StringResources& resources, Dialogs& dialogs, int32_t languageId,
                            int32_t id) {
    return LoadWithFaultMessage(resources, &dialogs, languageId, id);
}

std::string LoadLocalString(const RunState& state, int32_t id) {
    return StringTableTexts(state).Text(id);
}

std::string StringTableTexts::Text(int32_t id) const {
    return LoadWithFaultMessage(ProgramStringResources(), dialogs_, languageId_, id);
}

}  // namespace tvk
