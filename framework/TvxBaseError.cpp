#include "framework/TvxBaseError.h"

#include "framework/Trace.h"

#include <exception>
#include <iterator>

CTVXBaseError::CTVXBaseError(std::int32_t line, std::int32_t code, std::uint32_t systemError,
                             const wchar_t* module) noexcept
    : m_line(line), m_code(code), m_systemError(systemError), m_module{} {
    if (module == nullptr) return;
    for (std::size_t i = 0; i + 1 < kModuleChars && module[i] != L'\0'; ++i) m_module[i] = module[i];
}

namespace tvx {

std::int32_t TraceCaughtException(const wchar_t* where) noexcept {
    try {
        throw;
    } catch (const CTVXBaseError& e) {
        Trace(L"%ls: error %d (system error %lu) at %ls line %d", where, static_cast<int>(e.Code()),
              static_cast<unsigned long>(e.SystemError()), e.Module(), static_cast<int>(e.Line()));
        return e.Code();
    } catch (const std::exception& e) {
        // what() is narrow text; it is widened by hand so that the trace does
        // not depend on which printf flavour the runtime gives "%s".
        wchar_t text[200] = {};
        if (::MultiByteToWideChar(CP_ACP, 0, e.what(), -1, text, static_cast<int>(std::size(text))) == 0)
            text[std::size(text) - 1] = L'\0';
        Trace(L"%ls: exception: %ls", where, text);
    } catch (...) {
        Trace(L"%ls: exception of unknown type", where);
    }
    return tvx::wrapcode::kErrUnhandledException;
}

}  // namespace tvx
