// The walk through a string-table block, on damaged blocks.
//
// The input is the block (exactly as large as the input, so that the address
// sanitizer sees any read past its end), except for its last byte(s), which
// choose the string id: a byte below 0x80 picks one of the 16 ids of block 7
// (ids 96-111, where the table's own strings begin); otherwise the four bytes
// before it are any id and the language is 1044 or any 16-bit number.
//
// Checked against a walk written here from the layout (16 entries, each a
// 16-bit little-endian length and that many UTF-16LE units): a readable entry
// gives its text as well-formed UTF-8 and no box; a block that ends inside the
// walk gives "" and exactly one critical box "9:..." titled kProgramTitle.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <optional>
#include <span>

#include "FuzzSupport.h"
#include "common/CodePage.h"
#include "localisation/StringTable.h"

namespace tvk::fuzz {
namespace {

constexpr int32_t kFirstIdOfBlock7 = 96;

// Every block of every language is the fuzzed one.
class DamagedResources : public StringResources {
  public:
    explicit DamagedResources(std::span<const unsigned char> block) : block_(block) {}
    std::optional<std::span<const unsigned char>> FindBlock(uint16_t, uint16_t) const override {
        ++lookups;
        return block_;
    }
    mutable int lookups = 0;

  private:
    std::span<const unsigned char> block_;
};

struct Expected {
    bool fault = false;
    std::string text;
};

std::string DecodeUtf16Le(std::span<const unsigned char> units) {
    std::string out;
    for (size_t i = 0; i + 1 < units.size(); i += 2) {
        char32_t c = units[i] | (units[i + 1] << 8);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < units.size()) {
            char32_t low = units[i + 2] | (units[i + 3] << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, c >= 0xD800 && c <= 0xDFFF ? 0xFFFD : c);
    }
    return out;
}

std::optional<Expected> ExpectedLookup(std::span<const unsigned char> block, int32_t languageId,
                                       int32_t id) {
    const int64_t wide = id;
    const int64_t blockNumber = (wide >= 0 ? wide / 16 : (wide - 15) / 16) + 1;  // floor division
    if (blockNumber < 1 || blockNumber > 0xFFFF) return Expected{};
    if (languageId < 0 || languageId > 0xFFFF) return Expected{};
    if (block.empty()) return Expected{};
    size_t offset = 0;
    for (int64_t current = (blockNumber - 1) * 16; current < blockNumber * 16; ++current) {
        if (offset + 2 > block.size()) return Expected{true, {}};
        const size_t length = block[offset] | (block[offset + 1] << 8);
        offset += 2;
        if (length == 0) continue;
        if (offset + 2 * length > block.size()) return Expected{true, {}};
        if (current == id) return Expected{false, DecodeUtf16Le(block.subspan(offset, 2 * length))};
        offset += 2 * length;
    }
    return Expected{};
}

void Check(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const uint8_t choice = input.ConsumeIntegral<uint8_t>();
    int32_t id = kFirstIdOfBlock7 + (choice & 0x0F);
    int32_t languageId = 1044;
    if (choice & 0x80) {
        id = input.ConsumeIntegral<int32_t>();
        if (choice & 0x40) languageId = input.ConsumeIntegral<uint16_t>();
        if (choice & 0x20) languageId = input.ConsumeIntegral<int32_t>();
    }
    const std::vector<unsigned char> block = input.ConsumeRemainingBytes<unsigned char>();

    DamagedResources resources(block);
    RecordingDialogs dialogs;
    const std::string text = LoadLocalString(resources, dialogs, languageId, id);
    const Expected expected = *ExpectedLookup(block, languageId, id);

    const std::string what =
        "id " + std::to_string(id) + ", language " + std::to_string(languageId) + ", block " +
        Escaped(std::string_view(reinterpret_cast<const char*>(block.data()), block.size()));
    FUZZ_CHECK(resources.lookups <= 1, what);
    FUZZ_CHECK(IsValidUtf8(text), Escaped(text) + " for " + what);
    FUZZ_CHECK(text == expected.text,
               Escaped(text) + " instead of " + Escaped(expected.text) + " for " + what);
    if (expected.fault) {
        FUZZ_CHECK(dialogs.shown.size() == 1, "no fault box for " + what);
        const MessageBoxRequest& box = dialogs.shown.front();
        FUZZ_CHECK(box.text.starts_with("9:") && box.title == kProgramTitle &&
                       box.icon == MessageIcon::Critical && box.buttons == MessageButtons::Ok,
                   "box " + Escaped(box.text) + " for " + what);
    } else {
        FUZZ_CHECK(dialogs.shown.empty(),
                   "box " + Escaped(dialogs.shown.front().text) + " for " + what);
    }
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::Check(data, size);
    return 0;
}
