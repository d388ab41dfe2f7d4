// Tag key expressions.
//
// The catalogue's tags use the bare name of a character field. Tags written
// by other programs are read as well, so the compiler also takes what their
// key expressions commonly hold: an alias prefix ("PEOPLE->NAME"), character
// concatenation with "+", UPPER(...) and DTOS(date field), and a single
// numeric (N, F), integer (I) or date (D) field. Anything else fails with -410.
//
// Keys of character expressions are the field bytes unchanged (padded with
// blanks). Numeric keys are 8-byte big-endian doubles with the sign bit set
// for positive values and every bit inverted for negative ones; integer keys
// are 4-byte big-endian with the sign bit flipped; date keys are the Julian
// day number as a numeric key. All of them sort correctly byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::db {

class TableImpl;

class Expression {
public:
    // 0, or kErrExpression when the text is not an expression for the table.
    int Compile(const TableImpl& table, std::string_view text);

    const std::string& Text() const noexcept { return m_text; }
    char Type() const noexcept { return m_type; }   // 'C', 'N', 'I' or 'D'
    unsigned Length() const noexcept { return m_length; }
    std::uint8_t Pad() const noexcept { return m_type == 'C' ? 0x20 : 0x00; }
    // Writes Length() key bytes for the record (deletion byte first).
    void Evaluate(const std::uint8_t* record, std::uint8_t* key) const;

    // One piece of a character key: record bytes or a literal.
    struct Part {
        unsigned offset = 0;  // in the record
        unsigned length = 0;
        bool upper = false;
        std::string literal;  // used when length is 0
    };

private:
    std::string m_text;
    std::vector<Part> m_parts;
    char m_type = 'C';
    char m_fieldType = 'C';  // of the single field of a non-character key
    unsigned m_length = 0;
};

// Numeric key of a value (8 bytes).
void EncodeNumberKey(double value, std::uint8_t* key);

}  // namespace tvx::db
