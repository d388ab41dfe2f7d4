#include "storage/TableImpl.h"

#include <algorithm>
#include <cstring>

namespace tvx::db {

char* DbField::Ptr() { return reinterpret_cast<char*>(m_table->Buffer() + m_offset); }
unsigned DbField::Length() const { return m_length; }
char DbField::Type() const { return m_type; }
const char* DbField::Name() const { return m_name; }

const char* DbField::Text() {
    static char shared[257];
    const std::size_t n = std::min<std::size_t>(m_length, 256);
    std::memcpy(shared, Ptr(), n);
    shared[n] = '\0';
    return shared;
}

// The result is returned, not made pending in the context: the bytes that
// fit were copied and the record is still usable.
int DbField::AssignBytes(const void* bytes, std::size_t count) {
    if (!bytes) return kErrNullPointer;
    char* p = Ptr();
    const std::size_t n = std::min<std::size_t>(count, m_length);
    std::memset(p, ' ', m_length);
    std::memcpy(p, bytes, n);
    m_table->MarkChanged();
    return count > m_length ? kErrGeneral : kOk;
}

int DbField::AssignText(const char* text) {
    if (!text) return kErrNullPointer;
    return AssignBytes(text, std::strlen(text));
}

}  // namespace tvx::db
