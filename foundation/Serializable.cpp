#include "foundation/Serializable.h"

#include "foundation/Exception.h"

#include <charconv>
#include <string>

namespace qel {
namespace {

// Serialization nests (a table serializes its arrays), so the open elements form a stack per
// thread rather than state inside every object.
thread_local std::vector<std::u16string> openElements;
thread_local std::vector<const XmlElement*> readElements;

std::u16string escape(const std::u16string& text) {
    std::u16string out;
    for (const char16_t c : text) {
        switch (c) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

class Parser {
public:
    explicit Parser(const std::u16string& text) : text_(text) {}

    XmlElement document() {
        skipSpace();
        XmlElement root = element();
        skipSpace();
        if (pos_ != text_.size()) {
            fail("trailing text");
        }
        return root;
    }

private:
    [[noreturn]] void fail(const char* what) {
        throw SerializationFailed(String("Malformed XML: ") + what + " at " +
                                  String(std::to_string(pos_).c_str()));
    }
    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == u' ' || text_[pos_] == u'\n' ||
                                       text_[pos_] == u'\t' || text_[pos_] == u'\r')) {
            ++pos_;
        }
    }
    void expect(char16_t c) {
        if (pos_ >= text_.size() || text_[pos_] != c) {
            fail("unexpected character");
        }
        ++pos_;
    }
    std::u16string name() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != u' ' && text_[pos_] != u'>' &&
               text_[pos_] != u'/' && text_[pos_] != u'=' && text_[pos_] != u'<') {
            ++pos_;
        }
        if (start == pos_) {
            fail("missing name");
        }
        return text_.substr(start, pos_ - start);
    }
    std::u16string textUntil(char16_t stop) {
        std::u16string out;
        while (pos_ < text_.size() && text_[pos_] != stop) {
            if (text_[pos_] == u'&') {
                const std::size_t end = text_.find(u';', pos_);
                if (end == std::u16string::npos) {
                    fail("unterminated entity");
                }
                const std::u16string entity = text_.substr(pos_ + 1, end - pos_ - 1);
                if (entity == u"amp") {
                    out += u'&';
                } else if (entity == u"lt") {
                    out += u'<';
                } else if (entity == u"gt") {
                    out += u'>';
                } else if (entity == u"quot") {
                    out += u'"';
                } else {
                    fail("unknown entity");
                }
                pos_ = end + 1;
            } else {
                out += text_[pos_++];
            }
        }
        return out;
    }
    XmlElement element() {
        if (++depth_ > 64) {
            fail("nesting too deep");
        }
        XmlElement result;
        expect(u'<');
        result.name = String(name());
        skipSpace();
        while (pos_ < text_.size() && text_[pos_] != u'>' && text_[pos_] != u'/') {
            const std::u16string attribute = name();
            expect(u'=');
            expect(u'"');
            std::u16string value = textUntil(u'"');
            expect(u'"');
            if (attribute == u"class") {
                result.className = String(std::move(value));
            }
            skipSpace();
        }
        if (pos_ < text_.size() && text_[pos_] == u'/') {
            ++pos_;
            expect(u'>');
            --depth_;
            return result;
        }
        expect(u'>');
        for (;;) {
            result.text.append(String(textUntil(u'<')));
            if (pos_ + 1 >= text_.size()) {
                fail("unterminated element");
            }
            if (text_[pos_ + 1] == u'/') {
                pos_ += 2;
                if (name() != result.name.u16()) {
                    fail("mismatched end tag");
                }
                skipSpace();
                expect(u'>');
                break;
            }
            result.children.push_back(element());
        }
        if (!result.children.empty()) {
            result.text.trim();
        }
        --depth_;
        return result;
    }

    const std::u16string& text_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

void requireOpen() {
    if (openElements.empty()) {
        throw SerializationFailed("serialize called outside serializeBegin and serializeEnd");
    }
}

} // namespace

const XmlElement* XmlElement::child(const String& childName) const {
    for (const XmlElement& element : children) {
        if (element.name == childName) {
            return &element;
        }
    }
    return nullptr;
}

XmlElement parseXml(const String& xml) {
    return Parser(xml.u16()).document();
}

unsigned int parseUnsigned(const String& text) {
    const std::string digits = text.toUtf8();
    unsigned int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size() || digits.empty()) {
        throw SerializationFailed(String("Not an unsigned number: ") + text);
    }
    return value;
}

void Serializable::doSerialization(const String& memberName, String& out) const {
    serializeImp(memberName, out);
}

void Serializable::deserialize(const XmlElement& element) {
    deserializeImp(element);
}

void Serializable::serializeBegin(const String& memberName) const {
    openElements.push_back(u"<" + escape(memberName.u16()) + u" class=\"" +
                           escape(vClassName().u16()) + u"\">");
}

void Serializable::serializeEnd() const {
    requireOpen();
    std::u16string& top = openElements.back();
    const std::size_t nameEnd = top.find(u' ');
    top += u"</" + top.substr(1, nameEnd - 1) + u">";
}

void Serializable::getSerializedXML(String& out) const {
    requireOpen();
    out.append(String(std::move(openElements.back())));
    openElements.pop_back();
}

void Serializable::deserializeBegin(const XmlElement& element) {
    readElements.push_back(&element);
}

void Serializable::deserializeEnd() {
    if (!readElements.empty()) {
        readElements.pop_back();
    }
}

void Serializable::insertValueToContainer(const XmlElement&) {}

void Serializable::serialize(const String& memberName, const Serializable& member) const {
    requireOpen();
    String xml;
    member.doSerialization(memberName, xml);
    openElements.back() += xml.u16();
}

void Serializable::serialize(const String& memberName, const String& value) const {
    requireOpen();
    const std::u16string name = escape(memberName.u16());
    openElements.back() += u"<" + name + u">" + escape(value.u16()) + u"</" + name + u">";
}

void Serializable::serialize(const String& memberName, unsigned int value) const {
    serialize(memberName, String(std::to_string(value).c_str()));
}

void Serializable::deserialize(const String& memberName, Serializable& member) {
    if (readElements.empty()) {
        return;
    }
    if (const XmlElement* element = readElements.back()->child(memberName)) {
        member.deserialize(*element);
    }
}

void Serializable::deserialize(const String& memberName, String& value) {
    if (readElements.empty()) {
        return;
    }
    if (const XmlElement* element = readElements.back()->child(memberName)) {
        value = element->text;
    }
}

void Serializable::deserialize(const String& memberName, unsigned int& value) {
    if (readElements.empty()) {
        return;
    }
    if (const XmlElement* element = readElements.back()->child(memberName)) {
        value = parseUnsigned(element->text);
    }
}

} // namespace qel
