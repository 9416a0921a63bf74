// Content pairing that skips pages read alike: the alignment made from
// signatures known only on demand is the alignment of the full signatures,
// whatever pages are partners, and documents whose pages read alike pair
// and report exactly as when every page is analysed.
#include <random>

#include "compare/align.h"
#include "compare/diff.h"
#include "report/json.h"
#include "test_util.h"

using namespace morvex;

namespace {

// A signature per value: values v and v ^ 1 share half their sketch, so
// the stretches between anchors have similarities to weigh.
PageSignature sig_of(int v) {
    PageSignature s;
    s.exact = static_cast<uint64_t>(v) * 0x9e3779b97f4a7c15ull + 1;
    s.words = 10;
    for (int j = 0; j < kSketchSize; ++j)
        s.sketch[static_cast<size_t>(j)] = static_cast<uint64_t>(j < kSketchSize / 2 ? v / 2 : v) * 1000 + static_cast<uint64_t>(j);
    return s;
}

std::vector<PageSignature> sigs_of(const std::vector<int> &v) {
    std::vector<PageSignature> out;
    for (int x : v) out.push_back(sig_of(x));
    return out;
}

// B made from A by a few random edits: insertions, removals, duplicates,
// replacements, moves.
std::vector<int> edited(std::vector<int> a, std::mt19937 &rng) {
    const int edits = static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
        const size_t at = a.empty() ? 0 : rng() % (a.size() + 1);
        switch (rng() % 5) {
        case 0: a.insert(a.begin() + static_cast<long>(at), static_cast<int>(rng() % 8)); break;
        case 1: if (at < a.size()) a.erase(a.begin() + static_cast<long>(at)); break;
        case 2: if (at < a.size()) a.insert(a.begin() + static_cast<long>(at), a[at]); break;
        case 3: if (at < a.size()) a[at] = static_cast<int>(rng() % 8); break;
        default:
            if (at < a.size()) {
                const int x = a[at];
                a.erase(a.begin() + static_cast<long>(at));
                a.insert(a.begin() + static_cast<long>(rng() % (a.size() + 1)), x);
            }
        }
    }
    return a;
}

}  // namespace

TEST(ContentPairing, OnDemandSignaturesAlignAsTheFullOnes) {
    std::mt19937 rng(26);
    for (int round = 0; round < 3000; ++round) {
        std::vector<int> a(rng() % 24);
        for (int &x : a) x = static_cast<int>(rng() % (round % 2 ? 4 : 12));  // few values: many repeats
        const std::vector<int> b = edited(a, rng);
        const std::vector<PageSignature> sa = sigs_of(a), sb = sigs_of(b);
        const std::vector<PagePair> full = align_pages(sa, sb);

        int computed = 0;
        SignatureSides sides(static_cast<int>(a.size()), static_cast<int>(b.size()),
                             [&](int side, const std::vector<int> &pages) {
                                 std::vector<PageSignature> out;
                                 for (int p : pages) out.push_back(side == 0 ? sa[static_cast<size_t>(p)] : sb[static_cast<size_t>(p)]);
                                 computed += static_cast<int>(pages.size());
                                 return out;
                             });
        // Partners: equal pages from the start and from the end in the
        // same place, as the comparison takes them, or (every third round)
        // any one-to-one choice of equal pages.
        std::vector<bool> used_a(a.size()), used_b(b.size());
        auto partner = [&](size_t i, size_t j) {
            if (used_a[i] || used_b[j] || a[i] != b[j]) return false;
            used_a[i] = used_b[j] = true;
            sides.set_partners(static_cast<int>(i), static_cast<int>(j));
            return true;
        };
        if (round % 3 == 2) {
            for (int k = 0; k < 12 && !a.empty() && !b.empty(); ++k) partner(rng() % a.size(), rng() % b.size());
        } else {
            const size_t common = std::min(a.size(), b.size());
            size_t head = 0;
            while (head < common && partner(head, head)) ++head;
            for (size_t t = 0; t + head < common && partner(a.size() - 1 - t, b.size() - 1 - t); ++t) {}
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const std::vector<PagePair> lazy = align_pages(&sides);
        ASSERT_EQ(lazy.size(), full.size());
        for (size_t k = 0; k < full.size(); ++k) {
            EXPECT_EQ(lazy[k].a, full[k].a) << "pair " << k;
            EXPECT_EQ(lazy[k].b, full[k].b) << "pair " << k;
        }
        EXPECT_EQ(computed, sides.made());
        if (a == b && round % 3 != 2) {
            EXPECT_EQ(computed, 0) << "a document against itself needs no signature";
        }
    }
}

namespace {

// A document of pages that each show one line of text; "img" places an
// image (compressed or not) under the text.
std::string document(const std::vector<std::string> &pages, bool compress_image = true) {
    fixture::DocBuilder d;
    const int font = d.font("Helvetica");
    const int img = d.stream("/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceGray "
                             "/BitsPerComponent 8",
                             "abcd", compress_image);
    for (const std::string &text : pages) {
        fixture::PageOptions p;
        p.resources = "<< /Font << /F1 " + std::to_string(font) + " 0 R >> /XObject << /Im " +
                      std::to_string(img) + " 0 R >> >>";
        p.content = (text.rfind("img", 0) == 0 ? "q 50 0 0 50 300 300 cm /Im Do Q " : "") +
                    std::string("BT /F1 12 Tf 72 700 Td (") + text + ") Tj ET";
        d.page(p);
    }
    return d.build();
}

// The compare and detail reports with pages paired by content.
std::string reports(const PdfDocument &a, const PdfDocument &b, bool analyse_all) {
    std::string out;
    for (ReportKind kind : {ReportKind::Compare, ReportKind::Detail}) {
        CompareOptions o;
        o.pairing = Pairing::Content;
        o.analyse_alike_pages = analyse_all;
        o.report = kind;
        DiffList list;
        compare_docs_opts(a, b, o, &list);
        ByteBuf buf;
        if (kind == ReportKind::Detail) build_detail_json(a, b, list, &buf);
        else build_compare_json(list, &buf);
        out += std::string(buf.view()) + "\n";
    }
    return out;
}

}  // namespace

TEST(ContentPairing, PagesReadAlikePairAsWhenEveryPageIsAnalysed) {
    const std::vector<std::string> base = {"alpha one", "beta two", "gamma three", "delta four", "epsilon five"};
    struct Case {
        const char *what;
        std::vector<std::string> a, b;
        const char *expected;  // a piece of the compare report
        bool compress_b = true;
    };
    const std::vector<Case> cases = {
        {"the same pages", base, base, "\"identical\":true"},
        {"a page inserted before identical pages", base,
         {"new page", "alpha one", "beta two", "gamma three", "delta four", "epsilon five"},
         "{\"page\":1,\"type\":\"page_added\",\"page_a\":null,\"page_b\":1}"},
        {"a page inserted in the middle", base,
         {"alpha one", "beta two", "new page", "gamma three", "delta four", "epsilon five"},
         "\"type\":\"page_added\",\"page_a\":null,\"page_b\":3"},
        {"a page duplicated", base,
         {"alpha one", "beta two", "beta two", "gamma three", "delta four", "epsilon five"}, "page_added"},
        {"the last page removed", base, {"alpha one", "beta two", "gamma three", "delta four"}, "page_removed"},
        {"a page moved", base, {"alpha one", "gamma three", "delta four", "beta two", "epsilon five"}, "page_moved"},
        {"one word changed", base, {"alpha one", "beta two", "gamma tree", "delta four", "epsilon five"},
         "text_changed"},
        {"repeated pages, one fewer", {"same", "same", "same", "other"}, {"same", "same", "other"}, "page_removed"},
        {"repeated pages around a change", {"same", "same", "x", "same", "same"}, {"same", "same", "y", "same"},
         "\"identical\":false"},
        // The image page keeps its place from the end but not from the start,
        // and its image is encoded again: read alike, keyed apart.
        {"an image encoded again on a page that moved down", {"alpha one", "img beta"},
         {"new page", "alpha one", "img beta"}, "page_added", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PdfDocument a, b;
        ASSERT_TRUE(testutil::load(document(c.a), &a));
        ASSERT_TRUE(testutil::load(document(c.b, c.compress_b), &b));
        const std::string fast = reports(a, b, false);
        EXPECT_EQ(fast, reports(a, b, true));
        EXPECT_NE(fast.find(c.expected), std::string::npos) << fast;
    }
}
