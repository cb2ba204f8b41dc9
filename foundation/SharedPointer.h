#pragma once
// Reference-counted owner of a tree node or property. The count is shared by every handle of
// one object and is atomic, so handles may be released on different threads; each handle also
// locks its own mutex while it is copied or released.

#include "foundation/Mutex.h"
#include "platform/Hot.h"

#include <atomic>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace qel {

// The control block of one object: its handle count and how to delete it. Deleting the block
// frees the count with it.
class SharedPointerDeleterBase {
public:
    virtual ~SharedPointerDeleterBase() = default;
    virtual void deleteObject() = 0;

    std::atomic<std::uint32_t> count{1};
};

template <typename T> class SharedPointerDeleter final : public SharedPointerDeleterBase {
public:
    explicit SharedPointerDeleter(T* object) : object_(object) {}
    void deleteObject() override {
        delete object_; // through T's virtual destructor
        object_ = nullptr;
    }

private:
    T* object_;
};

// The object inside its own control block: one allocation for object, count and deleter.
template <typename T> class SharedPointerInPlace final : public SharedPointerDeleterBase {
public:
    template <typename... Args>
    explicit SharedPointerInPlace(Args&&... args) : object(std::forward<Args>(args)...) {}
    SM_HOT ~SharedPointerInPlace() override {} // the object is gone by then: deleteObject ends it
    SM_HOT void deleteObject() override { object.~T(); }

    union {
        T object;
    };
};

template <typename T, typename LockingPolicy = AutoMutexLockingPolicy> class SharedPointer {
public:
    using Count = std::atomic<std::uint32_t>;

    SharedPointer() = default;

    // Owns `object` from here on (null included).
    explicit SharedPointer(T* object) : pointer(object) {
        try {
            deleter = new SharedPointerDeleter<T>(object);
        } catch (...) {
            delete object;
            throw;
        }
        count = &deleter->count;
    }

    // A new T made from `args`, in one allocation with its count (count 1).
    template <typename... Args> SM_HOT static SharedPointer make(Args&&... args) {
        auto* block = new SharedPointerInPlace<T>(std::forward<Args>(args)...);
        SharedPointer handle;
        handle.pointer = &block->object;
        handle.deleter = block;
        handle.count = &block->count;
        return handle;
    }

    SM_HOT SharedPointer(const SharedPointer& other) { shareFrom(other); }

    // A handle on the base class of the object another handle holds; the deleter stays the one
    // made for the derived class.
    template <typename U>
    requires std::is_convertible_v<U*, T*>
        SM_HOT SharedPointer(const SharedPointer<U, LockingPolicy>& other) {
        typename LockingPolicy::Lock lock(mutex);
        if (other.count != nullptr) {
            pointer = other.pointer;
            count = other.count;
            deleteFunction = nullptr;
            deleter = other.deleter;
            count->fetch_add(1, std::memory_order_relaxed);
        }
    }

    SharedPointer& operator=(const SharedPointer& other) {
        if (this != &other && count != other.count) {
            SharedPointer copy(other);
            typename LockingPolicy::Lock lock(mutex);
            release();
            std::swap(pointer, copy.pointer);
            std::swap(count, copy.count);
            std::swap(deleteFunction, copy.deleteFunction);
            std::swap(deleter, copy.deleter);
        }
        return *this;
    }

    SM_HOT ~SharedPointer() {
        typename LockingPolicy::Lock lock(mutex);
        release();
    }

    T* get() const { return pointer; }
    T* operator->() const { return pointer; }
    T& operator*() const { return *pointer; }
    explicit operator bool() const { return pointer != nullptr; }
    // The number of handles sharing the object; 0 for an empty handle.
    std::uint32_t getCount() const { return count == nullptr ? 0 : count->load(); }

private:
    template <typename U, typename P> friend class SharedPointer;

    SM_HOT void shareFrom(const SharedPointer& other) {
        typename LockingPolicy::Lock lock(mutex);
        if (other.count != nullptr) {
            pointer = other.pointer;
            count = other.count;
            deleteFunction = other.deleteFunction;
            deleter = other.deleter;
            count->fetch_add(1, std::memory_order_relaxed);
        }
    }

    SM_HOT void release() {
        if (count == nullptr) {
            return;
        }
        if (count->fetch_sub(1, std::memory_order_acq_rel) == 1) {
            if (pointer != nullptr) {
                if (deleteFunction != nullptr) {
                    deleteFunction(pointer);
                } else if (deleter != nullptr) {
                    deleter->deleteObject();
                }
            }
            delete deleter; // and the count inside it
        }
        pointer = nullptr;
        count = nullptr;
        deleteFunction = nullptr;
        deleter = nullptr;
    }

    T* pointer = nullptr;
    Count* count = nullptr;
    void (*deleteFunction)(T*) = nullptr;
    SharedPointerDeleterBase* deleter = nullptr;
    Mutex mutex;
};

} // namespace qel
