// The rows of the list in arrival order, kept in fixed blocks so that a row never moves once
// it is stored: a sort on another thread reads the first rows while later ones are added.
#pragma once

#include "ui/ListRow.h"

#include <cstddef>
#include <vector>

class RowStore {
    static constexpr size_t kBlockShift = 12;
    static constexpr size_t kBlockRows = size_t(1) << kBlockShift;
    static constexpr size_t kInBlock = kBlockRows - 1;

public:
    // The rows stored when it was taken, readable on any thread while the store lives and
    // rows are only added.
    class Snapshot {
    public:
        size_t size() const { return count_; }
        const ListRow& operator[](size_t arrival) const {
            return blocks_[arrival >> kBlockShift][arrival & kInBlock];
        }

    private:
        friend class RowStore;
        std::vector<const ListRow*> blocks_;
        size_t count_ = 0;
    };

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const ListRow& operator[](size_t arrival) const {
        return blocks_[arrival >> kBlockShift][arrival & kInBlock];
    }
    void push_back(ListRow row) {
        if ((count_ & kInBlock) == 0) {
            blocks_.emplace_back();
            blocks_.back().reserve(kBlockRows); // filled in place, never reallocated
        }
        blocks_.back().push_back(std::move(row));
        ++count_;
    }
    Snapshot snapshot() const {
        Snapshot taken;
        taken.blocks_.reserve(blocks_.size());
        for (const std::vector<ListRow>& block : blocks_)
            taken.blocks_.push_back(block.data());
        taken.count_ = count_;
        return taken;
    }

private:
    std::vector<std::vector<ListRow>> blocks_;
    size_t count_ = 0;
};
