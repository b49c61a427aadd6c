// A library exporting only MAPIReadMail: the dependency from which a client library lacking that
// name would borrow it when names are looked up through the loader.

#include "kdx/mail/MapiTypes.h"

extern "C" __attribute__((visibility("default"))) KdxMapiUlong MAPIReadMail() {
  return MAPI_E_NOT_SUPPORTED;
}
