#pragma once

#include <initializer_list>
#include <memory>
#include <vector>

namespace zk {

// A reference that does not keep its object alive: it reads as the object while something else
// owns it, and as nothing afterwards. Holds no lock of its own.
template <class T> class WeakBox {
public:
    WeakBox() = default;
    WeakBox(const std::shared_ptr<T>& object)
        : m_object(object)
    {
    }

    std::shared_ptr<T> wrappedValue() const { return m_object.lock(); }
    void setWrappedValue(const std::shared_ptr<T>& object) { m_object = object; }

private:
    std::weak_ptr<T> m_object;
};

// A list of weak references in the order given; elements whose objects have gone read as nothing.
template <class T> class WeakArray {
public:
    WeakArray() = default;
    WeakArray(const std::vector<std::shared_ptr<T>>& objects)
        : m_storage(objects.begin(), objects.end())
    {
    }
    WeakArray(std::initializer_list<std::shared_ptr<T>> objects)
        : m_storage(objects.begin(), objects.end())
    {
    }

    std::size_t size() const { return m_storage.size(); }
    std::shared_ptr<T> operator[](std::size_t index) const { return m_storage[index].wrappedValue(); }
    void append(const std::shared_ptr<T>& object) { m_storage.emplace_back(object); }

    // The objects still alive, in order.
    std::vector<std::shared_ptr<T>> liveObjects() const
    {
        std::vector<std::shared_ptr<T>> result;
        for (const auto& box : m_storage) {
            if (auto object = box.wrappedValue()) {
                result.push_back(std::move(object));
            }
        }
        return result;
    }

    const std::vector<WeakBox<T>>& storage() const { return m_storage; }

private:
    std::vector<WeakBox<T>> m_storage;
};

} // namespace zk
