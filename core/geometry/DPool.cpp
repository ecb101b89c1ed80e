#include "core/geometry/DPool.h"

#include "core/kernel/Logging.h"
#include "core/object/QIBO_String.h"

namespace qibo {

void ReportPoolRefused(long long count, size_t size) {
  qiBO_Error(
      QIBO_String::Format("Render shape: no memory for %lld elements of %zu bytes; refused", count, size)
          .c_str(),
      nullptr);
}

}  // namespace qibo
