#pragma once
// Typed hash table over the untyped core: buckets of (key, value), created with 32 chains.

#include "foundation/Array.h"
#include "foundation/HashTableRep.h"
#include "foundation/Serializable.h"

#include <type_traits>

namespace qel {

template <typename K, typename V, typename Eq = EqualFunc<K>> class _Bucket : public _BucketBase {
public:
    _Bucket(const K& k, const V& v) : key(k), value(v) {}
    bool keyEquals(const void* other) const override {
        return Eq::equals(key, *static_cast<const K*>(other));
    }
    _BucketBase* clone() const override { return new _Bucket(key, value); }

    K key;
    V value;
};

template <typename T> struct IsArray : std::false_type {};
template <typename T> struct IsArray<Array<T>> : std::true_type {};

template <typename K, typename V, typename Eq = EqualFunc<K>, typename H = HashFunc<K>>
class HashTable : public Serializable {
public:
    using Bucket = _Bucket<K, V, Eq>;
    static constexpr unsigned int kChains = 32;

    HashTable() : rep_(kChains) {}
    HashTable(const HashTable&) = default;
    HashTable& operator=(const HashTable&) = default;
    ~HashTable() override = default;

    // False, and no change, when the key is present.
    bool insert(const K& key, const V& value) {
        return rep_.insert(H::hash(key), new Bucket(key, value), &key);
    }
    bool remove(const K& key) { return rep_.remove(H::hash(key), &key); }
    V* lookup(const K& key) {
        _BucketBase* found = rep_.lookup(H::hash(key), &key);
        return found == nullptr ? nullptr : &static_cast<Bucket*>(found)->value;
    }
    const V* lookup(const K& key) const {
        const _BucketBase* found = rep_.lookup(H::hash(key), &key);
        return found == nullptr ? nullptr : &static_cast<const Bucket*>(found)->value;
    }
    unsigned int count() const { return rep_.count(); }
    void clear() { rep_.clear(); }

    // Assigns the stored value, or the shared default for a missing key, to `value`. For array
    // values the result is the number of elements copied; otherwise 1 when found, else 0.
    unsigned int getValue(const K& key, V& value) const {
        const V* found = lookup(key);
        value = found != nullptr ? *found : sharedDefault();
        if constexpr (IsArray<V>::value) {
            return found != nullptr ? value.size() : 0;
        } else {
            return found != nullptr ? 1 : 0;
        }
    }

    template <typename F> void forEach(F&& visit) const {
        for (_HashTableIteratorBase it(rep_); !it.done(); it.next()) {
            const Bucket* bucket = static_cast<const Bucket*>(it.current());
            visit(bucket->key, bucket->value);
        }
    }

    const String& vClassName() const override {
        static String name;
        if (name.size() == 0) {
            name = String("H(") + part(Array<K>::className()) + "," + part(Array<V>::className()) +
                   ")";
        }
        return name;
    }

    void serializeImp(const String& memberName, String& out) const override {
        Array<K> keys;
        Array<V> values;
        forEach([&](const K& key, const V& value) {
            keys.append(key);
            values.append(value);
        });
        serializeBegin(memberName);
        try {
            serialize(String("m_arrKey"), keys);
            serialize(String("m_arrValue"), values);
        } catch (...) {
            serializeEnd();
            String discarded;
            getSerializedXML(discarded);
            throw;
        }
        serializeEnd();
        getSerializedXML(out);
    }

    void deserializeImp(const XmlElement& element) override {
        deserializeBegin(element);
        Array<K> keys;
        Array<V> values;
        try {
            deserialize(String("m_arrKey"), keys);
            deserialize(String("m_arrValue"), values);
            rep_.clear();
            for (unsigned int i = 0; i < keys.size(); ++i) {
                if (i >= values.size()) {
                    throw IndexOutOfBounds(0, static_cast<int>(values.size()) - 1,
                                           static_cast<int>(i));
                }
                rep_.insertWithoutCheck(H::hash(keys[i]), new Bucket(keys[i], values[i]));
            }
        } catch (...) {
            deserializeEnd();
            throw;
        }
        deserializeEnd();
    }

private:
    // An array class name without its first two and last characters, when it has at least four.
    static String part(const String& name) {
        return name.size() >= 4 ? name.subString(2, name.size() - 3) : name;
    }

    static const V& sharedDefault() {
        static const V instance{};
        return instance;
    }

    _HashTableRep rep_;
};

} // namespace qel
