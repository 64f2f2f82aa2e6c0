#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

namespace zk {

// Edits of a list shown in a view, made through a binding to the list: each reads the list, changes
// it and writes it back in one assignment, as a list view's move, delete and drop handlers need.
template <class Element> struct ListBinding {
    std::function<std::vector<Element>()> get;
    std::function<void(std::vector<Element>)> set;
};

// Moves the elements at `offsets` (in their order) to before the element that was at
// `destination` (the list's size: to the end).
template <class Element>
void moveElements(std::vector<Element>& list, const std::set<std::size_t>& offsets, std::size_t destination)
{
    std::vector<Element> moved;
    std::vector<Element> rest;
    std::size_t insertAt = 0;
    for (std::size_t index = 0; index < list.size(); ++index) {
        if (offsets.contains(index)) {
            moved.push_back(std::move(list[index]));
        } else {
            if (index < destination) {
                ++insertAt;
            }
            rest.push_back(std::move(list[index]));
        }
    }
    rest.insert(rest.begin() + static_cast<std::ptrdiff_t>(insertAt), std::make_move_iterator(moved.begin()),
        std::make_move_iterator(moved.end()));
    list = std::move(rest);
}

// Removes the elements at `offsets`; offsets beyond the list are ignored.
template <class Element> void removeElements(std::vector<Element>& list, const std::set<std::size_t>& offsets)
{
    std::size_t index = 0;
    std::erase_if(list, [&](const Element&) { return offsets.contains(index++); });
}

// Inserts `elements` before the element at `offset`; an offset beyond the list appends them.
template <class Element>
void insertElements(std::vector<Element>& list, std::size_t offset, std::vector<Element> elements)
{
    const std::size_t at = std::min(offset, list.size());
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(elements.begin()),
        std::make_move_iterator(elements.end()));
}

template <class Element>
void onMove(
    const ListBinding<Element>& binding, const std::set<std::size_t>& offsets, std::size_t destination)
{
    auto list = binding.get();
    moveElements(list, offsets, destination);
    binding.set(std::move(list));
}

template <class Element>
void onDelete(const ListBinding<Element>& binding, const std::set<std::size_t>& offsets)
{
    auto list = binding.get();
    removeElements(list, offsets);
    binding.set(std::move(list));
}

// The move and delete handlers of one list, both through the binding.
template <class Element> struct MoveAndDelete {
    std::function<void(const std::set<std::size_t>& offsets, std::size_t destination)> move;
    std::function<void(const std::set<std::size_t>& offsets)> remove;
};

template <class Element> MoveAndDelete<Element> onMoveAndDelete(const ListBinding<Element>& binding)
{
    return { [binding](const std::set<std::size_t>& offsets, std::size_t destination) {
                onMove(binding, offsets, destination);
            },
        [binding](const std::set<std::size_t>& offsets) { onDelete(binding, offsets); } };
}

template <class Element>
void onInsert(const ListBinding<Element>& binding, std::size_t offset, std::vector<Element> elements)
{
    auto list = binding.get();
    insertElements(list, offset, std::move(elements));
    binding.set(std::move(list));
}

} // namespace zk
