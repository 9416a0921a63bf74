// The reports of every road are the same bytes whatever the thread count
// of the comparison.  Run under ThreadSanitizer by scripts/tsan.sh.
#include <fstream>
#include <iterator>

#include "compare/diff.h"
#include "morvex.h"
#include "unit/test_util.h"

namespace {

// Pages that differ in size, rotation, text, fonts and images; `edit`
// changes some words, sizes, rotations and images, drops page 5 and adds
// two pages, so that position and content pairing both find work.
// More pages than one batch of pairs.
std::string mixed_document(int pages, bool edit) {
    fixture::DocBuilder b;
    const int helv = b.font("Helvetica");
    const int times = b.font("Times-Roman");
    const int img = b.image(6, 4);
    const std::string res = fixture::resources({{"F1", helv}, {"F2", times}}, {{"Im1", img}});
    auto add_page = [&](int p, bool changed) {
        std::string content;
        if (p % 4 != 1) {
            const int x = changed && p % 9 == 2 ? 300 : 80 + p;
            content += "q 40 0 0 30 " + std::to_string(x) + " 650 cm /Im1 Do Q\n";
        }
        content += "BT /F1 10 Tf 60 740 Td 12 TL\n";
        for (int line = 0; line < 6 + p % 5; ++line) {
            content += line % 2 ? "/F2 9 Tf (" : "/F1 10 Tf (";
            for (int w = 0; w < 7; ++w) {
                const bool edited = changed && p % 6 == 3 && line == 2 && w % 3 == 1;
                content += edited ? "changed" + std::to_string(w) + " " : "p" + std::to_string(p) + "w" +
                                                                            std::to_string((line * 13 + w) % 97) + " ";
            }
            content += ") Tj T*\n";
        }
        content += "ET\n";
        fixture::PageOptions o{.content = content, .resources = res, .compress = p % 3 == 0};
        if (p % 11 == 7) o.media_box = changed ? "0 0 595 842" : "0 0 612 792";
        if (p % 13 == 5) o.rotate = changed ? 90 : 0;
        b.page(o);
    };
    for (int p = 0; p < pages; ++p) {
        if (edit && p == 5) continue;
        add_page(p, edit);
        if (edit && (p == 40 || p == 77)) add_page(1000 + p, false);
    }
    return b.build();
}

std::string read_all(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string with_threads(const std::string &options, int threads) {
    return "{" + options + (options.empty() ? "" : ",") + "\"threads\":" + std::to_string(threads) + "}";
}

}  // namespace

TEST(ThreadCount, ReportsDoNotDependOnIt) {
    const std::string a = testutil::write_tmp("a.pdf", mixed_document(110, false));
    const std::string b = testutil::write_tmp("b.pdf", mixed_document(110, true));
    const std::string same = testutil::write_tmp("same.pdf", mixed_document(110, false));
    const std::string out = testutil::tmp_path("report.pdf");
    struct Case {
        const char *name;
        std::string options;  // without the thread count
    };
    const Case cases[] = {
        {"compare", "\"report\":\"compare\""},
        {"text", "\"report\":\"text\""},
        {"detail", "\"report\":\"detail\""},
        {"content pairing", "\"report\":\"detail\",\"pairing\":\"content\""},
        {"content pairing, compare", "\"pairing\":\"content\""},
        {"page ranges", "\"report\":\"detail\",\"pages_a\":\"2-90\",\"pages_b\":\"3-100\""},
        {"ignored text", "\"report\":\"detail\",\"ignore_text\":[\"changed[0-9]\"]"},
    };
    ASSERT_EQ(morvex_init(), 1);
    for (const std::string &other : {b, same}) {
        for (const Case &c : cases) {
            std::string expected;
            for (const int threads : {1, 2, 3, 8}) {
                const char *json = morvex_compare_opts(a.c_str(), other.c_str(), with_threads(c.options, threads).c_str());
                ASSERT_NE(json, nullptr) << c.name << ": " << morvex_last_error();
                if (threads == 1) {
                    expected = json;
                    if (other == b) {
                        EXPECT_EQ(expected.find("\"identical\":true"), std::string::npos) << c.name;
                    }
                } else {
                    EXPECT_EQ(std::string(json), expected) << c.name << ", " << threads << " threads";
                }
            }
        }
        // The visual reports, overlay and side by side.
        for (const std::string layout : {"", "\"layout\":\"side_by_side\"", "\"pairing\":\"content\""}) {
            std::string expected;
            for (const int threads : {1, 2, 3, 8}) {
                ASSERT_EQ(morvex_visual_opts(a.c_str(), other.c_str(), out.c_str(), with_threads(layout, threads).c_str()),
                          1)
                    << morvex_last_error();
                const std::string bytes = read_all(out);
                ASSERT_FALSE(bytes.empty());
                if (threads == 1) expected = bytes;
                else EXPECT_TRUE(bytes == expected) << layout << ", " << threads << " threads";
            }
        }
    }
    // The default thread count gives what one thread gives.
    const std::string one = morvex_compare_opts(a.c_str(), b.c_str(), "{\"threads\":1}");
    const char *many = morvex_compare_opts(a.c_str(), b.c_str(), "{}");
    ASSERT_NE(many, nullptr);
    EXPECT_EQ(std::string(many), one);
    const std::string one_text = morvex_compare_opts(a.c_str(), b.c_str(), "{\"threads\":1,\"report\":\"text\"}");
    const char *text = morvex_text(a.c_str(), b.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), one_text);
    ASSERT_EQ(morvex_visual_opts(a.c_str(), b.c_str(), out.c_str(), "{\"threads\":1}"), 1);
    const std::string one_visual = read_all(out);
    ASSERT_EQ(morvex_visual_opts(a.c_str(), b.c_str(), out.c_str(), "{}"), 1);
    EXPECT_TRUE(read_all(out) == one_visual);
    morvex_cleanup();
}

// The difference lists themselves, pairs included, for thread counts above
// the number of pairs and across batch boundaries.
TEST(ThreadCount, DiffListsDoNotDependOnIt) {
    for (const int pages : {1, 3, morvex::kPairsPerBatch, morvex::kPairsPerBatch + 1, 2 * morvex::kPairsPerBatch + 7}) {
        morvex::PdfDocument a, b;
        ASSERT_TRUE(testutil::load(mixed_document(pages, false), &a));
        ASSERT_TRUE(testutil::load(mixed_document(pages, true), &b));
        morvex::DiffList one;
        morvex::compare_docs(a, b, &one, 1);
        for (const int threads : {2, 3, 8, 64}) {
            morvex::DiffList many;
            morvex::compare_docs(a, b, &many, threads);
            EXPECT_EQ(many.identical, one.identical);
            EXPECT_EQ(many.pages_compared, one.pages_compared);
            ASSERT_EQ(many.pairs.size(), one.pairs.size()) << pages << " pages, " << threads << " threads";
            for (size_t k = 0; k < one.pairs.size(); ++k) {
                EXPECT_EQ(many.pairs[k].a, one.pairs[k].a);
                EXPECT_EQ(many.pairs[k].b, one.pairs[k].b);
            }
            ASSERT_EQ(many.entries.size(), one.entries.size()) << pages << " pages, " << threads << " threads";
            for (size_t k = 0; k < one.entries.size(); ++k) {
                EXPECT_STREQ(many.entries[k].type, one.entries[k].type);
                EXPECT_EQ(many.entries[k].page, one.entries[k].page);
                EXPECT_EQ(many.entries[k].page_a, one.entries[k].page_a);
                EXPECT_EQ(many.entries[k].page_b, one.entries[k].page_b);
                EXPECT_EQ(many.entries[k].text, one.entries[k].text);
                EXPECT_EQ(many.entries[k].changes.size(), one.entries[k].changes.size());
            }
        }
    }
}
