// The objects a library hands out under integer handles: kept in the order they
// were added (the order their list functions enumerate) and found by handle in
// constant time through an index beside that list. The handle of each entry is
// kept in the entry, so walking the list or finding a neighbour touches no
// object. Handles are unique: adding one that is already listed is refused.
//
// Not synchronised: the owning registry guards it with its own lock.
#ifndef VKCOMMON_HANDLE_TABLE_H
#define VKCOMMON_HANDLE_TABLE_H

#include <cstddef>
#include <iterator>
#include <list>
#include <optional>
#include <unordered_map>
#include <utility>

namespace vk {

template <typename Ref> class HandleTable {
  public:
    struct Entry {
        int handle = 0;
        Ref ref{};
    };
    using List = std::list<Entry>;
    using const_iterator = typename List::const_iterator;
    using iterator = typename List::iterator;

    bool empty() const { return order_.empty(); }
    std::size_t size() const { return order_.size(); }
    const_iterator begin() const { return order_.begin(); }
    const_iterator end() const { return order_.end(); }
    iterator begin() { return order_.begin(); }
    iterator end() { return order_.end(); }

    bool contains(int handle) const { return index_.find(handle) != index_.end(); }

    // The entry's reference, or null when the handle is not listed.
    const Ref* find(int handle) const {
        const auto at = index_.find(handle);
        return at == index_.end() ? nullptr : &at->second->ref;
    }

    // Appends `ref` under `handle`, moving it in only on success: false when the
    // handle is already listed; std::bad_alloc leaves `ref` and the table as they
    // were.
    bool add(int handle, Ref&& ref) {
        if (contains(handle)) return false;
        order_.emplace_back();
        try {
            index_.emplace(handle, std::prev(order_.end()));
        } catch (...) {
            order_.pop_back();
            throw;
        }
        order_.back().handle = handle;
        order_.back().ref = std::move(ref);
        return true;
    }
    bool add(int handle, const Ref& ref) {
        Ref copy(ref);
        return add(handle, std::move(copy));
    }

    // Unlists `handle` and hands its reference out; nothing when not listed.
    std::optional<Ref> take(int handle) {
        const auto at = index_.find(handle);
        if (at == index_.end()) return std::nullopt;
        const iterator entry = at->second;
        index_.erase(at);
        std::optional<Ref> ref(std::move(entry->ref));
        order_.erase(entry);
        return ref;
    }

    // Puts `ref` in the place of the entry listed under `handle` (same handle,
    // same place in the order) and hands the old reference out.
    std::optional<Ref> replace(int handle, Ref ref) {
        const auto at = index_.find(handle);
        if (at == index_.end()) return std::nullopt;
        std::optional<Ref> old(std::move(at->second->ref));
        at->second->ref = std::move(ref);
        return old;
    }

    // The first handle listed, or nothing when the table is empty.
    std::optional<int> first() const {
        if (order_.empty()) return std::nullopt;
        return order_.front().handle;
    }

    // Enumeration: the handle listed after `handle`, 0 when it is the last one,
    // nothing when `handle` is not listed.
    std::optional<int> next(int handle) const {
        const auto at = index_.find(handle);
        if (at == index_.end()) return std::nullopt;
        const auto following = std::next(const_iterator(at->second));
        return following == order_.end() ? 0 : following->handle;
    }

    // Empties the table and hands every reference out, in list order.
    List release() {
        index_.clear();
        List all;
        all.swap(order_);
        return all;
    }

  private:
    List order_;
    std::unordered_map<int, iterator> index_;
};

} // namespace vk

#endif
