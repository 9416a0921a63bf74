// Helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "document/document.h"
#include "fixture/pdf_writer.h"
#include "library_state.h"

namespace testutil {

inline const morvex::u8 *bytes(const std::string &s) {
    return reinterpret_cast<const morvex::u8 *>(s.data());
}
inline int32_t len(const std::string &s) { return static_cast<int32_t>(s.size()); }

// A path in the test's scratch folder.
inline std::string tmp_path(const std::string &name) {
    const char *dir = std::getenv("MORVEX_TEST_TMP");
    std::string base = dir ? dir : "/tmp";
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string prefix = info ? std::string(info->test_suite_name()) + "." + info->name() + "." : "";
    for (char &c : prefix)
        if (c == '/') c = '_';
    return base + "/" + prefix + name;
}

// Writes bytes to a scratch file and returns its path.
inline std::string write_tmp(const std::string &name, const std::string &content) {
    const std::string path = tmp_path(name);
    fixture::write_file(path, content);
    return path;
}

// Loads a document from bytes in memory.
inline bool load(const std::string &pdf, morvex::PdfDocument *doc) {
    std::unique_ptr<morvex::u8[]> block(new morvex::u8[pdf.size() + 1]);
    std::memcpy(block.get(), pdf.data(), pdf.size());
    block[pdf.size()] = 0;
    return morvex::doc_load_bytes(std::move(block), static_cast<int32_t>(pdf.size()), "mem.pdf",
                                  doc) == 1;
}

}  // namespace testutil
