#include "foundation/Serializable.h"

#include "foundation/Array.h"
#include "foundation/HashTable.h"
#include "foundation/testing/Tracked.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace qel {
namespace {

const char* const kUnsupportedLine = "Serialization isn't support for this class!!!\n";

template <typename T> XmlElement serialized(const T& object, const char* member) {
    String xml;
    object.doSerialization(member, xml);
    return parseXml(xml);
}

std::map<std::u16string, std::u16string> contents(const HashTable<String, String>& table) {
    std::map<std::u16string, std::u16string> out;
    table.forEach([&](const String& key, const String& value) { out[key.u16()] = value.u16(); });
    return out;
}

TEST(SerializableTest, ArrayOfStringRoundTrip) {
    const std::vector<String> items = {
        String(""),
        String(" padded  "),
        String("a&b<c>\"d\" 'e'"),
        String("\xC3\xBC \xE2\x82\xAC \xF0\x9D\x84\x9E"), // two- to four-byte characters
        String(u"\xD800 lone", 6),
        String("</item><item>"),
    };
    Array<String> source;
    for (const String& item : items) {
        source.append(item);
    }
    Array<String> target;
    target.append("stale");
    target.deserialize(serialized(source, "list"));
    ASSERT_EQ(target.size(), items.size());
    for (std::uint32_t i = 0; i < target.size(); ++i) {
        EXPECT_EQ(target[i].u16(), items[i].u16()) << i;
    }
}

TEST(SerializableTest, UnreadableNumberLeavesTheArrayUnchanged) {
    const char* const bad[] = {"-1", "", "12x", "4294967296", " 5", "0x10"};
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        Array<unsigned int> target;
        target.append(9);
        const String xml = String("<n class=\"A&lt;unsigned int&gt;\"><item>1</item><item>") +
                           text + "</item></n>";
        EXPECT_THROW(target.deserialize(parseXml(xml)), SerializationFailed);
        ASSERT_EQ(target.size(), 1u);
        EXPECT_EQ(target[0], 9u);
    }
}

TEST(SerializableTest, MalformedXmlThrows) {
    std::string deep;
    for (int i = 0; i < 100; ++i) {
        deep += "<a>";
    }
    const std::string inputs[] = {
        "", "<a>", "<a></b>", "<a>&bogus;</a>", "<a>&amp</a>", "<a><b></a>", deep,
    };
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        EXPECT_THROW(parseXml(String(input.c_str())), SerializationFailed);
    }
}

TEST(SerializableTest, ArrayOfOthersPrintsItsLineAndStaysUnchanged) {
    Array<int> numbers;
    numbers.append(3);
    const XmlElement element = parseXml("<n class=\"ArrayOfOthers\"><item>1</item></n>");
    ::testing::internal::CaptureStdout();
    numbers.deserialize(element);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUnsupportedLine);
    ASSERT_EQ(numbers.size(), 1u);
    EXPECT_EQ(numbers[0], 3);
}

TEST(SerializableTest, TableRoundTrip) {
    HashTable<String, String> source;
    source.insert("SCSI\\DISK&VEN_ATA\\4&1", "\\\\?\\scsi#disk");
    source.insert("IDE\\DISK\\5&2", "");
    source.insert("<&>", "\"quoted\"");
    HashTable<String, String> target;
    target.insert("stale", "gone");
    target.deserialize(serialized(source, "devices"));
    EXPECT_EQ(contents(target), contents(source));

    HashTable<unsigned int, String> numbered;
    numbered.insert(0, "C:");
    numbered.insert(4294967295u, "Z:");
    HashTable<unsigned int, String> back;
    back.deserialize(serialized(numbered, "letters"));
    EXPECT_EQ(back.count(), 2u);
    ASSERT_NE(back.lookup(4294967295u), nullptr);
    EXPECT_EQ(*back.lookup(4294967295u), "Z:");
}

TEST(SerializableTest, TableWhoseValuesCannotBeSerializedThrows) {
    HashTable<unsigned int, Array<unsigned int>> filled;
    filled.insert(1, Array<unsigned int>());
    const HashTable<unsigned int, Array<unsigned int>> empty;
    const HashTable<unsigned int, Array<unsigned int>>* const tables[] = {&filled, &empty};
    for (const auto* table : tables) {
        String out;
        try {
            table->doSerialization("drives", out);
            ADD_FAILURE() << "no exception";
        } catch (const SerializationFailed& e) {
            EXPECT_EQ(e.getMessage(), "Serialization is not supported for: m_arrValue");
        }
        EXPECT_EQ(out, "");
    }
}

TEST(SerializableTest, TableWithUnreadableValuesPrintsAndThrows) {
    const char* const xml = "<t class=\"H(unsigned int,rayOfOther)\">"
                            "<m_arrKey class=\"A&lt;unsigned int&gt;\"><item>4</item></m_arrKey>"
                            "<m_arrValue class=\"ArrayOfOthers\"><item/></m_arrValue></t>";
    HashTable<unsigned int, Array<unsigned int>> table;
    ::testing::internal::CaptureStdout();
    test::expectOutOfBounds([&] { table.deserialize(parseXml(xml)); }, -1, 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUnsupportedLine);
    EXPECT_EQ(table.count(), 0u);
}

} // namespace
} // namespace qel
