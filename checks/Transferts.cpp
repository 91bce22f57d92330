#include "app/Session.h"
#include "checks/CheckRun.h"

// PLACEHOLDER: being written; replace the whole file.
void CheckRun::CreerTransfertsInconnus() {}
