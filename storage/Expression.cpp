#include "storage/Expression.h"

#include "storage/TableImpl.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace tvx::db {
namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// A small recursive-descent parser over the expression text.
class Parser {
public:
    Parser(const TableImpl& table, std::string_view text) : m_table(table), m_text(text) {}

    struct Item {
        std::vector<Expression::Part> parts;  // character result
        char type = 'C';
        const DbField* field = nullptr;  // set for a lone field reference
        unsigned fieldOffset = 0;
    };

    bool ParseAll(Item& out) {
        if (!ParseSum(out)) return false;
        Skip();
        return m_pos == m_text.size();
    }

private:
    void Skip() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
    }
    bool Eat(std::string_view token) {
        Skip();
        if (m_text.substr(m_pos, token.size()) != token) return false;
        m_pos += token.size();
        return true;
    }
    std::string Identifier() {
        Skip();
        std::size_t start = m_pos;
        while (m_pos < m_text.size() &&
               (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_'))
            ++m_pos;
        return Upper(m_text.substr(start, m_pos - start));
    }
    bool ParseSum(Item& out) {
        if (!ParseAtom(out)) return false;
        while (Eat("+")) {
            Item next;
            if (!ParseAtom(next)) return false;
            if (out.type != 'C' || next.type != 'C') return false;
            out.field = nullptr;
            out.parts.insert(out.parts.end(), next.parts.begin(), next.parts.end());
        }
        return true;
    }
    bool ParseAtom(Item& out) {
        Skip();
        if (m_pos >= m_text.size()) return false;
        const char q = m_text[m_pos];
        if (q == '"' || q == '\'') {
            const std::size_t end = m_text.find(q, m_pos + 1);
            if (end == std::string_view::npos || end == m_pos + 1) return false;
            Expression::Part p;
            p.literal = std::string(m_text.substr(m_pos + 1, end - m_pos - 1));
            out.parts.push_back(p);
            m_pos = end + 1;
            return true;
        }
        std::string name = Identifier();
        if (name.empty()) return false;
        if (Eat("->")) {  // alias: the table itself
            name = Identifier();
            if (name.empty()) return false;
            return FieldRef(name, out);
        }
        if (Eat("(")) {
            Item inner;
            if (name == "UPPER") {
                if (!ParseSum(inner) || inner.type != 'C' || !Eat(")")) return false;
                for (auto& p : inner.parts) {
                    p.upper = true;
                    for (char& c : p.literal) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                }
                out.parts = inner.parts;
                return true;
            }
            if (name == "DTOS") {
                if (!ParseAtom(inner) || !inner.field || inner.type != 'D' || !Eat(")")) return false;
                Expression::Part p;
                p.offset = inner.fieldOffset;
                p.length = 8;
                out.parts.push_back(p);
                return true;
            }
            return false;
        }
        return FieldRef(name, out);
    }
    bool FieldRef(const std::string& name, Item& out) {
        for (int i = 0; i < m_table.FieldCountConst(); ++i) {
            const DbField& f = m_table.FieldConst(i);
            if (name != f.Name()) continue;
            out.field = &f;
            out.fieldOffset = m_table.FieldOffset(i);
            out.type = f.Type();
            switch (f.Type()) {
            case 'C': {
                Expression::Part p;
                p.offset = out.fieldOffset;
                p.length = f.Length();
                out.parts.push_back(p);
                return true;
            }
            case 'N': case 'F':
                out.type = 'N';
                return true;
            case 'I':
                return f.Length() == 4;
            case 'D':
                return f.Length() == 8;
            default:
                return false;
            }
        }
        return false;
    }

    const TableImpl& m_table;
    std::string_view m_text;
    std::size_t m_pos = 0;
};

// Julian day number of a CCYYMMDD date; 0 for a blank or bad date.
double JulianDay(const std::uint8_t* d) {
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (d[i] < '0' || d[i] > '9') return 0;
        v[i] = d[i] - '0';
    }
    const int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    const int m = v[4] * 10 + v[5];
    const int day = v[6] * 10 + v[7];
    const int a = (14 - m) / 12;
    const int yy = y + 4800 - a;
    const int mm = m + 12 * a - 3;
    return day + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

}  // namespace

void EncodeNumberKey(double value, std::uint8_t* key) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if (value == 0) bits = 0;  // -0 and +0 are one key
    bits = (bits >> 63) ? ~bits : (bits | (std::uint64_t{1} << 63));
    for (int i = 0; i < 8; ++i) key[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
}

int Expression::Compile(const TableImpl& table, std::string_view text) {
    Parser parser(table, text);
    Parser::Item item;
    if (text.empty() || !parser.ParseAll(item)) return kErrExpression;
    m_text = std::string(text);
    m_parts.clear();
    if (item.type == 'C') {
        m_type = 'C';
        m_parts = item.parts;
        m_length = 0;
        for (const auto& p : m_parts) m_length += p.length ? p.length : static_cast<unsigned>(p.literal.size());
        if (m_length == 0 || m_length > 240) return kErrExpression;
        return kOk;
    }
    Part p;
    p.offset = item.fieldOffset;
    p.length = item.field->Length();
    m_parts.push_back(p);
    m_fieldType = item.type;
    m_type = item.type == 'I' ? 'I' : item.type;
    m_length = item.type == 'I' ? 4 : 8;
    return kOk;
}

void Expression::Evaluate(const std::uint8_t* record, std::uint8_t* key) const {
    if (m_type == 'C') {
        std::uint8_t* out = key;
        for (const auto& p : m_parts) {
            if (p.length) {
                std::memcpy(out, record + p.offset, p.length);
                if (p.upper)
                    for (unsigned i = 0; i < p.length; ++i) out[i] = static_cast<std::uint8_t>(std::toupper(out[i]));
                out += p.length;
            } else {
                std::memcpy(out, p.literal.data(), p.literal.size());
                out += p.literal.size();
            }
        }
        return;
    }
    const Part& p = m_parts.front();
    const std::uint8_t* f = record + p.offset;
    if (m_fieldType == 'I') {
        std::uint32_t v = static_cast<std::uint32_t>(f[0]) | (static_cast<std::uint32_t>(f[1]) << 8) |
                          (static_cast<std::uint32_t>(f[2]) << 16) | (static_cast<std::uint32_t>(f[3]) << 24);
        v ^= 0x80000000u;
        for (int i = 0; i < 4; ++i) key[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
        return;
    }
    if (m_fieldType == 'D') {
        EncodeNumberKey(JulianDay(f), key);
        return;
    }
    std::string text(reinterpret_cast<const char*>(f), p.length);
    EncodeNumberKey(std::strtod(text.c_str(), nullptr), key);
}

}  // namespace tvx::db
