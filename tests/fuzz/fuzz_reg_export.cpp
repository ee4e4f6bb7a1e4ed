// Registry exports as restore reads them back to tell whether a key is there again: any bytes
// parse without reading out of bounds; sections are bracketed and lower case, value lines are
// neither empty, nor comments, nor sections; the end of the file changes nothing; what was
// parsed, written out again, parses to the same; an export holds itself exactly when it has a section; and an ASCII
// export reads the same in the UTF-16 form current editors write.
#include <cstdint>
#include <string>

#include "core/quarantine/reg_export.h"
#include "fuzz/fuzz_check.h"

using namespace pellora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const ExportSections sections = ParseRegExport(bytes);

    // Where the file ends does not change what its lines hold.
    if (!(size >= 2 && data[0] == 0xFF && data[1] == 0xFE))
        FUZZ_CHECK(ParseRegExport(bytes + "\n\n") == sections);

    std::string written;
    bool writable = true;  // a value ending in "\" would read as continued: not written back
    for (const auto& [section, values] : sections) {
        FUZZ_CHECK(!section.empty() && section.front() == '[');
        for (char c : section)
            FUZZ_CHECK(c < 'A' || c > 'Z');
        written += section + "\r\n";
        for (const std::string& value : values) {
            FUZZ_CHECK(!value.empty() && value.front() != ';' && value.front() != '[');
            writable = writable && value.back() != '\\';
            written += value + "\r\n";
        }
    }
    if (writable)
        FUZZ_CHECK(ParseRegExport(written) == sections);
    FUZZ_CHECK(ExportHolds(bytes, bytes) == !sections.empty());

    bool ascii = true;
    for (unsigned char c : bytes)
        ascii = ascii && c >= 0x01 && c < 0x80;
    if (ascii && !(size >= 2 && data[0] == 0xFF && data[1] == 0xFE)) {
        std::string utf16 = "\xFF\xFE";
        for (char c : bytes) {
            utf16 += c;
            utf16 += '\0';
        }
        FUZZ_CHECK(ParseRegExport(utf16) == sections);
    }
    return 0;
}
