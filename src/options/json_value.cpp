#include "json_value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace morvex::json {

const Value *Value::get(std::string_view key) const {
    if (kind != Kind::Object) return nullptr;
    for (const Member &m : members)
        if (m.name == key) return &m.value;
    return nullptr;
}

namespace {

constexpr int kMaxDepth = 64;

void append_utf8(std::string &out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

class Parser {
public:
    Parser(std::string_view text, const ReadOptions &options) : s_(text), options_(options) {}

    std::optional<Value> document(std::string *error) {
        Value v;
        bool ok = value(v, 0);
        if (ok) {
            skip_space();
            if (pos_ != s_.size()) ok = fail("unexpected text after the value");
        }
        if (!ok) {
            if (error) *error = "offset " + std::to_string(err_pos_) + ": " + err_;
            return std::nullopt;
        }
        return v;
    }

private:
    std::string_view s_;
    ReadOptions options_;
    std::size_t pos_ = 0;
    std::string err_;
    std::size_t err_pos_ = 0;

    bool fail(const char *message) {
        err_ = message;
        err_pos_ = pos_;
        return false;
    }

    void skip_space() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }

    bool literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return fail("unknown literal");
        pos_ += word.size();
        return true;
    }

    bool value(Value &v, int depth) {
        skip_space();
        if (pos_ >= s_.size()) return fail("unexpected end of text");
        const char c = s_[pos_];
        v.offset = pos_;
        switch (c) {
        case '{': return object(v, depth + 1);
        case '[': return array(v, depth + 1);
        case '"': v.kind = Value::Kind::String; return string(v.string);
        case 't': v.kind = Value::Kind::Bool; v.boolean = true; return literal("true");
        case 'f': v.kind = Value::Kind::Bool; v.boolean = false; return literal("false");
        case 'n': v.kind = Value::Kind::Null; return literal("null");
        default:
            if (c == '-' || (c >= '0' && c <= '9')) return integer(v);
            return fail("unexpected character");
        }
    }

    bool object(Value &v, int depth) {
        if (depth > kMaxDepth) return fail("nested too deeply");
        v.kind = Value::Kind::Object;
        ++pos_;  // {
        skip_space();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            skip_space();
            if (pos_ >= s_.size() || s_[pos_] != '"') return fail("expected a member name");
            std::string name;
            if (!string(name)) return false;
            skip_space();
            if (pos_ >= s_.size() || s_[pos_] != ':') return fail("expected ':'");
            ++pos_;
            Value member;
            if (!value(member, depth)) return false;
            v.members.push_back({std::move(name), std::move(member)});
            skip_space();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == '}') {
                ++pos_;
                return true;
            }
            return fail("expected ',' or '}'");
        }
    }

    bool array(Value &v, int depth) {
        if (depth > kMaxDepth) return fail("nested too deeply");
        v.kind = Value::Kind::Array;
        ++pos_;  // [
        skip_space();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            Value item;
            if (!value(item, depth)) return false;
            v.items.push_back(std::move(item));
            skip_space();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == ']') {
                ++pos_;
                return true;
            }
            return fail("expected ',' or ']'");
        }
    }

    bool integer(Value &v) {
        v.kind = Value::Kind::Integer;
        const std::size_t start = pos_;
        const bool negative = s_[pos_] == '-';
        if (negative) ++pos_;
        if (pos_ >= s_.size() || s_[pos_] < '0' || s_[pos_] > '9') return fail("expected a digit");
        if (s_[pos_] == '0' && pos_ + 1 < s_.size() && s_[pos_ + 1] >= '0' && s_[pos_ + 1] <= '9')
            return fail("leading zero");
        // Accumulate as a negative number so that INT64_MIN fits.
        std::int64_t n = 0;
        for (; pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9'; ++pos_) {
            const int d = s_[pos_] - '0';
            if (n < (INT64_MIN + d) / 10) {
                if (options_.fractions) {  // too long for 64 bits: a double
                    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
                    return fraction(v, start);
                }
                pos_ = start;
                return fail("integer out of range");
            }
            n = n * 10 - d;
        }
        if (pos_ < s_.size() && (s_[pos_] == '.' || s_[pos_] == 'e' || s_[pos_] == 'E')) {
            if (!options_.fractions) return fail("only integers are expected");
            return fraction(v, start);
        }
        if (!negative) {
            if (n == INT64_MIN) {
                pos_ = start;
                return fail("integer out of range");
            }
            n = -n;
        }
        v.integer = n;
        v.number = static_cast<double>(n);
        return true;
    }

    // The rest of a number after its integer digits: [.digits][e[+-]digits].
    bool fraction(Value &v, std::size_t start) {
        auto digits = [&] {
            const std::size_t from = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
            return pos_ > from;
        };
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            if (!digits()) return fail("expected a digit");
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            if (!digits()) return fail("expected a digit");
        }
        // from_chars reads the C locale's form whatever the host's locale is.
        double d = 0;
        const auto r = std::from_chars(s_.data() + start, s_.data() + pos_, d);
        if (r.ec != std::errc() || !std::isfinite(d)) {
            pos_ = start;
            return fail("number out of range");
        }
        v.kind = Value::Kind::Number;
        v.number = d;
        v.string.assign(s_.substr(start, pos_ - start));
        return true;
    }

    bool hex4(std::uint32_t &out) {
        if (s_.size() - pos_ < 4) return fail("short \\u escape");
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s_[pos_ + i];
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return fail("bad hex digit in \\u escape");
            out = out * 16 + static_cast<std::uint32_t>(d);
        }
        pos_ += 4;
        return true;
    }

    bool string(std::string &out) {
        ++pos_;  // opening quote
        for (;;) {
            if (pos_ >= s_.size()) return fail("unterminated string");
            const unsigned char c = static_cast<unsigned char>(s_[pos_]);
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c < 0x20) return fail("control character in string");
            if (c != '\\') {
                out += static_cast<char>(c);
                ++pos_;
                continue;
            }
            if (++pos_ >= s_.size()) return fail("unterminated string");
            const char e = s_[pos_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::uint32_t cp;
                if (!hex4(cp)) return false;
                if (cp >= 0xDC00 && cp <= 0xDFFF) return fail("lone low surrogate");
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    std::uint32_t low;
                    if (s_.substr(pos_, 2) != "\\u") return fail("high surrogate without its pair");
                    pos_ += 2;
                    if (!hex4(low)) return false;
                    if (low < 0xDC00 || low > 0xDFFF) return fail("high surrogate without its pair");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                append_utf8(out, cp);
                break;
            }
            default:
                --pos_;
                return fail("unknown escape");
            }
        }
    }
};

}  // namespace

std::optional<Value> parse(std::string_view text, std::string *error, const ReadOptions &options) {
    return Parser(text, options).document(error);
}

std::size_t utf8_sequence_length(std::string_view s) {
    if (s.empty()) return 0;
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80) return 1;
    std::size_t n;
    std::uint32_t min;
    if (c >= 0xC2 && c <= 0xDF) n = 2, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, min = 0x10000;
    else return 0;
    if (s.size() < n) return 0;
    std::uint32_t cp = c & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

void append_quoted(std::string &out, std::string_view s) {
    out += '"';
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            const std::size_t n = utf8_sequence_length(s.substr(i));
            if (n == 0) {
                out += "\xEF\xBF\xBD";  // U+FFFD
                ++i;
            } else {
                out.append(s.substr(i, n));
                i += n;
            }
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
}

std::string quoted(std::string_view s) {
    std::string out;
    append_quoted(out, s);
    return out;
}

void append_value(std::string &out, const Value &v) {
    switch (v.kind) {
    case Value::Kind::Null: out += "null"; break;
    case Value::Kind::Bool: out += v.boolean ? "true" : "false"; break;
    case Value::Kind::Integer: out += std::to_string(v.integer); break;
    case Value::Kind::Number: out += v.string; break;
    case Value::Kind::String: append_quoted(out, v.string); break;
    case Value::Kind::Array:
        out += '[';
        for (std::size_t i = 0; i < v.items.size(); ++i) {
            if (i) out += ',';
            append_value(out, v.items[i]);
        }
        out += ']';
        break;
    case Value::Kind::Object:
        out += '{';
        for (std::size_t i = 0; i < v.members.size(); ++i) {
            if (i) out += ',';
            append_quoted(out, v.members[i].name);
            out += ':';
            append_value(out, v.members[i].value);
        }
        out += '}';
        break;
    }
}

}  // namespace morvex::json
