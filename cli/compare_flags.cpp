#include "compare_flags.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "json_reader.h"

namespace flags {

namespace {

// A password read from a file descriptor: up to the first line feed (or
// the end), at most 4096 bytes.
bool read_fd(const std::string &value, std::string *out, std::string *error) {
    char *end = nullptr;
    const long fd = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || fd < 0 || fd > 65535) {
        *error = "a password file descriptor is a number, not " + value;
        return false;
    }
    std::string s;
    char c;
    for (;;) {
        const ssize_t n = read(static_cast<int>(fd), &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = "cannot read a password from file descriptor " + value + ": " + std::strerror(errno);
            return false;
        }
        if (n == 0 || c == '\n') break;
        if (s.size() >= 4096) {
            *error = "the password on file descriptor " + value + " is longer than 4096 bytes";
            return false;
        }
        s += c;
    }
    if (!s.empty() && s.back() == '\r') s.pop_back();
    *out = s;
    return true;
}

bool read_env(const std::string &name, std::string *out, std::string *error) {
    const char *v = std::getenv(name.c_str());
    if (!v) {
        *error = "the environment variable " + name + " of the password is not set";
        return false;
    }
    *out = v;
    return true;
}

// "x0,y0,x1,y1[@PAGES]" -> a region of the options JSON.
bool rect_json(const std::string &arg, std::string *json, std::string *error) {
    const std::size_t at = arg.find('@');
    const std::string nums = arg.substr(0, at);
    double v[4];
    std::size_t from = 0;
    for (int k = 0; k < 4; ++k) {
        const std::size_t comma = k < 3 ? nums.find(',', from) : nums.size();
        const std::string part = comma == std::string::npos ? std::string() : nums.substr(from, comma - from);
        char *end = nullptr;
        v[k] = std::strtod(part.c_str(), &end);
        if (part.empty() || *end != '\0' || !std::isfinite(v[k])) {
            *error = "--ignore-rect takes x0,y0,x1,y1[@PAGES] in points, not " + arg;
            return false;
        }
        from = comma + 1;
    }
    *json = "{\"rect\":[";
    char buf[64];
    for (int k = 0; k < 4; ++k) {
        std::snprintf(buf, sizeof buf, "%s%.10g", k ? "," : "", v[k]);
        *json += buf;
    }
    *json += "]";
    if (at != std::string::npos) *json += ",\"pages\":" + json::quoted(arg.substr(at + 1));
    *json += "}";
    return true;
}

}  // namespace

bool take(const std::vector<std::string> &args, std::size_t &i, CompareFlags &f, std::string *error) {
    const std::string &arg = args[i];
    if (arg == "--detail") return f.detail = true;
    if (arg == "--changed-only") return f.changed_only = true;
    static const char *const kValued[] = {
        "--pairing",     "--pages",        "--ignore-rect",    "--ignore-text",  "--password",
        "--password-a",  "--password-b",   "--password-fd",    "--password-a-fd", "--password-b-fd",
        "--password-env", "--password-a-env", "--password-b-env", "--layout",     "--threads",        "--document",
        "--ignore-kinds",
    };
    for (const char *name : kValued) {
        const std::string n = name;
        std::string value;
        if (arg == n) {
            if (i + 1 >= args.size()) {
                *error = arg + " needs a value";
                return true;
            }
            value = args[++i];
        } else if (arg.rfind(n + "=", 0) == 0) {
            value = arg.substr(n.size() + 1);
        } else {
            continue;
        }
        // Which password a password option sets.
        std::optional<std::string> *pw = n.rfind("--password-a", 0) == 0   ? &f.password_a
                                         : n.rfind("--password-b", 0) == 0 ? &f.password_b
                                                                           : &f.password;
        std::string read;
        if (n == "--pairing") f.pairing = value;
        else if (n == "--pages") f.pages = value;
        else if (n == "--ignore-rect") f.ignore_rects.push_back(value);
        else if (n == "--ignore-text") f.ignore_texts.push_back(value);
        else if (n == "--ignore-kinds") {
            for (std::size_t from = 0;;) {
                const std::size_t comma = value.find(',', from);
                f.ignore_kinds.push_back(value.substr(from, comma == std::string::npos ? comma : comma - from));
                if (comma == std::string::npos) break;
                from = comma + 1;
            }
        }
        else if (n == "--layout") f.layout = value;
        else if (n == "--threads") f.threads = value;
        else if (n == "--document") f.document = value;
        else if (n.size() > 3 && n.compare(n.size() - 3, 3, "-fd") == 0) {
            if (read_fd(value, &read, error)) *pw = read;
        } else if (n.size() > 4 && n.compare(n.size() - 4, 4, "-env") == 0) {
            if (read_env(value, &read, error)) *pw = read;
        } else {
            *pw = value;
        }
        return true;
    }
    return false;
}

bool to_json(const CompareFlags &f, const std::string &report, bool visual, std::string *json,
             std::string *error) {
    std::string j = "{\"report\":" + json::quoted(f.detail ? "detail" : report);
    std::string pairing = f.pairing;
    if (pairing.empty()) {
        // What a person comparing two files expects; the overlay report is
        // laid out by page position, so it keeps position pairing.
        pairing = visual && (f.layout.empty() || f.layout == "overlay") ? "position" : "content";
    }
    if (pairing != "content" && pairing != "position") {
        *error = "--pairing takes content or position, not " + pairing;
        return false;
    }
    j += ",\"pairing\":" + json::quoted(pairing);
    if (!f.pages.empty()) {
        const std::size_t colon = f.pages.find(':');
        const std::string a = f.pages.substr(0, colon);
        const std::string b = colon == std::string::npos ? a : f.pages.substr(colon + 1);
        j += ",\"pages_a\":" + json::quoted(a) + ",\"pages_b\":" + json::quoted(b);
    }
    if (!f.ignore_rects.empty()) {
        j += ",\"ignore_regions\":[";
        for (std::size_t k = 0; k < f.ignore_rects.size(); ++k) {
            std::string r;
            if (!rect_json(f.ignore_rects[k], &r, error)) return false;
            j += (k ? "," : "") + r;
        }
        j += "]";
    }
    if (!f.ignore_texts.empty()) {
        j += ",\"ignore_text\":[";
        for (std::size_t k = 0; k < f.ignore_texts.size(); ++k) j += (k ? "," : "") + json::quoted(f.ignore_texts[k]);
        j += "]";
    }
    if (!f.ignore_kinds.empty()) {
        j += ",\"ignore_kinds\":[";
        for (std::size_t k = 0; k < f.ignore_kinds.size(); ++k) j += (k ? "," : "") + json::quoted(f.ignore_kinds[k]);
        j += "]";
    }
    if (f.password) j += ",\"password\":" + json::quoted(*f.password);
    if (f.password_a) j += ",\"password_a\":" + json::quoted(*f.password_a);
    if (f.password_b) j += ",\"password_b\":" + json::quoted(*f.password_b);
    if (!f.layout.empty()) {
        if (f.layout != "overlay" && f.layout != "side-by-side") {
            *error = "--layout takes overlay or side-by-side, not " + f.layout;
            return false;
        }
        j += ",\"layout\":" + json::quoted(f.layout == "overlay" ? "overlay" : "side_by_side");
    }
    if (f.changed_only) j += ",\"changed_only\":true";
    if (!f.threads.empty()) {
        char *end = nullptr;
        const long n = std::strtol(f.threads.c_str(), &end, 10);
        if (*end != '\0' || n < 1 || n > 256) {
            *error = "--threads takes a number from 1 to 256, not " + f.threads;
            return false;
        }
        j += ",\"threads\":" + std::to_string(n);
    }
    if (f.document) {
        // "none", "all", or kinds separated by commas; the library checks the names.
        static const char *const kAll[] = {"metadata", "metadata_dates", "outline", "links",
                                           "annotations", "fields", "attachments", "page_labels"};
        std::string list;
        if (*f.document == "all") {
            for (const char *k : kAll) list += std::string(list.empty() ? "" : ",") + json::quoted(k);
        } else if (*f.document != "none") {
            std::size_t from = 0;
            for (;;) {
                const std::size_t comma = f.document->find(',', from);
                list += std::string(list.empty() ? "" : ",") + json::quoted(f.document->substr(from, comma - from));
                if (comma == std::string::npos) break;
                from = comma + 1;
            }
        }
        j += ",\"document\":[" + list + "]";
    }
    *json = j + "}";
    return true;
}

}  // namespace flags
