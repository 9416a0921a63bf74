#include <algorithm>

#include "document.h"

namespace morvex {

namespace {

// Dense tables are used while the numbers stay within a small multiple of
// the entries, so memory follows the document, not its largest number.
bool dense_fits(int32_t max_num, size_t entries) {
    return max_num >= 0 && static_cast<uint64_t>(max_num) <= 8 * static_cast<uint64_t>(entries) + 65536;
}

// a defines its number later in the file than b.
bool later(const ObjectEntry &a, int32_t ai, const ObjectEntry &b, int32_t bi) {
    return a.def_pos != b.def_pos ? a.def_pos > b.def_pos : ai > bi;
}

}  // namespace

void ObjectIndex::build(const std::vector<ObjectEntry> &objects, int32_t max_num) {
    clear();
    is_dense_ = dense_fits(max_num, objects.size());
    if (is_dense_) {
        dense_.assign(static_cast<size_t>(max_num) + 1, -1);
        for (int32_t i = 0; i < static_cast<int32_t>(objects.size()); ++i) {
            const ObjectEntry &e = objects[static_cast<size_t>(i)];
            if (e.num < 1) continue;
            int32_t &slot = dense_[static_cast<size_t>(e.num)];
            if (slot < 0 || later(e, i, objects[static_cast<size_t>(slot)], slot)) slot = i;
        }
        return;
    }
    sparse_.reserve(objects.size());
    for (int32_t i = 0; i < static_cast<int32_t>(objects.size()); ++i)
        if (objects[static_cast<size_t>(i)].num >= 1) sparse_.emplace_back(objects[static_cast<size_t>(i)].num, i);
    // Per number, the latest definition sorts last; keep only it.
    std::sort(sparse_.begin(), sparse_.end(), [&](const auto &x, const auto &y) {
        if (x.first != y.first) return x.first < y.first;
        return later(objects[static_cast<size_t>(y.second)], y.second,
                     objects[static_cast<size_t>(x.second)], x.second);
    });
    size_t out = 0;
    for (size_t i = 0; i < sparse_.size(); ++i) {
        if (i + 1 < sparse_.size() && sparse_[i + 1].first == sparse_[i].first) continue;
        sparse_[out++] = sparse_[i];
    }
    sparse_.resize(out);
}

int32_t ObjectIndex::find(int32_t num) const {
    if (num < 1) return -1;
    if (is_dense_) return static_cast<size_t>(num) < dense_.size() ? dense_[static_cast<size_t>(num)] : -1;
    auto it = std::lower_bound(sparse_.begin(), sparse_.end(), std::make_pair(num, INT32_MIN));
    return (it != sparse_.end() && it->first == num) ? it->second : -1;
}

void ObjectIndex::clear() {
    dense_ = {};
    sparse_ = {};
    is_dense_ = true;
}

ObjectNumberSet::ObjectNumberSet(int32_t max_num, size_t expected)
    : is_dense_(dense_fits(max_num, expected)) {
    if (is_dense_) dense_.assign(static_cast<size_t>(max_num < 0 ? 0 : max_num) + 1, 0);
}

bool ObjectNumberSet::insert(int32_t num) {
    if (is_dense_ && num >= 0 && static_cast<size_t>(num) < dense_.size()) {
        if (dense_[static_cast<size_t>(num)]) return false;
        dense_[static_cast<size_t>(num)] = 1;
        return true;
    }
    return sparse_.insert(num).second;
}

bool ObjectNumberSet::contains(int32_t num) const {
    if (is_dense_ && num >= 0 && static_cast<size_t>(num) < dense_.size())
        return dense_[static_cast<size_t>(num)] != 0;
    return sparse_.count(num) != 0;
}

}  // namespace morvex
