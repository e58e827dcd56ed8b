#include "engine/cCompare.h"

namespace kestrow {

cCompare* gCompare = nullptr;

const cCompare& CompareOptions()
{
    static const cCompare defaults;
    const cCompare* current = gCompare;
    return current ? *current : defaults;
}

} // namespace kestrow
