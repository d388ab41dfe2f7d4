#include "framework/ProcessFlags.h"

namespace tvx {

ProcessFlags& Flags() noexcept {
    static ProcessFlags flags;
    return flags;
}

ModalWindowScope::ModalWindowScope() noexcept {
    std::int32_t clear = 0;
    m_entered = Flags().modalWindow.compare_exchange_strong(clear, 1);
}

ModalWindowScope::~ModalWindowScope() {
    if (m_entered) Flags().modalWindow.store(0);
}

}  // namespace tvx
