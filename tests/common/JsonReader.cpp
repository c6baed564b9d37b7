#include "JsonReader.h"

#include <cstdlib>

namespace {

const SJsonValue kNull;

class CReader {
public:
    explicit CReader(const std::string& text) : m_text(text) {}

    bool Document(SJsonValue& out) {
        if (!Value(out, 0)) return false;
        SkipBlanks();
        if (m_pos != m_text.size()) return Fail("text after the document");
        return true;
    }
    const std::string& Error() const { return m_error; }

private:
    static constexpr int kMaxDepth = 64;

    bool Fail(const std::string& what) {
        if (m_error.empty()) m_error = what + " at offset " + std::to_string(m_pos);
        return false;
    }
    void SkipBlanks() {
        while (m_pos < m_text.size() &&
               (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r')) {
            ++m_pos;
        }
    }
    bool Literal(const char* word) {
        const std::string w(word);
        if (m_text.compare(m_pos, w.size(), w) != 0) return Fail("unknown literal");
        m_pos += w.size();
        return true;
    }

    bool Value(SJsonValue& out, int depth) {
        if (depth > kMaxDepth) return Fail("nesting too deep");
        SkipBlanks();
        if (m_pos >= m_text.size()) return Fail("missing value");
        const char c = m_text[m_pos];
        if (c == '{') return Object(out, depth);
        if (c == '[') return Array(out, depth);
        if (c == '"') {
            out.type = SJsonValue::Type::String;
            return String(out.text);
        }
        if (c == 't' || c == 'f') {
            out.type = SJsonValue::Type::Bool;
            out.boolean = c == 't';
            return Literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            out.type = SJsonValue::Type::Null;
            return Literal("null");
        }
        return Number(out);
    }

    bool Object(SJsonValue& out, int depth) {
        out.type = SJsonValue::Type::Object;
        ++m_pos;
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == '}') {
            ++m_pos;
            return true;
        }
        for (;;) {
            SkipBlanks();
            if (m_pos >= m_text.size() || m_text[m_pos] != '"') return Fail("expected a member name");
            std::string name;
            if (!String(name)) return false;
            SkipBlanks();
            if (m_pos >= m_text.size() || m_text[m_pos] != ':') return Fail("expected ':'");
            ++m_pos;
            SJsonValue value;
            if (!Value(value, depth + 1)) return false;
            out.members.emplace_back(std::move(name), std::move(value));
            SkipBlanks();
            if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() && m_text[m_pos] == '}') {
                ++m_pos;
                return true;
            }
            return Fail("expected ',' or '}'");
        }
    }

    bool Array(SJsonValue& out, int depth) {
        out.type = SJsonValue::Type::Array;
        ++m_pos;
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == ']') {
            ++m_pos;
            return true;
        }
        for (;;) {
            SJsonValue value;
            if (!Value(value, depth + 1)) return false;
            out.items.push_back(std::move(value));
            SkipBlanks();
            if (m_pos < m_text.size() && m_text[m_pos] == ',') {
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() && m_text[m_pos] == ']') {
                ++m_pos;
                return true;
            }
            return Fail("expected ',' or ']'");
        }
    }

    bool Number(SJsonValue& out) {
        const std::size_t start = m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '-') ++m_pos;
        const auto digits = [&] {
            const std::size_t from = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') ++m_pos;
            return m_pos - from;
        };
        const std::size_t intStart = m_pos;
        const std::size_t intDigits = digits();
        if (intDigits == 0) return Fail("bad number");
        if (intDigits > 1 && m_text[intStart] == '0') return Fail("leading zero");
        if (m_pos < m_text.size() && m_text[m_pos] == '.') {
            ++m_pos;
            if (digits() == 0) return Fail("bad fraction");
        }
        if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-')) ++m_pos;
            if (digits() == 0) return Fail("bad exponent");
        }
        out.type = SJsonValue::Type::Number;
        out.number = std::strtod(m_text.substr(start, m_pos - start).c_str(), nullptr);
        return true;
    }

    static void Append(std::string& out, unsigned long c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    bool Hex4(unsigned long& value) {
        if (m_text.size() - m_pos < 4) return Fail("short \\u escape");
        value = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = m_text[m_pos++];
            value <<= 4;
            if (h >= '0' && h <= '9') value |= static_cast<unsigned long>(h - '0');
            else if (h >= 'a' && h <= 'f') value |= static_cast<unsigned long>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F') value |= static_cast<unsigned long>(h - 'A' + 10);
            else return Fail("bad \\u escape");
        }
        return true;
    }

    // One UTF-8 sequence, checked as strictly as RFC 3629 has it.
    bool Utf8(std::string& out) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(m_text[k]); };
        const unsigned char lead = b(m_pos);
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return Fail("invalid UTF-8");
        }
        if (m_text.size() - m_pos < length || b(m_pos + 1) < low || b(m_pos + 1) > high) return Fail("invalid UTF-8");
        for (std::size_t k = 2; k < length; ++k)
            if ((b(m_pos + k) & 0xC0) != 0x80) return Fail("invalid UTF-8");
        out.append(m_text, m_pos, length);
        m_pos += length;
        return true;
    }

    bool String(std::string& out) {
        ++m_pos;  // the opening quote
        for (;;) {
            if (m_pos >= m_text.size()) return Fail("unterminated string");
            const auto c = static_cast<unsigned char>(m_text[m_pos]);
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c < 0x20) return Fail("raw control character in a string");
            if (c >= 0x80) {
                if (!Utf8(out)) return false;
                continue;
            }
            if (c != '\\') {
                out += static_cast<char>(c);
                ++m_pos;
                continue;
            }
            if (++m_pos >= m_text.size()) return Fail("unterminated escape");
            const char e = m_text[m_pos++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    unsigned long c1 = 0;
                    if (!Hex4(c1)) return false;
                    if (c1 >= 0xDC00 && c1 <= 0xDFFF) return Fail("lone low surrogate");
                    if (c1 >= 0xD800 && c1 <= 0xDBFF) {
                        unsigned long c2 = 0;
                        if (m_text.compare(m_pos, 2, "\\u") != 0) return Fail("lone high surrogate");
                        m_pos += 2;
                        if (!Hex4(c2)) return false;
                        if (c2 < 0xDC00 || c2 > 0xDFFF) return Fail("lone high surrogate");
                        c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
                    }
                    Append(out, c1);
                    break;
                }
                default:
                    return Fail("bad escape");
            }
        }
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
    std::string m_error;
};

}  // namespace

const SJsonValue& SJsonValue::operator[](const std::string& name) const {
    for (const auto& [key, value] : members)
        if (key == name) return value;
    return kNull;
}

const SJsonValue& SJsonValue::operator[](std::size_t index) const {
    return type == Type::Array && index < items.size() ? items[index] : kNull;
}

bool ParseJson(const std::string& document, SJsonValue& out, std::string& error) {
    out = SJsonValue();
    CReader reader(document);
    if (!reader.Document(out)) {
        error = reader.Error();
        return false;
    }
    return true;
}
