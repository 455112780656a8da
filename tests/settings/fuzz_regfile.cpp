// Feeds arbitrary bytes to the reader of registry scripts (Init.reg) and checks what must hold for any input.

#include "settings/regfile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Well-formed UTF-8, told on its own here so the reader's own test is not the one checked.
bool isUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t length = 1;
        char32_t value = c;
        if (c >= 0xF0) {
            length = 4;
            value = c & 0x07;
        } else if (c >= 0xE0) {
            length = 3;
            value = c & 0x0F;
        } else if (c >= 0xC0) {
            length = 2;
            value = c & 0x1F;
        } else if (c >= 0x80) {
            return false;
        }
        if (i + length > s.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
            return false;
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const RegFile file = parseRegFile(std::string_view(reinterpret_cast<const char*>(data), size));
    check(file.valid || (file.changes.empty() && file.skippedLines == 0));
    for (const RegFileChange& change : file.changes) {
        check(isUtf8(change.key) && isUtf8(change.name));
        const bool text = change.type == 1 || change.type == 2 || change.type == 7;
        if (change.kind == RegFileChange::Kind::SetValue && text)
            check(isUtf8(change.data));
    }
    return 0;
}
