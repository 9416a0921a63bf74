// The PDF files of a directory tree, and two trees paired by relative path.
#ifndef MORVEX_CLI_WALK_H
#define MORVEX_CLI_WALK_H

#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace walk {

using DirId = std::pair<dev_t, ino_t>;

struct Tree {
    std::vector<std::string> files;     // relative paths, sorted by path_less
    std::vector<std::string> warnings;  // skipped loops and special files
    std::vector<std::string> errors;    // directories or entries that could not be read
};

// Whether a file name ends in ".pdf", in any letter case.
bool is_pdf_name(std::string_view name);

// Path order: component by component, so "a/b.pdf" comes before "a-b.pdf"
// and everything inside a directory stays together.
bool path_less(std::string_view a, std::string_view b);

// Every PDF file under `root`, recursively.  Symbolic links are followed,
// to files and to directories, but a directory that is already being
// walked higher up (a link loop) is skipped with a warning, so the walk
// always ends.  A link to nothing that is named like a PDF is listed (its
// comparison will fail and say why); other entries that are neither a
// regular file nor a directory are skipped with a warning.  Directories
// listed in `skip` (by device and inode) are not entered.
Tree collect(const std::string &root, const std::vector<DirId> &skip = {});

enum class Side { Both, OldOnly, NewOnly };

struct Item {
    std::string path;  // relative
    Side side = Side::Both;
};

// Merges two sorted lists into one sorted list of items.
std::vector<Item> pair_up(const std::vector<std::string> &old_files, const std::vector<std::string> &new_files);

// `dir` + "/" + `rel`, without doubling a slash `dir` ends with.
std::string join(const std::string &dir, const std::string &rel);

// Writes `bytes` to `path` through a temporary file beside it, renamed
// over it once complete, so a reader never sees half a file.  Returns an
// error message, or "" when written.
std::string write_file(const std::string &path, std::string_view bytes);

}  // namespace walk

#endif
