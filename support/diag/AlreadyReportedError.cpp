#include "support/diag/AlreadyReportedError.h"

#include "support/diag/OutputStream.h"

namespace ostrel {

void AlreadyReportedError::print(OutputStream &os) const { os << "error previously reported"; }

ErrorValue makeAlreadyReportedError() { return makeError<AlreadyReportedError>(); }

} // namespace ostrel
