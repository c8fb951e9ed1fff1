#include "registry_text.h"

#include "settings_exceptions.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kestrix {
namespace {

const QByteArray kSignature = QByteArray(RegistryText::kSignature) + '\n';

std::string ParseError(const QByteArray& bytes)
{
    try {
        RegistryText::Parse(bytes);
    } catch (const RegistryError& e) {
        return e.Message();
    }
    return "parsed";
}

TEST(RegistryText, WritesReadableTextAndReadsItBack)
{
    RegistryKey root;
    RegistryKey& kestrix = root.SubKey(QStringLiteral("Software")).SubKey(QStringLiteral("Kestrix"));
    kestrix.SetValue(QStringLiteral("Path"), REG_SZ, QStringLiteral("/home/me/Образы/").toUtf8() + '\0');
    kestrix.SetValue(QStringLiteral("Count"), REG_DWORD, QByteArray("\x2a\0\0\0", 4));
    kestrix.SetValue(QStringLiteral("Blob"), REG_BINARY, QByteArray("\x01\x02\xff", 3));
    root.SubKey(QStringLiteral("Locked")).SetAccess(KEY_READ);

    const QByteArray text = RegistryText::Serialize(root);
    EXPECT_EQ(text.toStdString(),
              (kSignature + "\n[Software]\n\n[Software\\Kestrix]\n" +
               QStringLiteral("\"Path\" = sz \"/home/me/Образы/\"\n").toUtf8() +
               "\"Count\" = dword 42\n\"Blob\" = binary <01 02 ff>\n\n[Locked]\naccess = 0x00020019\n")
                  .toStdString());
    EXPECT_EQ(*RegistryText::Parse(text), root);
}

TEST(RegistryText, RoundTripKeepsEveryNameTypeAndByte)
{
    RegistryKey root;
    root.SetValue(QString(), REG_SZ, QByteArray("value of the root\0", 18));
    RegistryKey& key = root.SubKey(QStringLiteral("A ] [ b")).SubKey(QStringLiteral("Ключ with spaces "));
    key.SetAccess(0);
    const struct {
        QString name;
        uint32_t type;
        QByteArray data;
    } values[] = {
        {QStringLiteral("quote \" backslash \\ tab\t newline\n cr\r del\x7f"), REG_SZ,
         QByteArray("\"\\\t\n\r\x01\x7f text\0", 13)},
        {QStringLiteral("zero length"), REG_SZ, QByteArray()},
        {QStringLiteral("no terminator"), REG_EXPAND_SZ, QByteArray("abc")},
        {QStringLiteral("embedded nul"), REG_SZ, QByteArray("a\0b\0", 4)},
        {QStringLiteral("not utf-8"), REG_SZ, QByteArray("\xff\xfe\0", 3)},
        {QStringLiteral("big endian"), REG_DWORD_BIG_ENDIAN, QByteArray("\x12\x34\x56\x78", 4)},
        {QStringLiteral("short dword"), REG_DWORD, QByteArray("\x01", 1)},
        {QStringLiteral("qword"), REG_QWORD, QByteArray("\xff\xff\xff\xff\xff\xff\xff\xff", 8)},
        {QStringLiteral("odd type"), 0xFFFFFFFF, QByteArray("\0", 1)},
        {QStringLiteral("none"), REG_NONE, QByteArray()},
        {QStringLiteral("multi"), REG_MULTI_SZ, QByteArray("a\0b\0\0", 5)},
        {QStringLiteral("\U0001F600"), REG_LINK, QByteArray("x")},
    };
    for (const auto& v : values)
        key.SetValue(v.name, v.type, v.data);
    root.SubKey(QStringLiteral("A ] [ b")).SubKey(QStringLiteral("second")).SubKey(QStringLiteral("third"));

    const std::unique_ptr<RegistryKey> parsed = RegistryText::Parse(RegistryText::Serialize(root));
    EXPECT_EQ(*parsed, root) << RegistryText::Serialize(*parsed).toStdString();
}

TEST(RegistryText, NamesMatchWithoutRegardToLetterCase)
{
    const std::unique_ptr<RegistryKey> root =
        RegistryText::Parse(kSignature + "[Software\\Kestrix]\n\"Path\" = sz \"/a/\"\n"
                                         "[SOFTWARE\\kestrix\\Ä]\n[software\\KESTRIX\\ä]\n");
    ASSERT_EQ(root->SubKeys().size(), 1u);
    const RegistryKey* kestrix = root->FindSubKey(QStringLiteral("software"))->FindSubKey(QStringLiteral("KESTRIX"));
    ASSERT_NE(kestrix, nullptr);
    EXPECT_EQ(kestrix->Name(), QStringLiteral("Kestrix"));
    EXPECT_EQ(kestrix->SubKeys().size(), 1u);
    ASSERT_NE(kestrix->FindValue(QStringLiteral("pATH")), nullptr);
    EXPECT_EQ(kestrix->FindValue(QStringLiteral("pATH"))->Name, QStringLiteral("Path"));

    RegistryKey key;
    key.SetValue(QStringLiteral("Path"), REG_SZ, "a");
    key.SetValue(QStringLiteral("PATH"), REG_DWORD, "bcde");
    ASSERT_EQ(key.Values().size(), 1u);
    EXPECT_EQ(key.Values()[0], (RegValue{QStringLiteral("Path"), REG_DWORD, "bcde"}));
}

TEST(RegistryText, BlankFileIsEmptyAndCommentsAreSkipped)
{
    EXPECT_EQ(*RegistryText::Parse(QByteArray()), RegistryKey());
    EXPECT_EQ(*RegistryText::Parse(" \r\n\t\n"), RegistryKey());
    const std::unique_ptr<RegistryKey> root =
        RegistryText::Parse(kSignature + "; comment\r\n  # another\r\n\r\n  [K]  \r\n  \"v\"=dword 0x10  \r\n");
    ASSERT_NE(root->FindSubKey(QStringLiteral("K")), nullptr);
    EXPECT_EQ(root->FindSubKey(QStringLiteral("K"))->Values().at(0).Data, QByteArray("\x10\0\0\0", 4));
}

TEST(RegistryText, MalformedContentNamesTheLineAndTheFault)
{
    const QByteArray deep = "[" + QByteArray("k\\").repeated(RegistryKey::kMaxKeyDepth) + "k]";
    const struct {
        QByteArray body;  // after the signature line
        const char* error;
    } cases[] = {
        {"\"v\" = sz \"open", "line 2: quoted text without its closing '\"'"},
        {"\"v\" = sz \"bad \\q\"", "line 2: unknown escape \\q"},
        {"\"v\" = sz \"\\x4\"", "line 2: \\x must be followed by two hex digits"},
        {"\"v\" sz \"x\"", "line 2: expected '=' after the value name"},
        {"\"v\" = string \"x\"", "line 2: unknown value type 'string'"},
        {"\"v\" = \"x\"", "line 2: expected a value type"},
        {"\"v\" = type(x) <>", "line 2: expected a type number"},
        {"\"v\" = sz", "line 2: expected the value's data"},
        {"\"v\" = sz 5", "line 2: a number is only allowed for dword, dword_be and qword values"},
        {"\"v\" = dword 4294967296", "line 2: a number is too large"},
        {"\"v\" = qword 0x10000000000000000", "line 2: a number is too large"},
        {"\"v\" = dword 0x", "line 2: expected a number"},
        {"\"v\" = binary <0>", "line 2: expected two hex digits per byte"},
        {"\"v\" = binary <00", "line 2: hex bytes without their closing '>'"},
        {"\"v\" = sz \"x\" junk", "line 2: unexpected text at the end of the line"},
        {"\"v\" = sz 'x'", "line 2: expected \"text\", <hex bytes> or a number"},
        {"\"v\" = sz \"a\"\n\"V\" = sz \"b\"", "line 3: the value \"V\" appears twice in one key"},
        {"\"\xff\" = sz \"x\"", "line 2: the value name is not valid UTF-8"},
        {"[K\xc0\xaf]", "line 2: the key path is not valid UTF-8"},
        {"[Software", "line 2: a key path must end with ']'"},
        {"[]", "line 2: empty key path"},
        {"[A\\\\B]", "line 2: empty key name in the key path"},
        {"[A\\]", "line 2: empty key name in the key path"},
        {"[A\x01]", "line 2: a key name holds a control character"},
        {"[" + QByteArray(256, 'k') + "]", "line 2: a key name is longer than 255 characters"},
        {deep, "line 2: the key path is deeper than 512 keys"},
        {"access = -1", "line 2: expected the access rights"},
        {"access 5", "line 2: expected '=' after access"},
        {"Path=/a/", "line 2: expected a [key path], a \"value\" = type data line or access = rights"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseError(kSignature + c.body), c.error) << c.body.toStdString();
    EXPECT_EQ(ParseError("Kestrix registry 2\n"),
              "line 1: not a settings store file: the first line must be \"Kestrix registry 1\"");
}

// The parser is fed arbitrary bytes by a fuzzer; mutated and cut-short files
// must give a result or an RegistryError, never anything else.
TEST(RegistryText, MutatedFilesParseOrRaise)
{
    RegistryKey root;
    RegistryKey& key = root.SubKey(QStringLiteral("Software")).SubKey(QStringLiteral("Kestrix"));
    key.SetValue(QStringLiteral("Path"), REG_SZ, QByteArray("/a \"b\"\\\n\0", 9));
    key.SetValue(QStringLiteral("N"), REG_QWORD, QByteArray(8, '\x7f'));
    key.SetValue(QStringLiteral("B"), REG_BINARY, QByteArray("\x00\x01", 2));
    key.SetAccess(KEY_READ);
    const QByteArray valid = RegistryText::Serialize(root);
    const char kInteresting[] = "\"\\[]<>=x0\n\r\t\xff ";

    std::mt19937 random(12345);
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = valid;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
            const auto at = static_cast<qsizetype>(random() % static_cast<uint32_t>(bytes.size()));
            switch (random() % 4) {
            case 0: bytes[at] = static_cast<char>(random()); break;
            case 1: bytes[at] = kInteresting[random() % (sizeof(kInteresting) - 1)]; break;
            case 2: bytes.remove(at, 1 + static_cast<qsizetype>(random() % 8)); break;
            default: bytes.truncate(at); break;
            }
        }
        try {
            const std::unique_ptr<RegistryKey> result = RegistryText::Parse(bytes);
            ++parsed;
            EXPECT_EQ(*RegistryText::Parse(RegistryText::Serialize(*result)), *result) << bytes.toStdString();
        } catch (const RegistryError&) {
        }
    }
    EXPECT_GT(parsed, 0);
}

}  // namespace
}  // namespace kestrix
