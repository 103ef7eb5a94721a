// Numbers that name platform objects (bitmaps, device contexts) for the
// 32-bit handles the methods pass around. Numbers are never 0 and never
// shared between two live objects of any table, as GDI handles are.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace orvessa::platform {

std::int32_t next_handle_number() noexcept;

template <class T>
class HandleTable {
public:
    std::int32_t add(std::shared_ptr<T> object) {
        const std::lock_guard lock(mutex_);
        std::int32_t handle = next_handle_number();
        while (objects_.count(handle) != 0) handle = next_handle_number();
        objects_.emplace(handle, std::move(object));
        return handle;
    }

    std::shared_ptr<T> find(std::int32_t handle) const {
        const std::lock_guard lock(mutex_);
        const auto it = objects_.find(handle);
        return it == objects_.end() ? nullptr : it->second;
    }

    bool remove(std::int32_t handle) {
        const std::lock_guard lock(mutex_);
        return objects_.erase(handle) != 0;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::int32_t, std::shared_ptr<T>> objects_;
};

}  // namespace orvessa::platform
