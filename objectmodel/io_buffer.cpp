#include "objectmodel/io_buffer.h"

namespace KT {

// Out of line so that the class's vtable lives in one object file.
CIoBuffer::~CIoBuffer() = default;

}  // namespace KT
