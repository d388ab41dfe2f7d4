#include "app/ProcessFlags.h"

namespace tvx {

ProcessFlags& Flags() noexcept {
    static ProcessFlags flags;
    return flags;
}

}  // namespace tvx
