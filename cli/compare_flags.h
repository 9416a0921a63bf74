// The command's comparison options and the options JSON they become for
// morvex_compare_opts and morvex_visual_opts.
#ifndef MORVEX_CLI_COMPARE_FLAGS_H
#define MORVEX_CLI_COMPARE_FLAGS_H

#include <optional>
#include <string>
#include <vector>

namespace flags {

struct CompareFlags {
    std::string pairing;                 // "" (the command's default), "content", "position"
    std::string pages;                   // --pages A[:B]
    std::vector<std::string> ignore_rects, ignore_texts;
    std::vector<std::string> ignore_kinds;  // --ignore-kinds style,drawing (split at commas)
    bool detail = false;
    std::optional<std::string> password, password_a, password_b;
    std::string layout;                  // "" or as given
    bool changed_only = false;
    std::string threads;                 // "" or as given
    std::optional<std::string> document; // --document KINDS as given
};

// Takes one of the comparison options at args[i] (advancing i past its
// value).  Returns false when args[i] is none of them; sets *error when it
// is one but its value is missing or cannot be read (a password file
// descriptor, an unset environment variable).
bool take(const std::vector<std::string> &args, std::size_t &i, CompareFlags &f, std::string *error);

// The options JSON for the library.  `report` is "compare", "text" or
// "detail"; `visual` picks the visual report's default pairing.
// Returns false with a usage error in *error.
bool to_json(const CompareFlags &f, const std::string &report, bool visual, std::string *json,
             std::string *error);

// True when any option of the visual report alone was given.
inline bool has_visual_only(const CompareFlags &f) { return !f.layout.empty() || f.changed_only; }

}  // namespace flags

#endif
