#include "foundation/Array.h"

namespace qel {

template class Array<String>;
template class Array<unsigned int>;

} // namespace qel
