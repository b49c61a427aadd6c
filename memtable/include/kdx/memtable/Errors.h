#pragma once
// The memory table's own failures. Dataset-framework failures (field access, states) are raised
// as kdx::EDatabaseError; stream failures of the table file routines as the stream classes of
// kdx/platform/Errors.h. All messages are English, as listed beside each raising operation.

#include "kdx/platform/Errors.h"

namespace kdx {

class EMemTableError : public EDatabaseError {
 public:
  using EDatabaseError::EDatabaseError;
};

}  // namespace kdx
