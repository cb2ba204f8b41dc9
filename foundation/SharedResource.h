#pragma once
// Reference-counted owner of an operating-system handle or a heap object, parameterised by a
// storage that knows the invalid value and how the resource is destroyed.

#include <atomic>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace qel {

// A handle whose invalid value is `Invalid`, destroyed by `Manager::destroy`.
template <typename T, long long Invalid, typename Manager> struct DescriptorStorage {
    using value_type = T;
    static T invalid() {
        if constexpr (std::is_pointer_v<T>) {
            return reinterpret_cast<T>(static_cast<std::intptr_t>(Invalid));
        } else {
            return static_cast<T>(Invalid);
        }
    }
    static void destroy(T value) { Manager::destroy(value); }
};

// A heap object destroyed with `delete`; its empty value is null.
template <typename T, int Null, int Kind> struct PointerStorage {
    static_assert(Null == 0, "a pointer's empty value is null");
    using value_type = T*;
    static T* invalid() { return nullptr; }
    static void destroy(T* value) { delete value; }
};

class SharedResourceDestroyerBase {
public:
    virtual ~SharedResourceDestroyerBase() = default;
    // Forget the resource: destroying the destroyer then leaves it alone.
    virtual void detach() = 0;
};

template <typename Storage>
class SharedResourceDestroyer final : public SharedResourceDestroyerBase {
public:
    using Value = typename Storage::value_type;
    explicit SharedResourceDestroyer(Value value) : value_(value) {}
    ~SharedResourceDestroyer() override {
        if (value_ != Storage::invalid()) {
            Storage::destroy(value_);
        }
    }
    void detach() override { value_ = Storage::invalid(); }

private:
    Value value_;
};

template <typename Storage, int Policy = 0> class SharedResource {
public:
    using Value = typename Storage::value_type;

    SharedResource() = default;
    // Owns `value` from here on (the invalid value included: its destroyer destroys nothing).
    explicit SharedResource(Value value) { reset(value); }
    SharedResource(const SharedResource& other) { shareFrom(other); }
    SharedResource& operator=(const SharedResource& other) {
        if (this != &other) {
            release();
            shareFrom(other);
        }
        return *this;
    }
    ~SharedResource() { release(); }

    // Releases what it held, then owns `value`.
    void reset(Value value) {
        release();
        SharedResourceDestroyer<Storage>* destroyer = nullptr;
        try {
            destroyer = new SharedResourceDestroyer<Storage>(value);
            count_ = new std::atomic<std::uint32_t>(1);
        } catch (...) {
            delete destroyer; // destroys the resource: it was handed over
            throw;
        }
        destroyer_ = destroyer;
        value_ = value;
    }
    void release() {
        if (count_ != nullptr && --*count_ == 0) {
            delete count_;
            delete destroyer_;
        }
        value_ = Storage::invalid();
        count_ = nullptr;
        destroyer_ = nullptr;
    }

    Value get() const { return value_; }
    bool isValid() const { return value_ != Storage::invalid(); }
    std::uint32_t getCount() const { return count_ == nullptr ? 0 : count_->load(); }

private:
    void shareFrom(const SharedResource& other) {
        if (other.count_ != nullptr) {
            value_ = other.value_;
            count_ = other.count_;
            destroyer_ = other.destroyer_;
            ++*count_;
        }
    }

    Value value_ = Storage::invalid();
    // Atomic like the shared pointer's count: owners of one resource may end on different
    // threads. (A plain count also trips g++ 12's use-after-free warning in callers that inline
    // a release next to a read of a sharing owner.)
    std::atomic<std::uint32_t>* count_ = nullptr;
    SharedResourceDestroyerBase* destroyer_ = nullptr;
};

// Hands a resource from one owner to the next: owns it until `release` gives it away.
template <typename Storage> class TransferResource {
public:
    using Value = typename Storage::value_type;
    TransferResource() = default;
    explicit TransferResource(Value value) : value_(value) {}
    TransferResource(TransferResource&& other) noexcept : value_(other.release()) {}
    TransferResource& operator=(TransferResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    TransferResource(const TransferResource&) = delete;
    TransferResource& operator=(const TransferResource&) = delete;
    ~TransferResource() { reset(Storage::invalid()); }

    Value get() const { return value_; }
    Value release() { return std::exchange(value_, Storage::invalid()); }
    void reset(Value value) {
        const Value old = std::exchange(value_, value);
        if (old != Storage::invalid()) {
            Storage::destroy(old);
        }
    }

private:
    Value value_ = Storage::invalid();
};

} // namespace qel
