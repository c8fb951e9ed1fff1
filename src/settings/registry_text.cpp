#include "registry_text.h"

#include "hex_text.h"
#include "settings_exceptions.h"

#include <QStringList>

#include <algorithm>
#include <string>

namespace kestrix {

namespace {

struct TypeName {
    uint32_t Type;
    const char* Name;
};

constexpr TypeName kTypeNames[] = {
    {REG_NONE, "none"},           {REG_SZ, "sz"},
    {REG_EXPAND_SZ, "expand_sz"}, {REG_BINARY, "binary"},
    {REG_DWORD, "dword"},         {REG_DWORD_BIG_ENDIAN, "dword_be"},
    {REG_LINK, "link"},           {REG_MULTI_SZ, "multi_sz"},
    {REG_QWORD, "qword"},
};

std::string KeyPathFaultText(KeyPathFault fault)
{
    switch (fault) {
    case KeyPathFault::None: break;
    case KeyPathFault::TooDeep:
        return "the key path is deeper than " + std::to_string(RegistryKey::kMaxKeyDepth) + " keys";
    case KeyPathFault::EmptyName: return "empty key name in the key path";
    case KeyPathFault::NameTooLong:
        return "a key name is longer than " + std::to_string(RegistryKey::kMaxKeyNameLength) + " characters";
    case KeyPathFault::ControlCharacter: return "a key name holds a control character";
    }
    return {};
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads one file line by line; each line is parsed with a cursor between p and end.
class Parser {
public:
    explicit Parser(const QByteArray& bytes) : m_bytes(bytes) {}

    std::unique_ptr<RegistryKey> Run()
    {
        auto root = std::make_unique<RegistryKey>();
        bool blank = true;
        for (const char c : m_bytes) {
            if (!IsBlank(c)) {
                blank = false;
                break;
            }
        }
        if (blank)
            return root;

        RegistryKey* current = root.get();
        qsizetype start = 0;
        while (start <= m_bytes.size()) {
            qsizetype stop = m_bytes.indexOf('\n', start);
            if (stop < 0)
                stop = m_bytes.size();
            ++m_line;
            m_p = m_bytes.constData() + start;
            m_end = m_bytes.constData() + stop;
            Trim();
            if (m_line == 1) {
                if (std::string(m_p, m_end) != RegistryText::kSignature)
                    Fail(std::string("not a settings store file: the first line must be \"") +
                         RegistryText::kSignature + "\"");
            } else if (m_p == m_end || *m_p == ';' || *m_p == '#') {
                // blank line or comment
            } else if (*m_p == '[') {
                current = ParseKeyPath(*root);
            } else if (*m_p == '"') {
                ParseValue(*current);
            } else {
                ParseAttribute(*current);
            }
            start = stop + 1;
        }
        return root;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw RegistryError("line " + std::to_string(m_line) + ": " + what);
    }

    void Trim()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t'))
            ++m_p;
        while (m_end > m_p && (m_end[-1] == ' ' || m_end[-1] == '\t' || m_end[-1] == '\r'))
            --m_end;
    }

    void SkipSpaces()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t'))
            ++m_p;
    }

    RegistryKey* ParseKeyPath(RegistryKey& root)
    {
        if (m_end[-1] != ']' || m_end - m_p < 2)
            Fail("a key path must end with ']'");
        const QByteArray path(m_p + 1, m_end - m_p - 2);
        if (path.isEmpty())
            Fail("empty key path");
        if (!path.isValidUtf8())
            Fail("the key path is not valid UTF-8");
        const QStringList names = QString::fromUtf8(path).split(QLatin1Char('\\'));
        if (const KeyPathFault fault = RegistryKey::CheckPath(names); fault != KeyPathFault::None)
            Fail(KeyPathFaultText(fault));
        RegistryKey* key = &root;
        for (const QString& name : names)
            key = &key->SubKey(name);
        return key;
    }

    QByteArray ParseQuoted()
    {
        QByteArray out;
        ++m_p;
        while (true) {
            if (m_p == m_end)
                Fail("quoted text without its closing '\"'");
            const char c = *m_p++;
            if (c == '"')
                return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_p == m_end)
                Fail("quoted text without its closing '\"'");
            const char e = *m_p++;
            switch (e) {
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'x': {
                const int high = m_end - m_p >= 2 ? HexDigitValue(m_p[0]) : -1;
                const int low = high >= 0 ? HexDigitValue(m_p[1]) : -1;
                if (low < 0)
                    Fail("\\x must be followed by two hex digits");
                out += static_cast<char>(high * 16 + low);
                m_p += 2;
                break;
            }
            default: Fail(std::string("unknown escape \\") + (e >= 0x20 && e < 0x7F ? std::string(1, e) : "?"));
            }
        }
    }

    std::string ParseWord()
    {
        const char* begin = m_p;
        while (m_p < m_end && ((*m_p >= 'a' && *m_p <= 'z') || (*m_p >= '0' && *m_p <= '9') || *m_p == '_'))
            ++m_p;
        return std::string(begin, m_p);
    }

    // A decimal or 0x-prefixed hexadecimal number of at most limit.
    uint64_t ParseNumber(uint64_t limit, const char* what)
    {
        uint64_t value = 0;
        int base = 10;
        if (m_end - m_p >= 2 && m_p[0] == '0' && (m_p[1] == 'x' || m_p[1] == 'X')) {
            base = 16;
            m_p += 2;
        }
        const char* digits = m_p;
        while (m_p < m_end) {
            const int digit = HexDigitValue(*m_p);
            if (digit < 0 || digit >= base)
                break;
            if (value > (limit - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base))
                Fail(std::string(what) + " is too large");
            value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
            ++m_p;
        }
        if (m_p == digits)
            Fail(std::string("expected ") + what);
        return value;
    }

    void ExpectEquals(const char* after)
    {
        SkipSpaces();
        if (m_p == m_end || *m_p != '=')
            Fail(std::string("expected '=' after ") + after);
        ++m_p;
        SkipSpaces();
    }

    void ExpectLineEnd()
    {
        SkipSpaces();
        if (m_p != m_end)
            Fail("unexpected text at the end of the line");
    }

    uint32_t ParseType()
    {
        const std::string word = ParseWord();
        if (word == "type") {
            if (m_p == m_end || *m_p != '(')
                Fail("expected '(' after type");
            ++m_p;
            const auto type = static_cast<uint32_t>(ParseNumber(UINT32_MAX, "a type number"));
            if (m_p == m_end || *m_p != ')')
                Fail("expected ')' after the type number");
            ++m_p;
            return type;
        }
        for (const TypeName& entry : kTypeNames) {
            if (word == entry.Name)
                return entry.Type;
        }
        if (word.empty())
            Fail("expected a value type");
        Fail("unknown value type '" + word + "'");
    }

    QByteArray ParseHexBytes()
    {
        QByteArray out;
        ++m_p;
        while (true) {
            SkipSpaces();
            if (m_p == m_end)
                Fail("hex bytes without their closing '>'");
            if (*m_p == '>') {
                ++m_p;
                return out;
            }
            const int high = HexDigitValue(*m_p);
            const int low = m_end - m_p >= 2 ? HexDigitValue(m_p[1]) : -1;
            if (high < 0 || low < 0)
                Fail("expected two hex digits per byte");
            out += static_cast<char>(high * 16 + low);
            m_p += 2;
        }
    }

    QByteArray ParseNumberData(uint32_t type)
    {
        QByteArray out;
        if (type == REG_QWORD) {
            uint64_t value = ParseNumber(UINT64_MAX, "a number");
            for (int i = 0; i < 8; ++i, value >>= 8)
                out += static_cast<char>(value & 0xFF);
        } else if (type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) {
            uint64_t value = ParseNumber(UINT32_MAX, "a number");
            for (int i = 0; i < 4; ++i, value >>= 8)
                out += static_cast<char>(value & 0xFF);
            if (type == REG_DWORD_BIG_ENDIAN)
                std::reverse(out.begin(), out.end());
        } else {
            Fail("a number is only allowed for dword, dword_be and qword values");
        }
        return out;
    }

    void ParseValue(RegistryKey& key)
    {
        const QByteArray nameBytes = ParseQuoted();
        if (!nameBytes.isValidUtf8())
            Fail("the value name is not valid UTF-8");
        const QString name = QString::fromUtf8(nameBytes);
        ExpectEquals("the value name");
        const uint32_t type = ParseType();
        SkipSpaces();
        QByteArray data;
        if (m_p == m_end) {
            Fail("expected the value's data");
        } else if (*m_p == '"') {
            data = ParseQuoted();
            data += '\0';
        } else if (*m_p == '<') {
            data = ParseHexBytes();
        } else if (HexDigitValue(*m_p) >= 0 && HexDigitValue(*m_p) < 10) {
            data = ParseNumberData(type);
        } else {
            Fail("expected \"text\", <hex bytes> or a number");
        }
        ExpectLineEnd();
        if (key.FindValue(name) != nullptr)
            Fail("the value \"" + name.toStdString() + "\" appears twice in one key");
        key.SetValue(name, type, data);
    }

    void ParseAttribute(RegistryKey& key)
    {
        const std::string word = ParseWord();
        if (word != "access")
            Fail("expected a [key path], a \"value\" = type data line or access = rights");
        ExpectEquals("access");
        key.SetAccess(static_cast<uint32_t>(ParseNumber(UINT32_MAX, "the access rights")));
        ExpectLineEnd();
    }

    const QByteArray& m_bytes;
    int64_t m_line = 0;
    const char* m_p = nullptr;
    const char* m_end = nullptr;
};

void AppendQuoted(QByteArray& out, const QByteArray& bytes)
{
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b < 0x20 || b == 0x7F) {
                out += "\\x";
                out += kHex[b >> 4];
                out += kHex[b & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void AppendData(QByteArray& out, uint32_t type, const QByteArray& data)
{
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && !data.isEmpty() && data.back() == '\0' &&
        QByteArrayView(data).first(data.size() - 1).isValidUtf8()) {
        AppendQuoted(out, data.first(data.size() - 1));
        return;
    }
    const auto byteAt = [&data](int i) { return static_cast<uint64_t>(static_cast<unsigned char>(data[i])); };
    if ((type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) && data.size() == 4) {
        uint64_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= byteAt(type == REG_DWORD ? i : 3 - i) << (8 * i);
        out += QByteArray::number(static_cast<qulonglong>(value));
        return;
    }
    if (type == REG_QWORD && data.size() == 8) {
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value |= byteAt(i) << (8 * i);
        out += QByteArray::number(static_cast<qulonglong>(value));
        return;
    }
    out += '<';
    out += data.toHex(' ');
    out += '>';
}

void AppendBody(QByteArray& out, const RegistryKey& key)
{
    if (key.Access() != KEY_ALL_ACCESS)
        out += "access = 0x" + QByteArray::number(key.Access(), 16).rightJustified(8, '0') + '\n';
    for (const RegValue& value : key.Values()) {
        AppendQuoted(out, value.Name.toUtf8());
        out += " = ";
        const TypeName* known = nullptr;
        for (const TypeName& entry : kTypeNames) {
            if (entry.Type == value.Type)
                known = &entry;
        }
        if (known != nullptr)
            out += known->Name;
        else
            out += "type(" + QByteArray::number(value.Type) + ')';
        out += ' ';
        AppendData(out, value.Type, value.Data);
        out += '\n';
    }
}

void AppendKeys(QByteArray& out, const RegistryKey& key, const QByteArray& path)
{
    for (const auto& subKey : key.SubKeys()) {
        const QByteArray subPath = path.isEmpty() ? subKey->Name().toUtf8() : path + '\\' + subKey->Name().toUtf8();
        out += "\n[" + subPath + "]\n";
        AppendBody(out, *subKey);
        AppendKeys(out, *subKey, subPath);
    }
}

}  // namespace

std::unique_ptr<RegistryKey> RegistryText::Parse(const QByteArray& bytes)
{
    return Parser(bytes).Run();
}

QByteArray RegistryText::Serialize(const RegistryKey& root)
{
    QByteArray out = QByteArray(kSignature) + '\n';
    AppendBody(out, root);
    AppendKeys(out, root, QByteArray());
    return out;
}

}  // namespace kestrix
