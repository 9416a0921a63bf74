// What differs beside the pages: metadata, outline, links, annotations,
// form fields, embedded files and page labels, through morvex_compare_opts.
#include <map>

#include "docinfo/values.h"
#include "morvex.h"
#include "test_util.h"

namespace {

// A document of three pages (objects 3, 4, 5 with the texts "one", "two",
// "three") and whatever a test adds: catalog entries, /Info, page entries
// and more objects (numbered from 10 by the test).
struct Doc {
    std::string info;      // the /Info dictionary ("" for none)
    std::string catalog;   // extra catalog entries
    std::map<int, std::string> page_extra;  // page index -> extra page entries
    std::vector<std::pair<int, std::string>> objects;
    std::vector<std::pair<int, std::pair<std::string, std::string>>> streams;  // num -> (dict, data)
    std::vector<std::string> texts = {"one", "two", "three"};
    bool objstm = false;   // plain objects in an object stream (a rewrite of the same file)
    bool compress = false;

    std::string build() const {
        fixture::PdfWriter w;
        auto add = [&](int num, const std::string &body) {
            if (objstm) w.add_in_objstm(99, num, body);
            else w.add(num, body);
        };
        add(1, "<< /Type /Catalog /Pages 2 0 R " + catalog + " >>");
        std::string kids;
        for (size_t k = 0; k < texts.size(); ++k) kids += std::to_string(30 + 2 * k) + " 0 R ";
        add(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(texts.size()) + " >>");
        w.add(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        for (size_t k = 0; k < texts.size(); ++k) {
            const int num = 30 + 2 * static_cast<int>(k);
            const auto extra = page_extra.find(static_cast<int>(k));
            add(num, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> "
                     "/Contents " + std::to_string(num + 1) + " 0 R " + (extra == page_extra.end() ? "" : extra->second) +
                         " >>");
            w.add_stream(num + 1, "", "BT /F1 12 Tf 72 700 Td (" + texts[k] + ") Tj ET");
        }
        for (const auto &[num, body] : objects) add(num, body);
        for (const auto &[num, s] : streams) {
            fixture::StreamOptions o;
            o.compress = compress;
            w.add_stream(num, s.first, s.second, o);
        }
        if (!info.empty()) {
            w.add(9, info);
            w.set_trailer_extra("/Info 9 0 R");
        }
        return w.build();
    }
};

// Pages are 30, 32, 34 (the first three); "P(k)" names page k's reference.
std::string P(int k) { return std::to_string(30 + 2 * k) + " 0 R"; }

std::string compare(const Doc &a, const Doc &b, const char *options = "{}") {
    const std::string pa = testutil::write_tmp("a.pdf", a.build()), pb = testutil::write_tmp("b.pdf", b.build());
    const char *r = morvex_compare_opts(pa.c_str(), pb.c_str(), options);
    return r ? r : std::string("error: ") + morvex_last_error();
}

// The "document" list of a compare report, or "" when it has none.
std::string document(const std::string &report) {
    const size_t at = report.find(",\"document\":");
    return at == std::string::npos ? "" : report.substr(at + 12, report.size() - at - 13);
}

struct Case {
    const char *behaviour;
    Doc a, b;
    std::string expected;  // the document list exactly, "" for none
    const char *options = "{}";
};

Doc with_info(const std::string &info) {
    Doc d;
    d.info = info;
    return d;
}

Doc with_catalog(const std::string &catalog, std::vector<std::pair<int, std::string>> objects = {}) {
    Doc d;
    d.catalog = catalog;
    d.objects = std::move(objects);
    return d;
}

Doc with_annots(const std::map<int, std::string> &page_extra, std::vector<std::pair<int, std::string>> objects = {},
                const std::string &catalog = "") {
    Doc d;
    d.page_extra = page_extra;
    d.objects = std::move(objects);
    d.catalog = catalog;
    return d;
}

std::string link(const std::string &rect, const std::string &target) {
    return "<< /Type /Annot /Subtype /Link /Rect [" + rect + "] " + target + " >>";
}

std::vector<Case> cases() {
    std::vector<Case> v;
    // Metadata.
    v.push_back({"a changed title is reported with both values", with_info("<< /Title (Old) /Author (Ann) >>"),
                 with_info("<< /Title (New) /Author (Ann) >>"),
                 R"([{"type":"metadata_changed","key":"Title","old":"Old","new":"New"}])"});
    v.push_back({"the same characters in both encodings are equal", with_info("<< /Title (Caf\\351 \\200) >>"),
                 with_info("<< /Title <FEFF00430061006600E900202022> >>"), ""});
    v.push_back({"a key given twice has its last value", with_info("<< /Title (Old) /Title (New) >>"),
                 with_info("<< /Title (New) >>"), ""});
    v.push_back({"dates and producer are left out by default",
                 with_info("<< /Title (T) /ModDate (D:2020) /Producer (p1) >>"),
                 with_info("<< /Title (T) /ModDate (D:2024) /Producer (p2) >>"), ""});
    v.push_back({"the option includes dates and producer", with_info("<< /Title (T) /ModDate (D:2020) >>"),
                 with_info("<< /Title (T) /ModDate (D:2024) /CreationDate (D:1999) >>"),
                 R"([{"type":"metadata_changed","key":"ModDate","old":"D:2020","new":"D:2024"},)"
                 R"({"type":"metadata_changed","key":"CreationDate","old":null,"new":"D:1999"}])",
                 R"({"document":["metadata_dates"]})"});
    v.push_back({"an author that is no string says so", with_info("<< /Author 12 >>"), with_info("<< /Author (X) >>"),
                 R"([{"type":"metadata_changed","key":"Author","old":"","new":"X","problem":"A: not a text string"}])"});
    {
        Doc a = with_catalog("/Metadata 10 0 R"), b = a;
        const std::string xmp = "<x:xmpmeta><rdf:RDF><rdf:Description><dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">";
        a.streams = {{10, {"/Type /Metadata /Subtype /XML", xmp + "Report &amp; notes</rdf:li></rdf:Alt></dc:title>"
                                                                  "</rdf:Description></rdf:RDF></x:xmpmeta>"}}};
        b.streams = {{10, {"/Type /Metadata /Subtype /XML", xmp + "Report &#38; plans</rdf:li></rdf:Alt></dc:title>"
                                                                  "</rdf:Description></rdf:RDF></x:xmpmeta>"}}};
        v.push_back({"the XMP title is read with its entities", a, b,
                     R"([{"type":"metadata_changed","key":"xmp:title","old":"Report & notes","new":"Report & plans"}])"});
    }
    // Outline: items 11, 12 under 10; 13 a child of 11.
    auto outline_doc = [](const std::string &second_title, const std::string &second_dest, const std::string &next_of_12) {
        return with_catalog("/Outlines 10 0 R",
                            {{10, "<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 3 >>"},
                             {11, "<< /Title (Intro) /Parent 10 0 R /Next 12 0 R /First 13 0 R /Last 13 0 R /Dest [" +
                                      P(0) + " /Fit] >>"},
                             {12, "<< /Title (" + second_title + ") /Parent 10 0 R /Prev 11 0 R /Dest [" + second_dest +
                                      " /Fit] " + next_of_12 + " >>"},
                             {13, "<< /Title (Detail) /Parent 11 0 R /A << /S /URI /URI (http://x) >> >>"}});
    };
    v.push_back({"the same outline is no difference", outline_doc("End", P(2), ""), outline_doc("End", P(2), ""), ""});
    v.push_back({"a renamed bookmark is one removed and one added", outline_doc("End", P(2), ""),
                 outline_doc("Finish", P(2), ""),
                 R"([{"type":"outline_changed","key":"End","old":{"title":"End","level":1,"target_page":3},"new":null},)"
                 R"({"type":"outline_changed","key":"Finish","old":null,"new":{"title":"Finish","level":1,"target_page":3}}])"});
    v.push_back({"a bookmark led to another page", outline_doc("End", P(2), ""), outline_doc("End", P(1), ""),
                 R"([{"type":"outline_changed","key":"End","old":{"title":"End","level":1,"target_page":3},)"
                 R"("new":{"title":"End","level":1,"target_page":2}}])"});
    v.push_back({"an outline loop is read once and said", outline_doc("End", P(2), ""),
                 outline_doc("End", P(2), "/Next 11 0 R"),
                 R"([{"type":"outline_changed","key":"End","old":{"title":"End","level":1,"target_page":3},)"
                 R"("new":{"title":"End","level":1,"target_page":3},"problem":"B: outline loop: an item links back to one read before"}])"});
    v.push_back({"a bookmark to a page that is not there says so", outline_doc("End", P(2), ""),
                 outline_doc("End", "77 0 R", ""),
                 R"([{"type":"outline_changed","key":"End","old":{"title":"End","level":1,"target_page":3},)"
                 R"("new":{"title":"End","level":1},"problem":"B: target page not found"}])"});
    // Links.
    const std::string uri_a = link("72 100 200 120", "/A << /S /URI /URI (https://a.example) >>");
    const std::string uri_b = link("72 100 200 120", "/A << /S /URI /URI (https://b.example) >>");
    v.push_back({"a link to another address", with_annots({{0, "/Annots [" + uri_a + "]"}}),
                 with_annots({{0, "/Annots [" + uri_b + "]"}}),
                 R"([{"type":"link_changed","page_a":1,"page_b":1,"rect_a":[72.00,672.00,200.00,692.00],)"
                 R"("rect_b":[72.00,672.00,200.00,692.00],"old":{"uri":"https://a.example"},"new":{"uri":"https://b.example"}}])"});
    v.push_back({"a link added", with_annots({{0, "/Annots [" + uri_a + "]"}}),
                 with_annots({{0, "/Annots [" + uri_a + link("0 0 10 10", "/Dest [" + P(2) + " /Fit]") + "]"}}),
                 R"([{"type":"link_changed","page_a":null,"page_b":1,"rect_a":null,"rect_b":[0.00,782.00,10.00,792.00],)"
                 R"("old":null,"new":{"target_page":3}}])"});
    v.push_back({"links reordered on their page are no difference",
                 with_annots({{0, "/Annots [" + uri_a + link("0 0 10 10", "/Dest [" + P(1) + " /Fit]") + "]"}}),
                 with_annots({{0, "/Annots [" + link("0 0 10 10", "/Dest [" + P(1) + " /Fit]") + uri_a + "]"}}), ""});
    v.push_back({"a named destination leads where the explicit one does",
                 with_annots({{0, "/Annots [" + link("0 0 10 10", "/Dest (sec2)") + "]"}},
                             {{10, "<< /Names [(sec1) [" + P(0) + " /Fit] (sec2) [" + P(1) + " /XYZ 0 0 0]] >>"}},
                             "/Names << /Dests 10 0 R >>"),
                 with_annots({{0, "/Annots [" + link("0 0 10 10", "/Dest [" + P(1) + " /Fit]") + "]"}}), ""});
    v.push_back({"a named destination that is nowhere says so",
                 with_annots({{0, "/Annots [" + link("0 0 10 10", "/Dest /gone") + "]"}}),
                 with_annots({{0, "/Annots [" + link("0 0 10 10", "/Dest [" + P(1) + " /Fit]") + "]"}}),
                 R"([{"type":"link_changed","page_a":1,"page_b":1,"rect_a":[0.00,782.00,10.00,792.00],)"
                 R"("rect_b":[0.00,782.00,10.00,792.00],"old":{"dest":"gone"},"new":{"target_page":2},)"
                 R"("problem":"A: named destination not found"}])"});
    // Annotations.
    const std::string note = "<< /Type /Annot /Subtype /Text /Rect [100 100 120 120] /Contents (Check this) /T (Bob) "
                             "/Popup 11 0 R >>";
    const std::vector<std::pair<int, std::string>> popup = {
        {11, "<< /Type /Annot /Subtype /Popup /Rect [200 200 300 300] /Open false >>"}};
    v.push_back({"a comment added, its popup folded into it", with_annots({}),
                 with_annots({{1, "/Annots [10 0 R 11 0 R]"}}, {{10, note}, popup[0]}),
                 R"([{"type":"annotation_added","page_a":null,"page_b":2,"rect_a":null,"rect_b":[100.00,672.00,120.00,692.00],)"
                 R"("old":null,"new":{"subtype":"Text","contents":"Check this","author":"Bob"}}])"});
    v.push_back({"a comment's text changed",
                 with_annots({{1, "/Annots [10 0 R 11 0 R]"}}, {{10, note}, popup[0]}),
                 with_annots({{1, "/Annots [10 0 R]"}},
                             {{10, "<< /Subtype /Text /Rect [100 100 120 120] /Contents <FEFF004F004B> /T (Bob) >>"}}),
                 R"([{"type":"annotation_changed","page_a":2,"page_b":2,"rect_a":[100.00,672.00,120.00,692.00],)"
                 R"("rect_b":[100.00,672.00,120.00,692.00],"old":{"subtype":"Text","contents":"Check this","author":"Bob"},)"
                 R"("new":{"subtype":"Text","contents":"OK","author":"Bob"}}])"});
    v.push_back({"a highlight removed",
                 with_annots({{2, "/Annots [<< /Subtype /Highlight /Rect [1 2 3 4] >>]"}}), with_annots({}),
                 R"([{"type":"annotation_removed","page_a":3,"page_b":null,"rect_a":[1.00,788.00,3.00,790.00],"rect_b":null,)"
                 R"("old":{"subtype":"Highlight","contents":"","author":""},"new":null}])"});
    v.push_back({"a name that is no UTF-8 shows U+FFFD", with_annots({}),
                 with_annots({{2, "/Annots [<< /Subtype /Caret#E9 /Rect [1 2 3 4] >>]"}}),
                 R"([{"type":"annotation_added","page_a":null,"page_b":3,"rect_a":null,"rect_b":[1.00,788.00,3.00,790.00],)"
                 R"("old":null,"new":{"subtype":"Caret)" "\xEF\xBF\xBD" R"(","contents":"","author":""}}])"});
    // Form fields: "form.name" (a text field with one widget on page 2),
    // and "agree" (a check box whose field is its own widget).
    auto form = [](const std::string &value, const std::string &ff, bool ap) {
        return with_annots(
            {{1, "/Annots [12 0 R 13 0 R]"}},
            {{10, "<< /Fields [11 0 R 13 0 R] >>"},
             {11, "<< /T (form) /Kids [14 0 R] >>"},
             {14, "<< /T (name) /Parent 11 0 R /FT /Tx /V " + value + " " + ff + " /Kids [12 0 R] >>"},
             {12, "<< /Type /Annot /Subtype /Widget /Parent 14 0 R /Rect [72 300 250 320] " +
                      std::string(ap ? "/AP << /N 15 0 R >>" : "") + " >>"},
             {13, "<< /Type /Annot /Subtype /Widget /FT /Btn /T (agree) /V /Off /Rect [10 10 20 20] >>"},
             {15, "<< >>"}},
            "/AcroForm 10 0 R");
    };
    v.push_back({"the same form in other encodings is no difference", form("(Alice)", "", true),
                 form("<FEFF0041006C006900630065>", "", true), ""});
    v.push_back({"a field's value, read-only flag and appearance", form("(Alice)", "", true),
                 form("(Bob)", "/Ff 1", false),
                 R"([{"type":"field_changed","key":"form.name","page_a":2,"page_b":2,"rect_a":[72.00,472.00,250.00,492.00],)"
                 R"("rect_b":[72.00,472.00,250.00,492.00],"old":{"type":"Tx","value":"Alice","read_only":false,"appearance":true},)"
                 R"("new":{"type":"Tx","value":"Bob","read_only":true,"appearance":false}}])"});
    // Embedded files.
    auto files = [](const std::vector<std::pair<std::string, std::string>> &named, bool compress) {
        Doc d;
        d.catalog = "/Names << /EmbeddedFiles << /Names [";
        int num = 10;
        for (const auto &[name, data] : named) {
            d.catalog += "(" + name + ") " + std::to_string(num) + " 0 R ";
            d.objects.push_back({num, "<< /Type /Filespec /F (" + name + ") /EF << /F " + std::to_string(num + 1) + " 0 R >> >>"});
            d.streams.push_back({num + 1, {"/Type /EmbeddedFile", data}});
            num += 2;
        }
        d.catalog += "] >> >>";
        d.compress = compress;
        return d;
    };
    v.push_back({"an attachment compressed or not is the same attachment", files({{"a.txt", "hello"}}, false),
                 files({{"a.txt", "hello"}}, true), ""});
    v.push_back({"attachments added, removed and changed", files({{"a.txt", "hello"}, {"b.txt", "x"}}, false),
                 files({{"a.txt", "hullo"}, {"c.txt", "new"}}, false),
                 R"([{"type":"attachment_changed","key":"a.txt",)"
                 R"("old":{"file":"a.txt","size":5,"sha256":"2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824"},)"
                 R"("new":{"file":"a.txt","size":5,"sha256":"7835066a1457504217688c8f5d06909c6591e0ca78c254ccf17450d0d999cab0"}},)"
                 R"({"type":"attachment_removed","key":"b.txt",)"
                 R"("old":{"file":"b.txt","size":1,"sha256":"2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881"},"new":null},)"
                 R"({"type":"attachment_added","key":"c.txt","old":null,)"
                 R"("new":{"file":"c.txt","size":3,"sha256":"11507a0e2f5e69d5dfa40a62a1bd7b6ee57e6bcd85c67c9b8431b36fff21c437"}}])"});
    // Page labels.
    v.push_back({"page labels changed", with_catalog("/PageLabels << /Nums [0 << /S /r >> 2 << /S /D >>] >>"),
                 with_catalog("/PageLabels << /Nums [0 << /S /r >> 1 << /S /D /P (A-) /St 5 >>] >>"),
                 R"([{"type":"page_labels_changed","key":"page_labels",)"
                 R"("old":[{"page":1,"style":"r","prefix":"","start":1},{"page":3,"style":"D","prefix":"","start":1}],)"
                 R"("new":[{"page":1,"style":"r","prefix":"","start":1},{"page":2,"style":"D","prefix":"A-","start":5}]}])"});
    // The option.
    v.push_back({"no kinds, no document list", with_info("<< /Title (Old) >>"), with_info("<< /Title (New) >>"), "",
                 R"({"document":[]})"});
    v.push_back({"a kind left out is not compared", with_info("<< /Title (Old) >>"), with_info("<< /Title (New) >>"),
                 "", R"({"document":["outline","links"]})"});
    return v;
}

TEST(DocumentLevel, EachKindAddedRemovedChangedAndUnchanged) {
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.behaviour);
        EXPECT_EQ(document(compare(c.a, c.b, c.options)), c.expected);
    }
}

TEST(DocumentLevel, AFileAndItsRewriteWithObjectStreamsAgree) {
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.behaviour);
        Doc rewritten = c.a;
        rewritten.objstm = true;
        rewritten.compress = !c.a.compress;
        EXPECT_EQ(compare(c.a, rewritten, R"({"document":["metadata","metadata_dates","outline","links",)"
                                                 R"("annotations","fields","attachments","page_labels"]})"),
                  R"({"identical":true,"pages_compared":3,"differences":[]})");
    }
}

TEST(DocumentLevel, IdenticalFollowsTheDocumentListAndThePlainFunctionsIgnoreIt) {
    const Doc a = with_info("<< /Title (Old) >>"), b = with_info("<< /Title (New) >>");
    const std::string pa = testutil::write_tmp("a.pdf", a.build()), pb = testutil::write_tmp("b.pdf", b.build());
    EXPECT_EQ(std::string(morvex_compare(pa.c_str(), pb.c_str())),
              R"({"identical":true,"pages_compared":3,"differences":[]})");
    const std::string detail = morvex_compare_opts(pa.c_str(), pb.c_str(), R"({"report":"detail"})");
    EXPECT_EQ(detail.rfind(R"({"identical":false,"pages_compared":3,"differences":[],"document":[{"type":"metadata_changed")", 0), 0u)
        << detail;
    EXPECT_NE(detail.find(R"(],"pairs":[{"page_a":1,"page_b":1})"), std::string::npos) << detail;
    // The text report keeps to the text.
    EXPECT_EQ(std::string(morvex_compare_opts(pa.c_str(), pb.c_str(), R"({"report":"text"})")),
              R"({"identical":true,"pages_compared":3,"differences":[]})");
}

TEST(DocumentLevel, BookmarksAndLinksFollowTheirPageWhenPagesArePairedByContent) {
    // B has a page inserted before "two": the bookmark and the link that led
    // to "two" still do.
    Doc a = with_annots({{0, "/Annots [" + link("0 0 10 10", "/Dest [" + P(1) + " /Fit]") + "]"}},
                        {{10, "<< /First 11 0 R /Last 11 0 R >>"}, {11, "<< /Title (Two) /Parent 10 0 R /Dest [" + P(1) + " /Fit] >>"}},
                        "/Outlines 10 0 R");
    Doc b = a;
    b.texts = {"one", "new", "two", "three"};
    b.page_extra = {{0, "/Annots [" + link("0 0 10 10", "/Dest [" + P(2) + " /Fit]") + "]"}};
    b.objects[1].second = "<< /Title (Two) /Parent 10 0 R /Dest [" + P(2) + " /Fit] >>";
    EXPECT_EQ(document(compare(a, b, R"({"pairing":"content"})")), "");
    EXPECT_NE(document(compare(a, b, R"({"pairing":"position"})")), "");
}

TEST(DocumentLevel, TheOptionNamesItsKinds) {
    const Doc a;
    for (const char *bad : {R"({"document":"all"})", R"({"document":["links","link"]})", R"({"document":[1]})"}) {
        SCOPED_TRACE(bad);
        const std::string r = compare(a, a, bad);
        EXPECT_EQ(r.rfind("error: options: \"document\" must be a list of \"metadata\"", 0), 0u) << r;
    }
}

TEST(DocumentLevel, TextStringsDecode) {
    using morvex::docinfo::decode_text_string;
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},
        {"\x18\x80\x92\xA0", "\xCB\x98\xE2\x80\xA2\xE2\x84\xA2\xE2\x82\xAC"},  // breve, bullet, trademark, euro
        {"\x9F\xAD", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // undefined codes
        {std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6), "\xF0\x9F\x98\x80"},      // a surrogate pair
        {std::string("\xFE\xFF\xD8\x3D\x00\x41", 6), "\xEF\xBF\xBD" "A"},     // a lone high surrogate
        {std::string("\xFE\xFF\x00\x41\x00", 5), "A\xEF\xBF\xBD"},              // an odd last byte
        {std::string("\xFE\xFF\x00\x1B\x65\x6E\x00\x1B\x00\x48", 10), "H"},     // a language escape
        {std::string("\xFF\xFE\x41\x00", 4), "A"},                              // little-endian mark
        {"\xEF\xBB\xBF" "caf\xC3\xA9 \xFF", "caf\xC3\xA9 \xEF\xBF\xBD"},       // UTF-8 with a broken byte
    };
    for (const auto &c : cases) EXPECT_EQ(decode_text_string(c.in), c.out);
    const std::string huge(10000, 'x');
    const std::string shown = morvex::docinfo::shown_text(huge);
    EXPECT_EQ(shown.size(), morvex::docinfo::kMaxShownText + std::string(" [... 10000 bytes, digest 0123456789abcdef]").size());
    EXPECT_NE(shown, morvex::docinfo::shown_text(huge.substr(1) + "y"));
}

}  // namespace
