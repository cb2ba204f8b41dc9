#include "foundation/HashTableRep.h"

namespace qel {

_HashTableRep::_HashTableRep(unsigned int size) : chains_(size == 0 ? 1 : size, nullptr) {}

_HashTableRep::_HashTableRep(const _HashTableRep& other) : chains_(other.chains_.size(), nullptr) {
    try {
        for (std::size_t i = 0; i < other.chains_.size(); ++i) {
            _BucketBase** tail = &chains_[i];
            for (const _BucketBase* b = other.chains_[i]; b != nullptr; b = b->next) {
                *tail = b->clone();
                tail = &(*tail)->next;
                ++count_;
            }
        }
    } catch (...) {
        clear();
        throw;
    }
}

_HashTableRep& _HashTableRep::operator=(const _HashTableRep& other) {
    if (this != &other) {
        _HashTableRep copy(other);
        clear();
        chains_.swap(copy.chains_);
        std::swap(count_, copy.count_);
    }
    return *this;
}

_HashTableRep::~_HashTableRep() {
    clear();
}

bool _HashTableRep::insert(std::uint32_t hash, _BucketBase* bucket, const void* key) {
    if (lookup(hash, key) != nullptr) {
        delete bucket;
        return false;
    }
    insertWithoutCheck(hash, bucket);
    return true;
}

void _HashTableRep::insertWithoutCheck(std::uint32_t hash, _BucketBase* bucket) {
    _BucketBase*& head = chains_[hash % chains_.size()];
    bucket->next = head;
    head = bucket;
    ++count_;
}

_BucketBase* _HashTableRep::lookup(std::uint32_t hash, const void* key) const {
    for (_BucketBase* b = chains_[hash % chains_.size()]; b != nullptr; b = b->next) {
        if (b->keyEquals(key)) {
            return b;
        }
    }
    return nullptr;
}

bool _HashTableRep::remove(std::uint32_t hash, const void* key) {
    for (_BucketBase** link = &chains_[hash % chains_.size()]; *link != nullptr;
         link = &(*link)->next) {
        if ((*link)->keyEquals(key)) {
            _BucketBase* found = *link;
            *link = found->next;
            delete found;
            --count_;
            return true;
        }
    }
    return false;
}

void _HashTableRep::clear() {
    for (_BucketBase*& head : chains_) {
        while (head != nullptr) {
            _BucketBase* next = head->next;
            delete head;
            head = next;
        }
    }
    count_ = 0;
}

_HashTableIteratorBase::_HashTableIteratorBase(const _HashTableRep& rep) : rep_(rep) {
    settle();
}

void _HashTableIteratorBase::settle() {
    while (current_ == nullptr && chain_ < rep_.chains_.size()) {
        current_ = rep_.chains_[chain_++];
    }
}

void _HashTableIteratorBase::next() {
    if (current_ != nullptr) {
        current_ = current_->next;
        settle();
    }
}

std::uint32_t HashFunc<String>::hash(const String& key) {
    std::uint32_t h = 2166136261u;
    for (const char16_t unit : key.u16()) {
        h = (h ^ static_cast<std::uint32_t>(unit)) * 16777619u;
    }
    return h;
}

} // namespace qel
