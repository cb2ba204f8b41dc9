#pragma once
// Serialization to and from a small XML dialect: each member is an element named after it,
// carrying its class name; texts and numbers are element text.

#include "foundation/String.h"

#include <vector>

namespace qel {

struct XmlElement {
    String name;
    String className;
    String text;
    std::vector<XmlElement> children;

    // The first child of that name, or null.
    const XmlElement* child(const String& childName) const;
};

// Parses one element (with its children); throws SerializationFailed on malformed input.
XmlElement parseXml(const String& xml);

class Serializable {
public:
    virtual ~Serializable() = default;

    // Appends the member's XML, named `memberName`, to `out`.
    virtual void doSerialization(const String& memberName, String& out) const;
    // Reads the object back from its element.
    virtual void deserialize(const XmlElement& element);
    virtual void deserializeImp(const XmlElement& element) = 0;
    virtual void serializeImp(const String& memberName, String& out) const = 0;
    virtual const String& vClassName() const = 0;
    virtual void serializeBegin(const String& memberName) const;
    virtual void serializeEnd() const;
    virtual void getSerializedXML(String& out) const;
    virtual void deserializeBegin(const XmlElement& element);
    virtual void deserializeEnd();
    // Containers take one item element of their deserialized content here.
    virtual void insertValueToContainer(const XmlElement& item);

protected:
    Serializable() = default;
    Serializable(const Serializable&) = default;
    Serializable& operator=(const Serializable&) = default;

    // Between serializeBegin and serializeEnd: one member as a child element.
    void serialize(const String& memberName, const Serializable& member) const;
    void serialize(const String& memberName, const String& value) const;
    void serialize(const String& memberName, unsigned int value) const;
    // Between deserializeBegin and deserializeEnd: the child element of that name; a missing one
    // leaves the member unchanged.
    void deserialize(const String& memberName, Serializable& member);
    void deserialize(const String& memberName, String& value);
    void deserialize(const String& memberName, unsigned int& value);
};

// The text of an unsigned number element; throws SerializationFailed when it is not one.
unsigned int parseUnsigned(const String& text);

} // namespace qel
