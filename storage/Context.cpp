#include "storage/Context.h"

#include "storage/TableImpl.h"

namespace tvx::db {

DbContext::DbContext() : m_state(std::make_unique<State>()) { m_state->files = &RealFileSystem(); }

DbContext::~DbContext() { CloseAll(); }

int DbContext::Setup(int version) {
    if (version != kVersion) return m_state->Set(kErrVersion, kLocSetup);
    accessMode = 0;
    openErrorIsError = true;
    createRefusesExisting = true;
    readOnly = false;
    openProductionIndex = true;
    codePageMark = 0;
    bufferSize = 32768;
    m_state->Set(0, 0);
    return kOk;
}

int DbContext::ErrorCode() const noexcept { return m_state->error; }
int DbContext::ErrorLocation() const noexcept { return m_state->location; }

int DbContext::SetErrorCode(int code) noexcept {
    const int previous = m_state->error;
    m_state->error = code;
    if (code == 0) m_state->location = 0;
    return previous;
}

int DbContext::CloseAll() {
    while (!m_state->tables.empty()) m_state->tables.back()->Close();
    return m_state->error < 0 ? m_state->error : 0;
}

void DbContext::Release() {
    // Buffers belong to the open tables and are freed with them; the context
    // keeps no pools of its own between opens.
}

void DbContext::SetFileSystem(DbFileSystem* fileSystem) noexcept {
    m_state->files = fileSystem ? fileSystem : &RealFileSystem();
}

}  // namespace tvx::db
