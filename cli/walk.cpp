#include "walk.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace walk {

bool is_pdf_name(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view ext = name.substr(name.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'p' && (ext[2] | 0x20) == 'd' && (ext[3] | 0x20) == 'f';
}

bool path_less(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        if (a[i] == '/') return true;
        if (b[i] == '/') return false;
        return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    }
    return a.size() < b.size();
}

std::string join(const std::string &dir, const std::string &rel) {
    if (dir.empty()) return rel;
    if (rel.empty()) return dir;
    return dir.back() == '/' ? dir + rel : dir + "/" + rel;
}

std::string write_file(const std::string &path, std::string_view bytes) {
    const std::string temp = path + ".tmp";
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f) return "cannot write " + temp + ": " + std::strerror(errno);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (!written | (std::fclose(f) != 0)) {
        std::remove(temp.c_str());
        return "cannot write " + temp;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(temp.c_str());
        return "cannot write " + path + ": " + why;
    }
    return {};
}

namespace {

struct Walker {
    const std::vector<DirId> &skip;
    Tree &tree;
    std::vector<DirId> ancestors;

    void dir(const std::string &path, const std::string &rel) {
        DIR *d = opendir(path.c_str());
        if (!d) {
            tree.errors.push_back("cannot read directory " + path + ": " + std::strerror(errno));
            return;
        }
        std::vector<std::string> names;
        errno = 0;
        while (const dirent *e = readdir(d)) {
            const std::string_view name = e->d_name;
            if (name != "." && name != "..") names.emplace_back(name);
            errno = 0;
        }
        if (errno != 0) tree.errors.push_back("cannot read directory " + path + ": " + std::strerror(errno));
        closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string &name : names) entry(join(path, name), rel.empty() ? name : rel + "/" + name, name);
    }

    void entry(const std::string &path, const std::string &rel, const std::string &name) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            const int err = errno;
            struct stat lst;
            if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
                // A link to nothing (or to itself): list it when it looks
                // like a PDF, so that the comparison reports the problem.
                if (is_pdf_name(name)) tree.files.push_back(rel);
                return;
            }
            tree.errors.push_back("cannot read " + path + ": " + std::strerror(err));
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            const DirId id{st.st_dev, st.st_ino};
            if (std::find(skip.begin(), skip.end(), id) != skip.end()) return;
            if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
                tree.warnings.push_back("skipping " + path + ": it leads back to a directory above it");
                return;
            }
            ancestors.push_back(id);
            dir(path, rel);
            ancestors.pop_back();
            return;
        }
        if (!is_pdf_name(name)) return;
        if (S_ISREG(st.st_mode)) tree.files.push_back(rel);
        else tree.warnings.push_back("skipping " + path + ": not a regular file");
    }
};

}  // namespace

Tree collect(const std::string &root, const std::vector<DirId> &skip) {
    Tree tree;
    Walker w{skip, tree, {}};
    struct stat st;
    if (stat(root.c_str(), &st) != 0) {
        tree.errors.push_back("cannot read directory " + root + ": " + std::strerror(errno));
        return tree;
    }
    w.ancestors.push_back({st.st_dev, st.st_ino});
    w.dir(root, "");
    std::sort(tree.files.begin(), tree.files.end(), [](const std::string &a, const std::string &b) {
        return path_less(a, b);
    });
    return tree;
}

std::vector<Item> pair_up(const std::vector<std::string> &old_files, const std::vector<std::string> &new_files) {
    std::vector<Item> items;
    std::size_t i = 0, j = 0;
    while (i < old_files.size() || j < new_files.size()) {
        if (j == new_files.size() || (i < old_files.size() && path_less(old_files[i], new_files[j]))) {
            items.push_back({old_files[i++], Side::OldOnly});
        } else if (i == old_files.size() || path_less(new_files[j], old_files[i])) {
            items.push_back({new_files[j++], Side::NewOnly});
        } else {
            items.push_back({old_files[i], Side::Both});
            ++i, ++j;
        }
    }
    return items;
}

}  // namespace walk
