#include "objectmodel/basic_momerybuf.h"

namespace KT {

// The codecs use the narrow form only; it is compiled once here.
template class basic_momerybuf<char>;
template class basic_imemorystream<char>;
template class basic_omemorystream<char>;

}  // namespace KT
