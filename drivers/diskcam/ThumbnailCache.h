#pragma once
// The thumbnails made last, up to a budget of bytes: a grid asks again for
// what scrolls back into view, but a folder may hold tens of thousands.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace diskcam {

class ThumbnailCache {
public:
    explicit ThumbnailCache(size_t budget) : budget_(budget) {}

    bool Find(const void* picture, std::vector<uint8_t>& out) {
        std::lock_guard<std::mutex> hold(lock_);
        auto at = index_.find(picture);
        if (at == index_.end()) return false;
        entries_.splice(entries_.begin(), entries_, at->second);
        out = at->second->second;
        return true;
    }

    void Keep(const void* picture, const std::vector<uint8_t>& bytes) {
        if (bytes.size() > budget_) return;
        std::lock_guard<std::mutex> hold(lock_);
        auto at = index_.find(picture);
        if (at != index_.end()) Drop(at->second);
        entries_.emplace_front(picture, bytes);
        index_[picture] = entries_.begin();
        used_ += bytes.size();
        while (used_ > budget_) Drop(std::prev(entries_.end()));
    }

private:
    using Entry = std::pair<const void*, std::vector<uint8_t>>;
    void Drop(std::list<Entry>::iterator entry) {
        used_ -= entry->second.size();
        index_.erase(entry->first);
        entries_.erase(entry);
    }

    const size_t budget_;
    size_t used_ = 0;
    std::mutex lock_;
    std::list<Entry> entries_;  // the most recently used first
    std::unordered_map<const void*, std::list<Entry>::iterator> index_;
};

}  // namespace diskcam
