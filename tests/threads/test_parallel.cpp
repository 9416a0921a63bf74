// The job runner, and page analysis run from several threads at once.
#include <atomic>
#include <cstdio>
#include <chrono>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <thread>

#include "compare/diff.h"
#include "compare/parallel.h"
#include "page/page.h"
#include "unit/test_util.h"

using namespace morvex;

TEST(Parallel, EveryJobRunsOnceAndResultsKeepTheirIndex) {
    for (const int threads : {-3, 0, 1, 2, 3, 8, 200}) {
        for (const size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{7}, size_t{1000}}) {
            std::vector<std::atomic<int>> runs(n);
            const std::vector<size_t> squares = parallel_map<size_t>(n, threads, [&](size_t i) {
                runs[i].fetch_add(1);
                return i * i;
            });
            ASSERT_EQ(squares.size(), n);
            for (size_t i = 0; i < n; ++i) {
                EXPECT_EQ(runs[i].load(), 1) << "threads " << threads << " job " << i;
                EXPECT_EQ(squares[i], i * i);
            }
        }
    }
}

TEST(Parallel, OneThreadRunsInlineInOrder) {
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<size_t> order;
    parallel_for(5, 1, [&](size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back(i);
    });
    EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3, 4}));
}

TEST(Parallel, SeveralThreadsShareTheWork) {
    // Each job waits until a second thread has joined in (or a long while
    // has passed), so a runner that used one thread only would be seen.
    std::mutex lock;
    std::set<std::thread::id> seen;
    std::atomic<int> started{0};
    parallel_for(4, 4, [&](size_t) {
        {
            const std::lock_guard<std::mutex> hold(lock);
            seen.insert(std::this_thread::get_id());
        }
        started.fetch_add(1);
        for (int spin = 0; spin < 2000 && started.load() < 2; ++spin)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    EXPECT_GE(seen.size(), 2u);
}

TEST(Parallel, TheLowestFailingJobsExceptionReachesTheCaller) {
    struct Case {
        int threads;
        size_t n;
    };
    for (const Case c : {Case{1, 50}, Case{2, 50}, Case{4, 500}}) {
        std::atomic<int> after_stop{0};
        try {
            parallel_for(c.n, c.threads, [&](size_t i) {
                if (i == 17) throw std::bad_alloc();
                if (i == 30) throw std::runtime_error("job 30");
                if (i > 40) after_stop.fetch_add(1);
            });
            ADD_FAILURE() << "no exception with " << c.threads << " threads";
        } catch (const std::bad_alloc &) {
            // job 17 failed first in index order, whoever ran it
        } catch (...) {
            ADD_FAILURE() << "another exception with " << c.threads << " threads";
        }
        if (c.threads == 1) {
            EXPECT_EQ(after_stop.load(), 0);
        }
    }
}

TEST(Parallel, DefaultThreadCountIsSmallAndPositive) {
    const int t = default_thread_count();
    EXPECT_GE(t, 1);
    EXPECT_LE(t, 8);
}

namespace {

// A document whose pages differ from each other: text in two fonts over
// several lines, an image, compressed and plain content, two streams on
// some pages.
std::string varied_document(int pages, bool changed = false) {
    fixture::DocBuilder b;
    const int helv = b.font("Helvetica");
    const int times = b.font("Times-Roman");
    const int img = b.image(8, 8);
    const std::string res = fixture::resources({{"F1", helv}, {"F2", times}}, {{"Im1", img}});
    for (int p = 0; p < pages; ++p) {
        std::string content = "q 50 0 0 40 " + std::to_string(100 + p) + " 600 cm /Im1 Do Q BT /F1 11 Tf 72 760 Td 13 TL\n";
        for (int line = 0; line < 12; ++line) {
            content += line % 3 == 0 ? "/F2 9 Tf " : "/F1 11 Tf ";
            content += "(";
            for (int w = 0; w < 8; ++w) {
                const bool edit = changed && p % 7 == 3 && line == 4 && w == 2;
                content += edit ? "EDITED " : "w" + std::to_string((p * 31 + line * 7 + w) % 211) + " ";
            }
            content += ") Tj T*\n";
        }
        content += "[(Kern) -200 (ed) 300 (text)] TJ ET\n";
        b.page({.content = content, .resources = res, .compress = p % 2 == 0});
    }
    return b.build();
}

bool same_summary(const PageSummary &a, const PageSummary &b) {
    if (a.page != b.page || a.width != b.width || a.height != b.height || a.rotation != b.rotation ||
        a.text != b.text || a.content_hash != b.content_hash || a.items.size() != b.items.size() ||
        a.images.size() != b.images.size())
        return false;
    for (size_t k = 0; k < a.items.size(); ++k) {
        const TextItem &x = a.items[k], &y = b.items[k];
        if (x.text != y.text || x.x != y.x || x.y != y.y || x.w != y.w || x.h != y.h || x.font_size != y.font_size)
            return false;
    }
    for (size_t k = 0; k < a.images.size(); ++k) {
        const ImageItem &x = a.images[k], &y = b.images[k];
        if (std::string(x.name) != y.name || x.x != y.x || x.y != y.y || x.w != y.w || x.h != y.h) return false;
    }
    return true;
}

}  // namespace

// Every page of one loaded document analysed on several threads at once
// gives the summaries one thread gives.  Run under ThreadSanitizer by
// scripts/tsan.sh.
TEST(ParallelPages, SummariesDoNotDependOnTheThreadCount) {
    PdfDocument doc;
    ASSERT_TRUE(testutil::load(varied_document(60), &doc));
    ASSERT_EQ(doc.page_count(), 60);
    auto analyse_all = [&](int threads) {
        return parallel_map<PageSummary>(static_cast<size_t>(doc.page_count()), threads, [&](size_t i) {
            PageSummary s;
            analyze_page(doc, static_cast<int>(i), &s);
            return s;
        });
    };
    const std::vector<PageSummary> single = analyse_all(1);
    ASSERT_FALSE(single[0].text.empty());
    ASSERT_EQ(single[0].images.size(), 1u);
    for (const int threads : {2, 4, 7}) {
        const std::vector<PageSummary> multi = analyse_all(threads);
        ASSERT_EQ(multi.size(), single.size());
        for (size_t i = 0; i < single.size(); ++i)
            EXPECT_TRUE(same_summary(single[i], multi[i])) << "page " << i + 1 << ", " << threads << " threads";
    }
}

namespace {

// The difference list as text: everything a report is made from.
std::string describe(const DiffList &list) {
    std::string s = std::to_string(list.identical) + " " + std::to_string(list.pages_compared) + "\n";
    char num[64];
    auto rects = [&](const std::vector<DiffRect> &rs) {
        for (const DiffRect &r : rs) {
            std::snprintf(num, sizeof num, " [%.6f %.6f %.6f %.6f]", r.x, r.y, r.w, r.h);
            s += num;
        }
    };
    for (const DiffEntry &e : list.entries) {
        s += std::to_string(e.page) + " " + e.type + " " + e.text.value_or("-") + " " + std::to_string(e.page_a) +
             "/" + std::to_string(e.page_b);
        rects(e.rects_a);
        rects(e.rects_b);
        for (const WordChange &c : e.changes) {
            s += std::string(" {") + c.op + " " + c.old_text + "|" + c.new_text;
            rects(c.rects_a);
            rects(c.rects_b);
            s += "}";
        }
        s += "\n";
    }
    for (const PagePair &pp : list.pairs) s += std::to_string(pp.a) + ":" + std::to_string(pp.b) + " ";
    return s;
}

}  // namespace

// Whole comparisons (loading from bytes, decoding, analysis, matching) run
// at the same time on several threads give what one thread gives.
TEST(ParallelPages, ComparisonsOnSeveralThreadsAtOnce) {
    const std::string a = varied_document(30), b = varied_document(32, true);
    auto compare = [&](size_t) {
        PdfDocument da, db;
        if (!testutil::load(a, &da) || !testutil::load(b, &db)) return std::string("load failed");
        DiffList list;
        compare_docs(da, db, &list);
        return describe(list);
    };
    const std::string expected = compare(0);
    ASSERT_NE(expected.find("EDITED"), std::string::npos);
    const std::vector<std::string> got = parallel_map<std::string>(8, 4, compare);
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected) << "run " << i;
}
