#pragma once
// The untyped core of the hash tables: an array of bucket chains. Buckets are typed by the
// tables built on top; the core only links, finds and deletes them.

#include "foundation/String.h"

#include <cstdint>
#include <vector>

namespace qel {

class _BucketBase {
public:
    _BucketBase* next = nullptr;

    _BucketBase() = default;
    _BucketBase(const _BucketBase&) = delete;
    _BucketBase& operator=(const _BucketBase&) = delete;
    virtual ~_BucketBase() = default;
    // True when the key behind `key` equals this bucket's key.
    virtual bool keyEquals(const void* key) const = 0;
    // A new bucket with a null `next` and copies of key and value.
    virtual _BucketBase* clone() const = 0;
};

class _HashTableRep {
public:
    explicit _HashTableRep(unsigned int size);
    _HashTableRep(const _HashTableRep& other);
    _HashTableRep& operator=(const _HashTableRep& other);
    ~_HashTableRep();

    // Takes ownership of `bucket`. When the key is already present the table is unchanged, the
    // bucket is deleted, and the result is false.
    bool insert(std::uint32_t hash, _BucketBase* bucket, const void* key);
    // Takes ownership of `bucket`; the caller knows the key is new.
    void insertWithoutCheck(std::uint32_t hash, _BucketBase* bucket);
    // The bucket holding the key, or null.
    _BucketBase* lookup(std::uint32_t hash, const void* key) const;
    // Deletes the key's bucket; false when the key is absent.
    bool remove(std::uint32_t hash, const void* key);
    void clear();

    unsigned int count() const { return count_; }
    unsigned int bucketCount() const { return static_cast<unsigned int>(chains_.size()); }

private:
    friend class _HashTableIteratorBase;
    std::vector<_BucketBase*> chains_;
    unsigned int count_ = 0;
};

// Walks every bucket of a core, chain by chain.
class _HashTableIteratorBase {
public:
    explicit _HashTableIteratorBase(const _HashTableRep& rep);
    bool done() const { return current_ == nullptr; }
    _BucketBase* current() const { return current_; }
    void next();

private:
    void settle();
    const _HashTableRep& rep_;
    std::size_t chain_ = 0;
    _BucketBase* current_ = nullptr;
};

template <typename K> struct HashFunc;

template <> struct HashFunc<unsigned int> {
    static std::uint32_t hash(const unsigned int& key) { return key + 13u; }
};

template <> struct HashFunc<String> {
    // FNV-1a over the UTF-16 code units.
    static std::uint32_t hash(const String& key);
};

template <typename K> struct EqualFunc {
    static bool equals(const K& a, const K& b) { return a == b; }
};

} // namespace qel
