// Fuzz target: the options reader and the pattern engine behind
// ignore_text.  The input is read as an options text; the JSON reader's
// output is written back and read again (it must give the same value);
// and the input is compiled as a pattern and matched against itself.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "options/json_value.h"
#include "options/options_reader.h"
#include "options/text_pattern.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 16)) return 0;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    morvex::CompareOptions options;
    std::string why;
    morvex::read_options(input, &options, &why);

    for (bool fractions : {false, true}) {
        morvex::json::ReadOptions ro;
        ro.fractions = fractions;
        const auto v = morvex::json::parse(input, &why, ro);
        if (!v) continue;
        std::string once, twice;
        morvex::json::append_value(once, *v);
        const auto again = morvex::json::parse(once, &why, ro);
        if (!again) std::abort();  // what the writer writes, the reader reads
        morvex::json::append_value(twice, *again);
        if (once != twice) std::abort();
    }

    morvex::Regex re;
    if (re.compile(input, &why)) re.full_match(input);
    return 0;
}
