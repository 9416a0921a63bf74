#include "text_pattern.h"

#include <memory>

namespace morvex {

namespace {

constexpr size_t kMaxPatternBytes = 1000;
constexpr int kMaxDepth = 32;
constexpr int kMaxCount = 1000;
constexpr size_t kMaxProgram = 20000;
constexpr uint32_t kInfinite = UINT32_MAX;

// The code point at s[i], advancing i; a byte that does not start valid
// UTF-8 stands for itself.
uint32_t next_code_point(std::string_view s, size_t &i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    size_t n = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
    if (n <= 1 || i + n > s.size()) {
        ++i;
        return c;
    }
    uint32_t cp = c & (0x7Fu >> n);
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) {
            ++i;
            return c;
        }
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    i += n;
    return cp;
}

struct Node {
    enum Kind { Empty, Char, Any, Class, Cat, Alt, Repeat } kind = Empty;
    uint32_t c = 0;
    bool negate = false;
    std::vector<Regex::Range> ranges;
    std::vector<std::unique_ptr<Node>> kids;
    uint32_t min = 0, max = 0;
};
using NodePtr = std::unique_ptr<Node>;

}  // namespace

// Recursive descent over the pattern (depth capped), then code generation.
class RegexCompiler {
public:
    RegexCompiler(std::string_view p, Regex *re) : p_(p), re_(re) {}

    bool run(std::string *error) {
        if (p_.size() > kMaxPatternBytes) return fail(error, "pattern longer than 1000 bytes");
        size_t end = p_.size();
        if (!p_.empty() && p_[0] == '^') pos_ = 1;
        if (end > pos_ && p_[end - 1] == '$' && !(end >= 2 && p_[end - 2] == '\\')) p_ = p_.substr(0, end - 1);
        NodePtr root = alternation(0);
        if (root && pos_ < p_.size()) err_ = p_[pos_] == ')' ? "unbalanced parenthesis" : "unexpected character";
        if (!root || !err_.empty()) return fail(error, err_ + " at offset " + std::to_string(pos_));
        re_->prog_.clear();
        if (!emit(*root)) return fail(error, "pattern too large");
        re_->prog_.push_back({});  // Match
        return true;
    }

private:
    std::string_view p_;
    Regex *re_;
    size_t pos_ = 0;
    std::string err_;

    static bool fail(std::string *error, const std::string &why) {
        if (error) *error = why;
        return false;
    }
    NodePtr bad(const char *why) {
        if (err_.empty()) err_ = why;
        return nullptr;
    }
    bool more() const { return pos_ < p_.size(); }

    NodePtr alternation(int depth) {
        if (depth > kMaxDepth) return bad("groups nested too deeply");
        auto alt = std::make_unique<Node>();
        alt->kind = Node::Alt;
        for (;;) {
            NodePtr branch = concatenation(depth);
            if (!branch) return nullptr;
            alt->kids.push_back(std::move(branch));
            if (more() && p_[pos_] == '|') {
                ++pos_;
                continue;
            }
            break;
        }
        if (alt->kids.size() == 1) return std::move(alt->kids[0]);
        return alt;
    }

    NodePtr concatenation(int depth) {
        auto cat = std::make_unique<Node>();
        cat->kind = Node::Cat;
        while (more() && p_[pos_] != '|' && p_[pos_] != ')') {
            NodePtr atom_node = atom(depth);
            if (!atom_node) return nullptr;
            NodePtr q = quantified(std::move(atom_node));
            if (!q) return nullptr;
            cat->kids.push_back(std::move(q));
        }
        return cat;
    }

    bool number(uint32_t *out) {
        const size_t from = pos_;
        uint32_t n = 0;
        while (more() && p_[pos_] >= '0' && p_[pos_] <= '9') {
            n = n * 10 + static_cast<uint32_t>(p_[pos_] - '0');
            if (n > kMaxCount) return false;
            ++pos_;
        }
        *out = n;
        return pos_ > from;
    }

    NodePtr quantified(NodePtr atom_node) {
        while (more()) {
            uint32_t lo, hi;
            const char c = p_[pos_];
            if (c == '*') lo = 0, hi = kInfinite, ++pos_;
            else if (c == '+') lo = 1, hi = kInfinite, ++pos_;
            else if (c == '?') lo = 0, hi = 1, ++pos_;
            else if (c == '{') {
                ++pos_;
                if (!number(&lo)) return bad("bad or too large repetition count");
                hi = lo;
                if (more() && p_[pos_] == ',') {
                    ++pos_;
                    hi = kInfinite;
                    if (more() && p_[pos_] != '}' && !number(&hi)) return bad("bad or too large repetition count");
                }
                if (!more() || p_[pos_] != '}') return bad("unterminated repetition");
                ++pos_;
                if (hi < lo) return bad("repetition range out of order");
            } else {
                break;
            }
            if (more() && p_[pos_] == '?') ++pos_;  // lazy form: same language
            if (atom_node->kind == Node::Repeat) return bad("repeated quantifier");
            auto r = std::make_unique<Node>();
            r->kind = Node::Repeat;
            r->min = lo;
            r->max = hi;
            r->kids.push_back(std::move(atom_node));
            atom_node = std::move(r);
        }
        return atom_node;
    }

    static void add_shorthand(char k, std::vector<Regex::Range> *r) {
        switch (k) {
        case 'd': r->push_back({'0', '9'}); break;
        case 'w': r->insert(r->end(), {{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}}); break;
        case 's': r->insert(r->end(), {{'\t', '\r'}, {' ', ' '}}); break;
        }
    }

    // The character of an escape (after the backslash), or -1 when it is
    // not a single-character escape.
    static int escaped_char(char k) {
        switch (k) {
        case 'n': return '\n';
        case 't': return '\t';
        case 'r': return '\r';
        case 'f': return '\f';
        case 'v': return '\v';
        default:
            if ((k >= 'a' && k <= 'z') || (k >= 'A' && k <= 'Z') || (k >= '0' && k <= '9')) return -1;
            return static_cast<unsigned char>(k);
        }
    }

    NodePtr atom(int depth) {
        auto n = std::make_unique<Node>();
        const char c = p_[pos_];
        switch (c) {
        case '(': {
            ++pos_;
            if (p_.substr(pos_, 2) == "?:") pos_ += 2;
            else if (more() && p_[pos_] == '?') return bad("unsupported group kind");
            NodePtr inner = alternation(depth + 1);
            if (!inner) return nullptr;
            if (!more() || p_[pos_] != ')') return bad("unbalanced parenthesis");
            ++pos_;
            return inner;
        }
        case '*': case '+': case '?': case '{': return bad("quantifier without anything to repeat");
        case '.':
            ++pos_;
            n->kind = Node::Any;
            return n;
        case '[': return char_class();
        case '^': case '$': return bad("anchor inside the pattern");
        case '\\': {
            if (pos_ + 1 >= p_.size()) return bad("trailing backslash");
            const char k = p_[pos_ + 1];
            pos_ += 2;
            if (k == 'd' || k == 'w' || k == 's' || k == 'D' || k == 'W' || k == 'S') {
                n->kind = Node::Class;
                n->negate = k >= 'A' && k <= 'Z';
                add_shorthand(static_cast<char>(k | 0x20), &n->ranges);
                return n;
            }
            const int e = escaped_char(k);
            if (e < 0) {
                pos_ -= 2;
                return bad("unknown escape");
            }
            n->kind = Node::Char;
            n->c = static_cast<uint32_t>(e);
            return n;
        }
        default:
            n->kind = Node::Char;
            n->c = next_code_point(p_, pos_);
            return n;
        }
    }

    NodePtr char_class() {
        auto n = std::make_unique<Node>();
        n->kind = Node::Class;
        const size_t open = pos_++;
        if (more() && p_[pos_] == '^') n->negate = true, ++pos_;
        bool first = true;
        for (;;) {
            if (!more()) {
                pos_ = open;
                return bad("unterminated character class");
            }
            if (p_[pos_] == ']' && !first) {
                ++pos_;
                return n;
            }
            first = false;
            uint32_t lo;
            if (p_[pos_] == '\\') {
                if (pos_ + 1 >= p_.size()) return bad("trailing backslash");
                const char k = p_[pos_ + 1];
                if (k == 'd' || k == 'w' || k == 's') {
                    add_shorthand(k, &n->ranges);
                    pos_ += 2;
                    continue;
                }
                const int e = escaped_char(k);
                if (e < 0) return bad("unknown escape in character class");
                lo = static_cast<uint32_t>(e);
                pos_ += 2;
            } else {
                lo = next_code_point(p_, pos_);
            }
            uint32_t hi = lo;
            if (pos_ + 1 < p_.size() && p_[pos_] == '-' && p_[pos_ + 1] != ']') {
                ++pos_;
                if (p_[pos_] == '\\') {
                    const int e = pos_ + 1 < p_.size() ? escaped_char(p_[pos_ + 1]) : -1;
                    if (e < 0) return bad("bad range in character class");
                    hi = static_cast<uint32_t>(e);
                    pos_ += 2;
                } else {
                    hi = next_code_point(p_, pos_);
                }
                if (hi < lo) return bad("range out of order in character class");
            }
            n->ranges.push_back({lo, hi});
        }
    }

    int pc() const { return static_cast<int>(re_->prog_.size()); }
    bool push(Regex::Inst i) {
        if (re_->prog_.size() >= kMaxProgram) return false;
        re_->prog_.push_back(i);
        return true;
    }

    bool emit(const Node &n) {
        switch (n.kind) {
        case Node::Empty: return true;
        case Node::Char: return push({Regex::Inst::Char, false, n.c});
        case Node::Any: return push({Regex::Inst::Any});
        case Node::Class: {
            Regex::Inst i{Regex::Inst::Class, n.negate};
            i.cls = static_cast<int>(re_->classes_.size());
            re_->classes_.push_back(n.ranges);
            return push(i);
        }
        case Node::Cat:
            for (const NodePtr &k : n.kids)
                if (!emit(*k)) return false;
            return true;
        case Node::Alt: {
            // split L1, next; L1: a; jmp end; next: split L2, next2; ...
            std::vector<int> jumps;
            for (size_t k = 0; k < n.kids.size(); ++k) {
                int split = -1;
                if (k + 1 < n.kids.size()) {
                    split = pc();
                    if (!push({Regex::Inst::Split})) return false;
                    re_->prog_[split].x = pc();
                }
                if (!emit(*n.kids[k])) return false;
                if (k + 1 < n.kids.size()) {
                    jumps.push_back(pc());
                    if (!push({Regex::Inst::Jmp})) return false;
                    re_->prog_[split].y = pc();
                }
            }
            for (int j : jumps) re_->prog_[j].x = pc();
            return true;
        }
        case Node::Repeat: {
            const Node &body = *n.kids[0];
            for (uint32_t k = 0; k < n.min; ++k)
                if (!emit(body)) return false;
            if (n.max == kInfinite) {
                const int loop = pc();
                if (!push({Regex::Inst::Split})) return false;
                re_->prog_[loop].x = pc();
                if (!emit(body)) return false;
                if (!push({Regex::Inst::Jmp})) return false;
                re_->prog_.back().x = loop;
                re_->prog_[loop].y = pc();
                return true;
            }
            std::vector<int> splits;
            for (uint32_t k = n.min; k < n.max; ++k) {
                splits.push_back(pc());
                if (!push({Regex::Inst::Split})) return false;
                re_->prog_.back().x = pc();
                if (!emit(body)) return false;
            }
            for (int s : splits) re_->prog_[s].y = pc();
            return true;
        }
        }
        return false;
    }
};

bool Regex::compile(std::string_view pattern, std::string *error) {
    prog_.clear();
    classes_.clear();
    return RegexCompiler(pattern, this).run(error);
}

bool Regex::full_match(std::string_view text) const {
    if (prog_.empty() || text.size() > kMaxTextBytes) return false;
    const size_t n = prog_.size();
    // Sparse sets of program counters: the threads alive before and after
    // the current character.
    std::vector<int> cur, next, stack;
    std::vector<size_t> mark(n, SIZE_MAX);
    size_t generation = 0;
    cur.reserve(n);
    next.reserve(n);
    auto add = [&](std::vector<int> &list, int start) {
        stack.push_back(start);
        while (!stack.empty()) {
            const int p = stack.back();
            stack.pop_back();
            if (mark[static_cast<size_t>(p)] == generation) continue;
            mark[static_cast<size_t>(p)] = generation;
            const Inst &i = prog_[static_cast<size_t>(p)];
            if (i.op == Inst::Jmp) stack.push_back(i.x);
            else if (i.op == Inst::Split) stack.push_back(i.y), stack.push_back(i.x);
            else list.push_back(p);
        }
    };
    add(cur, 0);
    size_t at = 0;
    while (at < text.size() && !cur.empty()) {
        const uint32_t c = next_code_point(text, at);
        ++generation;
        next.clear();
        for (int p : cur) {
            const Inst &i = prog_[static_cast<size_t>(p)];
            bool ok = false;
            switch (i.op) {
            case Inst::Char: ok = i.c == c; break;
            case Inst::Any: ok = c != '\n'; break;
            case Inst::Class: {
                bool in = false;
                for (const Range &r : classes_[static_cast<size_t>(i.cls)]) in = in || (c >= r.lo && c <= r.hi);
                ok = in != i.negate;
                break;
            }
            default: break;
            }
            if (ok) add(next, p + 1);
        }
        cur.swap(next);
    }
    if (at < text.size()) return false;
    for (int p : cur)
        if (prog_[static_cast<size_t>(p)].op == Inst::Match) return true;
    return false;
}

}  // namespace morvex
