#pragma once
// Growable array in one heap block: `size` and `capacity` (32-bit each) in front of the element
// slots. Capacity starts at 8 and doubles; the block never exceeds 4,294,967,295 bytes. Copies are
// deep. Only arrays of String and unsigned int can be serialized.

#include "foundation/Exception.h"
#include "foundation/QELValue.h"
#include "foundation/Serializable.h"
#include "foundation/String.h"

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

namespace qel {

// How an element type takes part in serialization.
template <typename T> struct ArrayElementTraits {
    static constexpr bool serializable = false;
    static constexpr const char* className = "ArrayOfOthers";
};

template <> struct ArrayElementTraits<String> {
    static constexpr bool serializable = true;
    static constexpr const char* className = "A<String>";
    static String toText(const String& value) { return value; }
    static String fromText(const String& text) { return text; }
};

template <> struct ArrayElementTraits<unsigned int> {
    static constexpr bool serializable = true;
    static constexpr const char* className = "A<unsigned int>";
    static String toText(unsigned int value) { return QELValue(value).toString(); }
    static unsigned int fromText(const String& text) { return parseUnsigned(text); }
};

template <typename T> class Array : public Serializable {
    static_assert(alignof(T) <= 8, "elements sit 8 bytes into the block");

public:
    static constexpr std::uint32_t kInitialCapacity = 8;
    static constexpr std::uint32_t kMaxCapacity =
        static_cast<std::uint32_t>((0xFFFFFFFFull - 8) / sizeof(T));

    Array() { block_ = allocate(kInitialCapacity, 0); }

    Array(const Array& other) : Serializable(other) {
        block_ = allocate(grownCapacity(other.capacity()), other.capacity());
        try {
            copyFrom(other);
        } catch (...) {
            destroyAll(block_);
            ::operator delete(block_);
            throw;
        }
    }

    Array& operator=(const Array& other) {
        if (block_ != other.block_) {
            Header* fresh = allocate(grownCapacity(other.capacity()), other.capacity());
            std::swap(block_, fresh);
            try {
                copyFrom(other);
            } catch (...) {
                // Keep the old elements; drop the partial copy.
                std::swap(block_, fresh);
                destroyAll(fresh);
                ::operator delete(fresh);
                throw;
            }
            destroyAll(fresh);
            ::operator delete(fresh);
        }
        return *this;
    }

    ~Array() override {
        destroyAll(block_);
        ::operator delete(block_);
    }

    std::uint32_t size() const { return block_->size; }
    std::uint32_t capacity() const { return block_->capacity; }

    T& operator[](std::uint32_t index) {
        checkIndex(index);
        return slots(block_)[index];
    }
    const T& operator[](std::uint32_t index) const {
        checkIndex(index);
        return slots(block_)[index];
    }

    // Grows to at least `minimum` by the growth rule; never shrinks.
    void reserve(std::uint32_t minimum) {
        if (minimum <= capacity()) {
            return;
        }
        Header* fresh = allocate(grownCapacity(minimum), minimum);
        T* from = slots(block_);
        T* to = slots(fresh);
        std::uint32_t built = 0;
        try {
            for (; built < block_->size; ++built) {
                new (to + built) T(from[built]);
            }
        } catch (...) {
            for (std::uint32_t i = 0; i < built; ++i) {
                to[i].~T();
            }
            ::operator delete(fresh);
            throw;
        }
        fresh->size = block_->size;
        destroyAll(block_);
        ::operator delete(block_);
        block_ = fresh;
    }

    void append(const T& element) {
        if (size() == capacity()) {
            // The element may live in this array: copy it before the block moves.
            T copy(element);
            reserve(size() + 1);
            new (slots(block_) + block_->size) T(std::move(copy));
        } else {
            new (slots(block_) + block_->size) T(element);
        }
        ++block_->size;
    }

    // Removes `count` elements from `index` on; the rest keep their order.
    void remove(std::uint32_t index, std::uint32_t count) {
        const std::uint64_t end = std::uint64_t(index) + count;
        if (end > size()) {
            throw IndexOutOfBounds(0, static_cast<int>(size()), static_cast<int>(end));
        }
        if (count == 0) {
            return; // moving the tail down by nothing would rebuild each element in place
        }
        T* items = slots(block_);
        for (std::uint32_t i = index; i < end; ++i) {
            items[i].~T();
        }
        std::uint32_t i = static_cast<std::uint32_t>(end);
        try {
            for (; i < block_->size; ++i) {
                new (items + i - count) T(std::move_if_noexcept(items[i]));
                items[i].~T();
            }
        } catch (...) {
            // A copy failed half way: the elements not yet moved down are lost, so that the
            // block holds no gap and each element is destroyed once.
            for (std::uint32_t k = i; k < block_->size; ++k) {
                items[k].~T();
            }
            block_->size = i - count;
            throw;
        }
        block_->size -= count;
    }

    // Destroys every element; the capacity stays.
    void clear() {
        destroyAll(block_);
        block_->size = 0;
    }

    T* begin() { return slots(block_); }
    T* end() { return slots(block_) + block_->size; }
    const T* begin() const { return slots(block_); }
    const T* end() const { return slots(block_) + block_->size; }

    static const String& className() {
        static const String name(ArrayElementTraits<T>::className);
        return name;
    }
    const String& vClassName() const override { return className(); }

    void serializeImp(const String& memberName, String& out) const override {
        if constexpr (ArrayElementTraits<T>::serializable) {
            serializeBegin(memberName);
            for (const T& element : *this) {
                serialize(String("item"), ArrayElementTraits<T>::toText(element));
            }
            serializeEnd();
            getSerializedXML(out);
        } else {
            (void)out;
            throw SerializationFailed(String("Serialization is not supported for: ") + memberName);
        }
    }

    void deserializeImp(const XmlElement& element) override {
        if constexpr (ArrayElementTraits<T>::serializable) {
            Array<T> items;
            deserializeBegin(element);
            std::swap(block_, items.block_);
            try {
                for (const XmlElement& item : element.children) {
                    insertValueToContainer(item);
                }
            } catch (...) {
                std::swap(block_, items.block_);
                deserializeEnd();
                throw;
            }
            deserializeEnd();
        } else {
            (void)element;
            std::fputs("Serialization isn't support for this class!!!\n", stdout);
        }
    }

    void insertValueToContainer(const XmlElement& item) override {
        if constexpr (ArrayElementTraits<T>::serializable) {
            append(ArrayElementTraits<T>::fromText(item.text));
        } else {
            (void)item;
        }
    }

private:
    struct Header {
        std::uint32_t size;
        std::uint32_t capacity;
    };
    static_assert(sizeof(Header) == 8);

    static T* slots(Header* header) {
        return std::launder(reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(header) + 8));
    }
    static const T* slots(const Header* header) {
        return std::launder(
            reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(header) + 8));
    }

    // The growth rule: 8 doubled until it holds `needed`; n itself when doubling overflows.
    static std::uint32_t grownCapacity(std::uint32_t needed) {
        std::uint32_t c = kInitialCapacity;
        while (c < needed) {
            const std::uint32_t doubled = c * 2;
            if (doubled == 0) {
                return needed;
            }
            c = doubled;
        }
        return c;
    }

    // A block for `capacity` elements; `reported` is the number named if it cannot be had.
    static Header* allocate(std::uint32_t capacity, std::uint32_t reported) {
        void* memory = nullptr;
        if (capacity <= kMaxCapacity) {
            memory = ::operator new(8 + std::size_t(capacity) * sizeof(T), std::nothrow);
        }
        if (memory == nullptr) {
            throw NullPointer(String("Asked for array of size: ") +
                              QELValue(reported).toString(String()));
        }
        Header* header = static_cast<Header*>(memory);
        header->size = 0;
        header->capacity = capacity;
        return header;
    }

    static void destroyAll(Header* header) {
        T* items = slots(header);
        for (std::uint32_t i = 0; i < header->size; ++i) {
            items[i].~T();
        }
    }

    void copyFrom(const Array& other) {
        const T* from = slots(other.block_);
        T* to = slots(block_);
        for (std::uint32_t i = 0; i < other.size(); ++i) {
            new (to + i) T(from[i]);
            block_->size = i + 1;
        }
    }

    void checkIndex(std::uint32_t index) const {
        if (index >= size()) {
            throw IndexOutOfBounds(0, static_cast<int>(size()) - 1, static_cast<int>(index));
        }
    }

    Header* block_;
};

extern template class Array<String>;
extern template class Array<unsigned int>;

} // namespace qel
